// What a chosen item does, the Delete key, the preview hand-over, and the
// copies in the work folder that these make.
#include <windows.h>
#include <shellapi.h>

#include "common/messages.h"
#include "common/path_checks.h"
#include "common/paths.h"
#include "common/system.h"
#include "common/zone_mark.h"
#include "viewer/commands.h"
#include "viewer/viewer.h"

namespace {

WString WindowsProgram(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    return JoinPath(WString(folder, static_cast<int>(length)), WString(name));
}

}  // namespace

void Viewer::Dispatch(int id)
{
    MenuItemRow row = menu_->Items().Row(id);
    switch (row.kind) {
    case kItemCabAdd:
        StartSetup(L"add " + archivePath_);
        break;
    case kItemAbout:
        StartSetup(WString(L"about"));
        break;
    case kItemFile:
        OpenFileEntry(row.path);
        break;
    case kItemWholeArchive:
        RunWholeArchiveAction();
        break;
    default:
        break;
    }
}

void Viewer::StartSetup(const WString& arguments)
{
    WString folder = InstallFolder();
    WString program = JoinPath(folder, WString(L"ZPKSet.exe"));
    auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(host_.Get(), nullptr, program.c_str(), arguments.c_str(), folder.c_str(), SW_SHOWNORMAL));
    if (result <= 32) {
        ShowError(program + L"\nを起動できません", host_.Get());
    }
}

bool Viewer::RunArchiverCommand(const WString& commandLine)
{
    WString program;
    WString arguments;
    SplitCommandLine(program, arguments, commandLine);
    if (program.IsEmpty()) {
        return false;
    }
    wchar_t shortPath[MAX_PATH] = {};
    DWORD length = GetShortPathNameW(archivePath_.c_str(), shortPath, MAX_PATH);
    ReportApiFailure(length != 0, "GetShortPathName");
    WString shortForm = length > 0 && length < MAX_PATH ? WString(shortPath, static_cast<int>(length)) : archivePath_;
    WString expanded = ExpandArchiverArguments(arguments, shortForm, archivePath_);
    auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(host_.Get(), nullptr, program.c_str(), expanded.c_str(),
                                                          ParentDir(program).c_str(), SW_SHOWNORMAL));
    return result > 32;
}

void Viewer::RunWholeArchiveAction()
{
    switch (settings_.action) {
    case kActOpenExplorer:
        RunArchiverCommand(WindowsProgram(L"explorer.exe") + L" \"%l\"");
        break;
    case kActRunArchiver:
        RunArchiverCommand(settings_.archiverCommand);
        break;
    case kActExtract: {
        // An existing folder of that name is never mixed into: the archive
        // goes to the next free "name (n)".
        WString destination = UniqueDestination(JoinPath(settings_.extractFolder, BaseNamePart(archivePath_)),
                                                [](const WString& path) { return PathExists(path); });
        if (!archive_->Extract(destination, WString(), false)) {
            ShowArchiveError();
            break;
        }
        RemoveDeletedFrom(destination, WString());
        if (settings_.openAfterExtract) {
            WString quoted = L"\"" + destination + L"\"";
            ShellExecuteW(host_.Get(), nullptr, WindowsProgram(L"explorer.exe").c_str(), quoted.c_str(), nullptr,
                          SW_SHOWNORMAL);
            PumpPending();
        }
        break;
    }
    default:
        break;
    }
}

void Viewer::DeleteItem(int id)
{
    if (!menu_->Items().IsValidId(id)) {
        return;
    }
    deleting_ = true;
    WString path = menu_->Items().Row(id).path;
    if (archive_->IsBusyCursorShown()) {
        MessageBeep(MB_OK);
    } else if (archive_->CanDelete() && archive_->Delete(path)) {
        menu_->MarkDeleted(path);
        if (anchor_.window) {
            InvalidateRect(anchor_.window, nullptr, TRUE);
        }
    } else {
        archive_->ClearErrorText();
        MessageBeep(MB_OK);
    }
    deleting_ = false;
}

bool Viewer::Preview(int id)
{
    tooltipSuppressed_ = true;
    tooltip_->Hide();
    WString path = menu_->Items().Row(id).path;
    WString error;
    bool ok = ExtractWorkCopy(path, kItemFile, WorkCopyKind::kHandedOut);
    if (ok) {
        previewSlots_.push_back(lastSlot_);
        lastSlot_ = WorkSlot();
        ok = SendHandover(siblingTray_, siblingMessage_, anchor_, lastCopy_, error);
    } else {
        error = archive_->HasError() ? archive_->ErrorText() : path + L"\nを取り出せません";
    }
    tooltipSuppressed_ = false;
    if (!ok) {
        StringList lines;
        lines.SplitLines(error);
        tooltip_->ShowTextNow(lines);
        archive_->ClearErrorText();
    }
    return ok;
}

void Viewer::RemovePreviewCopies()
{
    for (WorkSlot& slot : previewSlots_) {
        slot.Remove();
    }
    previewSlots_.clear();
}

bool Viewer::RecordEntry(WorkCopyRecord& record, const WString& entryPath) const
{
    record.archivePath = archivePath_;
    record.entryPath = entryPath;
    uint64_t size = 0;
    uint32_t crc = 0;
    record.entryCrcKnown = archive_->StoredChecksum(entryPath, size, crc);
    record.entryCrc = record.entryCrcKnown ? crc : 0;
    DWORD size32 = 0;
    DWORD packed = 0;
    DWORD attributes = 0;
    FILETIME time{};
    StringList lines(false);
    bool found = archive_->GetEntryInfo(entryPath, size32, packed, time, attributes, lines);
    record.entryTime = found ? time : FILETIME{};
    record.entrySize = record.entryCrcKnown ? size : found ? size32 : 0;
    return found || record.entryCrcKnown;
}

bool Viewer::ExtractWorkCopy(const WString& entryPath, int kind, WorkCopyKind purpose)
{
    WString name = kind == kItemWholeArchive ? BaseNamePart(archivePath_) : WorkCopyName(entryPath);
    if (!IsPlainFileName(name) || (kind != kItemWholeArchive && kind != kItemFile && kind != kItemFolder)) {
        archive_->SetErrorText(entryPath + L"\nこの名前は作業フォルダーに取り出せません");
        return false;
    }
    RemoveLastCopy();
    // The slot and its record come first: from then on no other action
    // takes the copy away while this one runs, nor afterwards while it may
    // hold an edit.
    if (!lastSlot_.Create(archive_->WorkFolder(), purpose)) {
        archive_->SetErrorText(archive_->WorkFolder() + L"\n作業フォルダーを作れません Error Code = " +
                               WString::FromInt(GetLastError()));
        return false;
    }
    WorkCopyRecord& record = lastSlot_.Record();
    record.copyName = name;
    record.zoneId = ReadZoneMark(archivePath_).zoneId;
    if (kind == kItemFile) {
        RecordEntry(record, entryPath);
        archive_->ClearErrorText();
    }
    lastCopy_ = lastSlot_.CopyPath();
    bool extracted = kind == kItemWholeArchive ? archive_->Extract(lastCopy_, WString(), false)
                                               : archive_->Extract(lastSlot_.Folder(), entryPath, false);
    if (!extracted) {
        return false;
    }
    if (kind != kItemFile) {
        RemoveDeletedFrom(lastCopy_, kind == kItemWholeArchive ? WString() : entryPath);
    }
    // What the copy is right after extraction is what "unchanged" means.
    record.copyStamp = StampOf(lastCopy_);
    if (purpose == WorkCopyKind::kOpened) {
        uint32_t crc = 0;
        record.copyCrcKnown = record.entryCrcKnown && record.copyStamp.size == record.entrySize;
        record.copyCrc = record.entryCrc;
        if (!record.copyCrcKnown && FileCrc32(lastCopy_, crc)) {
            record.copyCrcKnown = true;
            record.copyCrc = crc;
        }
    }
    lastSlot_.SaveRecord();
    return true;
}

void Viewer::RemoveLastCopy()
{
    if (!lastSlot_.IsOpen()) {
        return;
    }
    // A copy that was opened and may have been edited stays for later.
    if (lastSlot_.Record().kind != WorkCopyKind::kOpened ||
        CheckWorkCopy(lastSlot_.Record(), lastSlot_.CopyPath()) == CopyState::kUnchanged ||
        CheckWorkCopy(lastSlot_.Record(), lastSlot_.CopyPath()) == CopyState::kMissing) {
        lastSlot_.Remove();
    }
    lastSlot_ = WorkSlot();
    lastCopy_.Clear();
}

void Viewer::RemoveDeletedFrom(const WString& extractedRoot, const WString& entryPrefix)
{
    if (!menu_) {
        return;
    }
    for (const WString& deleted : menu_->Items().DeletedPaths()) {
        if (!deleted.StartsWith(entryPrefix.c_str()) || deleted == entryPrefix) {
            continue;
        }
        WString rest = deleted.From(entryPrefix.Length());
        if (rest.Last() == L'\\') {
            rest = rest.Left(rest.Length() - 1);
        }
        RemoveInside(extractedRoot, JoinPath(extractedRoot, rest));
    }
}
