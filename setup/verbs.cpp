#include "setup/verbs.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "common/dialogs.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/registry.h"
#include "common/system.h"
#include "resources/common_ids.h"
#include "setup/cab_add_dialog.h"
#include "setup/compress_verb.h"
#include "setup/install_dialog.h"
#include "setup/product_texts.h"
#include "setup/report_verb.h"
#include "setup/settings_dialog.h"

VerbChoice ChooseVerb(const WString& argumentText)
{
    if (argumentText.IsEmpty()) {
        return {SetupVerb::kInstall, WString()};
    }
    if (argumentText == L"set") {
        return {SetupVerb::kSettings, WString()};
    }
    if (argumentText == L"about") {
        return {SetupVerb::kAbout, WString()};
    }
    if (argumentText.StartsWith(L"add ")) {
        return {SetupVerb::kAdd, argumentText.From(4)};
    }
    if (argumentText.StartsWith(L"cabcompress ")) {
        return {SetupVerb::kCabCompress, argumentText.From(12)};
    }
    if (argumentText.StartsWith(L"zipcompress ")) {
        return {SetupVerb::kZipCompress, argumentText.From(12)};
    }
    return {SetupVerb::kReport, argumentText};
}

WString SetupLockName(const WString& argumentText) { return L"ZPKSet_" + argumentText; }

namespace {

// The 64-bit shell reads the 64-bit view; a 32-bit program writes there on
// 64-bit Windows, its own view elsewhere.
void ChooseRegistryView()
{
    bool wow64 = false;
    WindowsLevel(&wow64);
    RegistryView(wow64 || sizeof(void*) == 8);
}

void Dispatch(const VerbChoice& choice)
{
    switch (choice.verb) {
    case SetupVerb::kInstall:
        RunInstallDialog(ProgramFolder());
        break;
    case SetupVerb::kSettings:
        RunSettingsVerb();
        break;
    case SetupVerb::kAbout:
        AboutBox(nullptr, IDI_ZUPAKO, kVersionText, kProgramSummary);
        break;
    case SetupVerb::kAdd:
        RunCabAddDialog(Unquote(choice.operand));
        break;
    case SetupVerb::kCabCompress:
        RunCompressVerb(kCompressToCab, choice.operand, ProgramFolder());
        break;
    case SetupVerb::kZipCompress:
        RunCompressVerb(kCompressToZip, choice.operand, ProgramFolder());
        break;
    case SetupVerb::kReport:
        RunReportVerb(choice.operand);
        break;
    }
}

}  // namespace

int RunSetupProgram(const WString& commandLine)
{
    WString program;
    WString arguments;
    SplitCommandLine(program, arguments, commandLine);
    SingleInstanceMutex lock(SetupLockName(arguments));
    if (!lock.IsFirstInstance()) {
        ShowError(L"２重に起動はできません");
        return 1;
    }
    HRESULT ole = OleInitialize(nullptr);
    ReportHResultFailure(ole, "OleInitialize");
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ReportApiFailure(InitCommonControlsEx(&controls), "InitCommonControlsEx");
    ChooseRegistryView();
    Dispatch(ChooseVerb(arguments));
    if (SUCCEEDED(ole)) {
        OleUninitialize();
    }
    return 0;
}
