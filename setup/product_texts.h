// Texts of the setup program that more than one of its windows shows.
#pragma once

// The version as the About boxes and the product key show it.
const wchar_t kVersionText[] = L"Ver.2.22";
const wchar_t kProgramSummary[] =
    L"書庫の中のファイルをちょっと見たい、ちょっと修正したいときに最適なメニュー型アーカイバです。";
