// A command-line driver of the cabinet engine for the interoperability
// tests that run the tools of the host system against it. Settings are
// passed as options and kept in a private registry key; message boxes are
// written to standard error instead of being shown.
//   cab_driver [--type N] [--unit N] [--size N] [--sort] COMMAND ARGS
//   list CAB | extract CAB DEST | compress CAB SOURCE | add CAB SOURCE [FOLDER]
//   delete CAB ENTRY... | writeback CAB ENTRY FILE | merge A B OUT | checksums CAB
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/cab_records.h"
#include "archive/cabfile.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/settings.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"

namespace {

class ConsolePrompts : public PromptHandler {
public:
    int Answer(const Prompt& prompt) override
    {
        fprintf(stderr, "box: %s\n", Utf8(prompt.text.c_str()).c_str());
        failures_++;
        return prompt.buttons == MB_OK ? IDOK : IDCANCEL;
    }
    int failures_ = 0;
};

void UsePrivateSettings(DWORD type, DWORD unit, DWORD size, DWORD sort)
{
    HKEY root = nullptr;
    HKEY settings = nullptr;
    WString path = L"Software\\ZupakoDriver\\" + WString::FromInt(GetCurrentProcessId());
    RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &root,
                    nullptr);
    RegCreateKeyExW(root, kProductKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &settings, nullptr);
    const std::pair<const wchar_t*, DWORD> values[] = {
        {L"CabCompType", type}, {L"CabLzxLevel", 21}, {L"CabFType", unit}, {L"CabFSize", size}, {L"CabSort", sort}};
    for (const auto& value : values) {
        RegSetValueExW(settings, value.first, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.second),
                       sizeof(DWORD));
    }
    RegCloseKey(settings);
    RegOverridePredefKey(HKEY_CURRENT_USER, root);
}

// Recomputes every data block's checksum of an unreserved cabinet.
int CheckChecksums(const WString& path)
{
    Bytes bytes = ReadFileBytes(path);
    if (bytes.size() < 36) {
        return 2;
    }
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); };
    auto u32 = [&](size_t at) { return static_cast<uint32_t>(u16(at) | u16(at + 2) << 16); };
    int blocks = 0;
    for (uint16_t f = 0; f < u16(26); ++f) {
        size_t at = u32(36 + 8u * f);
        for (uint16_t i = 0; i < u16(36 + 8u * f + 4); ++i) {
            uint16_t cbData = u16(at + 4);
            uint32_t sum = cab::BlockChecksum(cbData, u16(at + 6), nullptr, 0, &bytes[at + 8]);
            if (sum != u32(at)) {
                printf("block %d: stored %08x computed %08x\n", blocks, u32(at), sum);
                return 1;
            }
            at += 8 + cbData;
            ++blocks;
        }
    }
    printf("%d blocks ok\n", blocks);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    SetConsoleOutputCP(CP_UTF8);
    UseTempFolderFromEnvironment();
    ConsolePrompts prompts;
    SetPromptHandler(&prompts);
    DWORD type = 0, unit = 0, size = 0, sort = 0;
    int i = 1;
    for (; i < argc && wcsncmp(argv[i], L"--", 2) == 0; ++i) {
        std::wstring option = argv[i];
        if (option == L"--sort") {
            sort = 1;
        } else if (i + 1 < argc) {
            DWORD value = static_cast<DWORD>(_wtoi(argv[++i]));
            (option == L"--type" ? type : option == L"--unit" ? unit : size) = value;
        }
    }
    if (argc - i < 2) {
        fprintf(stderr, "usage: cab_driver [options] command cabinet ...\n");
        return 2;
    }
    std::wstring command = argv[i];
    WString cabinetPath = argv[i + 1];
    std::vector<WString> rest;
    for (int j = i + 2; j < argc; ++j) {
        rest.push_back(argv[j]);
    }
    if (command == L"checksums") {
        return CheckChecksums(cabinetPath);
    }
    UsePrivateSettings(type, unit, size, sort);
    bool ok = true;
    {
        CCabFile cabinet(cabinetPath);
        if (command == L"list") {
            StringList names(false);
            cabinet.GetEntryNames(names);
            for (int n = 0; n < names.Count(); ++n) {
                printf("%s\n", Utf8(names[n].c_str()).c_str());
            }
        } else if (command == L"extract" && rest.size() == 1) {
            ok = cabinet.Extract(rest[0], WString(), false);
        } else if ((command == L"compress" || command == L"add") && !rest.empty()) {
            ok = cabinet.Add(rest[0], rest.size() > 1 ? rest[1] : WString(), 102);
        } else if (command == L"delete") {
            for (const WString& entry : rest) {
                ok = cabinet.Delete(entry) && ok;
            }
        } else if (command == L"writeback" && rest.size() == 2) {
            int slash = rest[0].FindLast(L'\\');
            ok = cabinet.Delete(rest[0]) && cabinet.Add(rest[1], rest[0].Left(slash + 1), -1);
        } else if (command == L"merge" && rest.size() == 2) {
            ok = cabinet.Merge(cabinetPath, rest[0], rest[1], false);
        } else {
            fprintf(stderr, "unknown command\n");
            return 2;
        }
    }
    fflush(stdout);
    return ok && prompts.failures_ == 0 ? 0 : 1;
}
