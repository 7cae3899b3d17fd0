// Opening a file entry with its program and storing it back when the user
// changed it. The edit is what matters most here: it is held in a slot of
// its own before the archive is touched, it is never taken for unchanged
// while it cannot be read, and whenever storing it did not verifiably
// succeed it is kept where the user can find it, or where the next opening
// of the archive offers it again.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "common/file_content.h"
#include "common/messages.h"
#include "common/path_checks.h"
#include "common/paths.h"
#include "common/system.h"
#include "common/zone_mark.h"
#include "viewer/commands.h"
#include "viewer/store_wait.h"
#include "viewer/viewer.h"

namespace {

const DWORD kEditorPoll = 500;

const wchar_t kStoreQuestion[] = L"ファイルの更新が確認されました\n書庫ファイルに格納しますか？";
const wchar_t kKeptAt[] = L"編集したファイルは次の場所にあります：\n";

bool SameTime(const FILETIME& a, const FILETIME& b) { return CompareFileTime(&a, &b) == 0; }

// The copy's present content as the baseline of "unchanged".
void TakeCopyAsBaseline(WorkCopyRecord& record, const WString& copy, const FileStamp& stamp)
{
    record.copyStamp = stamp;
    uint32_t crc = 0;
    record.copyCrcKnown = FileCrc32(copy, crc);
    record.copyCrc = crc;
}

}  // namespace

void Viewer::OpenFileEntry(const WString& entryPath)
{
    if (!ExtractWorkCopy(entryPath, kItemFile, WorkCopyKind::kOpened)) {
        ShowArchiveError();
        return;
    }
    WString copy = lastCopy_;
    bool updatable = archive_->CanUpdate();
    if (updatable && !PathExists(copy)) {
        ShowError(L"存在しない？ " + copy, host_.Get());
        return;
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = host_.Get();
    info.lpVerb = L"open";
    info.lpFile = copy.c_str();
    info.lpDirectory = lastSlot_.Folder().c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ReportApiFailure(ShellExecuteExW(&info), "exec.Exec()")) {
        return;
    }
    ScopedKernelHandle process(info.hProcess);
    PumpPending();
    if (!updatable) {
        return;
    }
    ULONGLONG lifetime = 0;
    bool startedProcess = WaitForEditor(process.Get(), lifetime);
    WorkSlot& slot = lastSlot_;
    auto check = [&] { return CheckWorkCopy(slot.Record(), copy); };
    CopyState state = check();
    // The file went to a program that was already running, or through a
    // launcher: the edit is still to come, and only the user knows when it
    // is done.
    if (WaitsForStoreButton(startedProcess, lifetime, state == CopyState::kChanged)) {
        if (CStoreWaitWindow(copy, check).Run() == kDiscardEdit) {
            // Either nothing was saved, or the user confirmed throwing the
            // saved edit away.
            if (check() == CopyState::kChanged) {
                Discard(slot);
            }
            return;
        }
        state = check();
    }
    DecideAboutEdit(slot, state);
}

void Viewer::DecideAboutEdit(WorkSlot& slot, CopyState state)
{
    WString name = slot.Record().copyName;
    if (state == CopyState::kUnreadable && !WaitUntilReadable(slot, state)) {
        return;
    }
    if (state == CopyState::kMissing) {
        // Nothing else removes a copy that may hold an edit: its program,
        // or the user, took it away.
        ShowInfo(name + L"\nが見つからないため、書庫ファイルには格納していません", host_.Get());
        return;
    }
    if (state != CopyState::kChanged) {
        return;
    }
    if (AskUser(WString(kStoreQuestion), host_.Get(), MB_YESNO) == IDYES) {
        WriteBack(slot);
        return;
    }
    if (ConfirmDiscard(name, host_.Get())) {
        Discard(slot);
    } else {
        KeepForUser(slot, slot.CopyPath(), WString(L"編集したファイルは格納していません。\n"));
    }
}

bool Viewer::WaitForEditor(HANDLE process, ULONGLONG& lifetime)
{
    if (!process) {
        return false;
    }
    ULONGLONG waited = GetTickCount64();
    while (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        PumpPending();
        MsgWaitForMultipleObjectsEx(1, &process, kEditorPoll, QS_ALLINPUT, MWMO_ALERTABLE);
    }
    // The process's own times leave out how long the shell took to start
    // it, which says nothing about whether the program was used.
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        ULARGE_INTEGER from{{created.dwLowDateTime, created.dwHighDateTime}};
        ULARGE_INTEGER to{{exited.dwLowDateTime, exited.dwHighDateTime}};
        lifetime = to.QuadPart > from.QuadPart ? (to.QuadPart - from.QuadPart) / 10000 : 0;
    } else {
        lifetime = GetTickCount64() - waited;
    }
    return true;
}

bool Viewer::WaitUntilReadable(WorkSlot& slot, CopyState& state)
{
    while (state == CopyState::kUnreadable) {
        WString question = slot.CopyPath() + L"\nを読み込めません。ほかのプログラムが使用中の可能性があります。\n"
                                             L"そのプログラムを閉じてから［再試行］を押してください";
        if (AskUser(question, host_.Get(), MB_RETRYCANCEL | MB_ICONWARNING) != IDRETRY) {
            ShowInfo(slot.Record().copyName + L"\nは格納していません。\n次にこの書庫ファイルを開いたときに、"
                                              L"格納するかどうかをもう一度お尋ねします",
                     host_.Get());
            return false;
        }
        state = CheckWorkCopy(slot.Record(), slot.CopyPath());
    }
    return true;
}

void Viewer::WriteBack(WorkSlot& slot)
{
    const WString entryPath = slot.Record().entryPath;
    // Stored again without its encryption, the edit would lie in the archive
    // unprotected, readable by anyone the archive reaches: it goes in
    // encrypted as the entry was, with the password that opened it, or not
    // at all.
    // The password is the one that opened the entry in this run, or, for
    // an edit of an earlier run, one proven on the entry now.
    EntryProtection protection;
    if (archive_ && archive_->IsEncryptedEntry(entryPath) &&
        (!archive_->UnlockEntry(entryPath, protection) || !protection.IsActive())) {
        archive_->ClearErrorText();
        KeepForUser(slot, slot.CopyPath(),
                    entryPath + L"\nは暗号化されているため、編集したファイルを書庫に格納できません。\n");
        return;
    }
    // The edit is held as it is now, whole: the editor may save again while
    // it is stored, and what is checked against the archive afterwards must
    // be what went in.
    WorkSlot holding;
    WString held;
    FileStamp heldStamp = StampOf(slot.CopyPath());
    if (holding.Create(archive_ ? archive_->WorkFolder() : WorkFolderPath(), WorkCopyKind::kScratch)) {
        held = JoinPath(holding.Folder(), slot.Record().copyName);
        if (!CopySharedFile(slot.CopyPath(), held)) {
            held.Clear();
        }
        // Held, the edit is still a file from the archive's origin.
        if (!held.IsEmpty()) {
            CarryZoneMarkOf(slot.Record().zoneId, archivePath_, held);
        }
    }
    if (held.IsEmpty()) {
        holding.Remove();
        KeepForUser(slot, slot.CopyPath(), WString(L"編集したファイルを退避できないため格納しませんでした。\n"));
        return;
    }
    StoreResult result = StoreEdit(slot, held, protection);
    if (result == StoreResult::kStored) {
        // What went in is now what counts as unchanged: a later save of the
        // editor is found as a new edit.
        TakeCopyAsBaseline(slot.Record(), held, heldStamp);
        slot.SaveRecord();
    } else {
        KeepForUser(slot, held,
                    result == StoreResult::kKeptByChoice ? WString() : WString(L"書庫ファイルに格納できませんでした。\n"));
    }
    holding.Remove();
}

Viewer::StoreResult Viewer::CheckEntryBeforeStoring(const WorkCopyRecord& record, WString& entryPath)
{
    entryPath = record.entryPath;
    WorkCopyRecord now;
    bool present = RecordEntry(now, entryPath);
    bool same = present && now.entrySize == record.entrySize && SameTime(now.entryTime, record.entryTime) &&
                (!record.entryCrcKnown || !now.entryCrcKnown || now.entryCrc == record.entryCrc);
    archive_->ClearErrorText();
    if (same) {
        return StoreResult::kStored;
    }
    WString question = entryPath + L"\nは編集中にほかのプログラムによって" + (present ? L"変更" : L"削除") +
                       L"されました。\n［はい］編集したファイルで置き換えます\n"
                       L"［いいえ］別の名前で書庫ファイルに格納します\n［キャンセル］書庫ファイルの横に保存します";
    switch (AskUser(question, host_.Get(), MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON2)) {
    case IDYES:
        return StoreResult::kStored;
    case IDNO: {
        // The next free name beside the entry: "note (2).txt".
        StringList names(false);
        archive_->GetEntryNames(names);
        WString folder = EntryFolderOf(entryPath);
        WString name = FileNamePart(entryPath);
        WString base = BaseNamePart(name);
        WString extension = name.From(base.Length());
        WString free = UniqueDestination(folder + base, [&](const WString& candidate) {
            WString full = candidate + extension;
            for (int i = 0; i < names.Count(); ++i) {
                if (SameNameIgnoringCase(names[i], full)) {
                    return true;
                }
            }
            return false;
        });
        entryPath = free + extension;
        return StoreResult::kStored;
    }
    default:
        return StoreResult::kKeptByChoice;
    }
}

Viewer::StoreResult Viewer::StoreEdit(WorkSlot& slot, const WString& held, const EntryProtection& protection)
{
    // Changes of this run (Delete key) were made against the archive as it
    // was opened; written over a file that another program changed since,
    // they would take data from the wrong places.
    bool changedOnDisk = !SameStamp(openedStamp_, StampOf(archivePath_));
    if (changedOnDisk && archive_->HasPendingChanges()) {
        ShowError(archivePath_ + L"\nは編集中にほかのプログラムによって変更されました。", host_.Get());
        return StoreResult::kFailed;
    }
    if (!CommitDeletions()) {
        return StoreResult::kFailed;
    }
    // The archive is read again, as it is on disk now, so that nothing is
    // written from the directory of a file that has changed meanwhile.
    tooltip_->SetArchive(nullptr, false);
    archive_.reset();
    archive_ = NewArchiveObject();
    tooltip_->SetArchive(archive_.get(), archiveKind_ == kCabArchive);
    if (archive_->HasError()) {
        ShowArchiveError();
        return StoreResult::kFailed;
    }
    // Another program's change of the same entry is not written over
    // without asking.
    WString entryPath;
    StoreResult checked = CheckEntryBeforeStoring(slot.Record(), entryPath);
    if (checked != StoreResult::kStored) {
        return checked;
    }
    if (!archive_->UseProtection(protection)) {
        return StoreResult::kFailed;
    }
    // The engine gets a copy of its own, under the entry's name; the held
    // copy stays for the user until the edit is stored.
    WString engineFolder = JoinPath(ParentDir(held), WString(L"add"));
    WString engineCopy = JoinPath(engineFolder, FileNamePart(entryPath));
    if (!CreateDirectoryW(engineFolder.c_str(), nullptr) || !CopyFileW(held.c_str(), engineCopy.c_str(), TRUE)) {
        return StoreResult::kFailed;
    }
    // The new content is taken first: when that fails, nothing was marked
    // deleted and the archive stays as it is.
    if (!archive_->Add(engineCopy, EntryFolderOf(entryPath), -1)) {
        ShowArchiveError();
        return StoreResult::kFailed;
    }
    if (entryPath == slot.Record().entryPath) {
        archive_->Delete(entryPath);
    }
    archive_->ClearErrorText();
    bool committed = archive_->CommitChanges();
    if (!committed) {
        ShowArchiveError();
    }
    archive_.reset();
    // Only what can be read back counts as stored; the password that
    // stored it reads it.
    archive_ = NewArchiveObject();
    archive_->UseProtection(protection);
    tooltip_->SetArchive(archive_.get(), archiveKind_ == kCabArchive);
    openedStamp_ = StampOf(archivePath_);
    if (!committed) {
        return StoreResult::kFailed;
    }
    WString check = JoinPath(ParentDir(held), WString(L"check"));
    bool same = !archive_->HasError() && archive_->Extract(check, entryPath, false) &&
                CompareFileContents(JoinPath(check, FileNamePart(entryPath)), held) == ContentComparison::kSame;
    archive_->ClearErrorText();
    RemoveInside(ParentDir(held), check);
    if (same) {
        // The entry as stored is what a later store of this copy must find.
        RecordEntry(slot.Record(), entryPath);
        archive_->ClearErrorText();
    }
    return same ? StoreResult::kStored : StoreResult::kFailed;
}

void Viewer::KeepForUser(WorkSlot& slot, const WString& edit, const WString& reason)
{
    const WorkCopyRecord& record = slot.Record();
    WString kept = KeepEditForUser(archivePath_, edit, record.copyName, record.zoneId);
    if (kept.IsEmpty()) {
        ShowError(reason + L"編集したファイルを保存する場所がありません。\n次にこの書庫ファイルを開いたときに、"
                           L"格納するかどうかをもう一度お尋ねします",
                  host_.Get());
        return;
    }
    // The kept file stands for this content now; the copy itself holds no
    // edit any more unless it was saved again meanwhile.
    FileStamp stamp = StampOf(slot.CopyPath());
    if (CompareFileContents(slot.CopyPath(), kept) == ContentComparison::kSame) {
        TakeCopyAsBaseline(slot.Record(), slot.CopyPath(), stamp);
        slot.SaveRecord();
    }
    ShowError(reason + kKeptAt + kept, host_.Get());
}

void Viewer::Discard(WorkSlot& slot)
{
    TakeCopyAsBaseline(slot.Record(), slot.CopyPath(), StampOf(slot.CopyPath()));
    slot.SaveRecord();
}

bool Viewer::OfferPendingEdits()
{
    std::vector<WString> pending = PendingEditsOf(archive_->WorkFolder(), archivePath_);
    if (pending.empty()) {
        return true;
    }
    for (const WString& folder : pending) {
        WorkSlot slot;
        if (!slot.Open(folder) || CheckWorkCopy(slot.Record(), slot.CopyPath()) != CopyState::kChanged) {
            continue;
        }
        WString question = L"前回編集したファイルが書庫ファイルに格納されていません：\n" + slot.Record().entryPath +
                           L"\n［はい］書庫ファイルに格納します\n［いいえ］書庫ファイルの横に保存します\n"
                           L"［キャンセル］破棄します";
        switch (AskUser(question, host_.Get(), MB_YESNOCANCEL | MB_ICONQUESTION)) {
        case IDYES:
            if (archive_) {
                WriteBack(slot);
            }
            break;
        case IDNO:
            KeepForUser(slot, slot.CopyPath(), WString());
            break;
        default:
            if (ConfirmDiscard(slot.Record().copyName, host_.Get())) {
                slot.Remove();
            }
            break;
        }
        // The slot belongs to an ended process: once it holds nothing that
        // is not stored or kept, it goes.
        if (CheckWorkCopy(slot.Record(), slot.CopyPath()) != CopyState::kChanged) {
            slot.Remove();
        }
    }
    if (!archive_) {
        return OpenArchive();
    }
    return true;
}
