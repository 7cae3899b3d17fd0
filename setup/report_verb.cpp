#include "setup/report_verb.h"

#include <windows.h>

#include "common/messages.h"
#include "common/paths.h"
#include "dump/dump_run.h"
#include "setup/compress_verb.h"

WString ReportPathFor(const WString& archive)
{
    return JoinPath(ParentDir(archive), BaseNamePart(archive) + L".txt");
}

void RunReportVerb(const WString& argumentText)
{
    WString archive = AbsoluteOperandPath(argumentText);
    // Only a file has a structure to report.
    if (archive.IsEmpty() || !PathExists(archive) || IsDirectory(archive)) {
        ShowError(L"引数が違っています。");
        return;
    }
    WString report = ReportPathFor(archive);
    // An archive named like its own report would be truncated before it is
    // read.
    if (SameNameIgnoringCase(report, archive)) {
        ShowError(archive + L"\nは情報出力先と同じファイルのため情報出力できません");
        return;
    }
    DumpFormat format = ChooseDumpFormat(archive);
    const wchar_t* question = format == kCabDump ? L"\nを cab ファイルとして情報出力します。よろしいですか？"
                                                 : L"\nを zip ファイルとして情報出力します。よろしいですか？";
    if (AskUser(argumentText + question, nullptr, MB_YESNO) == IDNO) {
        return;
    }
    if (PathExists(report) && AskUser(report + L"\nを置き換えていいですか？", nullptr, MB_YESNO) == IDNO) {
        return;
    }
    RunArchiveDump(format, archive, report);
}
