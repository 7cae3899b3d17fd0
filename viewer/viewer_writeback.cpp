// Opening a file entry with its program and storing it back when the user
// changed it. The edit is what matters most here: it is held outside the
// work folder before the archive is touched, and kept where the user can find
// it whenever storing it did not verifiably succeed.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "archive/zlib_binding.h"
#include "common/file_content.h"
#include "common/messages.h"
#include "common/path_checks.h"
#include "common/paths.h"
#include "common/system.h"
#include "viewer/commands.h"
#include "viewer/store_wait.h"
#include "viewer/viewer.h"

namespace {

const DWORD kEditorPoll = 500;

// Where held edits live: outside the work folder, which every archive
// object empties when it is made. The viewer removes nothing outside it but
// the folders it made there itself.
WString HoldingBase()
{
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    return WString(temp, length <= MAX_PATH ? static_cast<int>(length) : 0) + L"ZPKEdit";
}

// A folder of its own for one held edit.
WString NewHoldingFolder()
{
    WString base = HoldingBase();
    CreateDirectoryW(base.c_str(), nullptr);
    WString folder = UniqueDestination(JoinPath(base, WString::FromInt(GetCurrentProcessId())),
                                       [](const WString& path) { return PathExists(path); });
    return CreateDirectoryW(folder.c_str(), nullptr) ? folder : WString();
}

}  // namespace

void Viewer::OpenFileEntry(const WString& entryPath)
{
    if (!ExtractWorkCopy(entryPath, kItemFile)) {
        ShowArchiveError();
        return;
    }
    WString copy = lastCopy_;
    bool updatable = archive_->CanUpdate();
    if (updatable && !PathExists(copy)) {
        ShowError(L"存在しない？ " + copy, host_.Get());
        return;
    }
    FileStamp before = StampOf(copy);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = host_.Get();
    info.lpVerb = L"open";
    info.lpFile = copy.c_str();
    info.lpDirectory = archive_->WorkFolder().c_str();
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
    CopyState state = CheckCopy(entryPath, copy, before);
    // The file went to a program that was already running, or through a
    // launcher: the edit is still to come, and only the user knows when it
    // is done.
    if (WaitsForStoreButton(startedProcess, lifetime, state == CopyState::kChanged)) {
        auto changed = [&] { return CheckCopy(entryPath, copy, before) == CopyState::kChanged; };
        bool store = CStoreWaitWindow(copy, changed).Run() == kStoreEdit;
        // The user's word stands, but an edit the editor still holds is read
        // once it can be, as on the other path.
        state = !store ? CopyState::kUnchanged
                       : CheckCopy(entryPath, copy, before) == CopyState::kUnreadable ? CopyState::kUnreadable
                                                                                      : CopyState::kChanged;
    }
    if (state == CopyState::kUnreadable && !WaitUntilReadable(entryPath, copy, before, state)) {
        return;
    }
    if (state != CopyState::kChanged) {
        return;
    }
    if (AskUser(WString(L"ファイルの更新が確認されました\n書庫ファイルに格納しますか？"), host_.Get(), MB_YESNO) != IDYES) {
        return;
    }
    WriteBack(entryPath, copy);
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

Viewer::CopyState Viewer::CheckCopy(const WString& entryPath, const WString& copy, const FileStamp& before)
{
    FileStamp after = StampOf(copy);
    // A copy that vanished is no edit to store.
    if (!after.present) {
        return CopyState::kUnchanged;
    }
    // For a ZIP entry the stored CRC-32 says whether the content differs, so
    // a file saved without changes asks nothing.
    uint64_t storedSize = 0;
    uint32_t storedCrc = 0;
    ZlibBinding zlib;
    bool known = archive_->StoredChecksum(entryPath, storedSize, storedCrc) &&
                 zlib.Load(JoinPath(InstallFolder(), WString(ZlibLibraryName()))) && zlib.Bind();
    uint32_t crc = 0;
    auto visit = [&](const uint8_t* bytes, size_t count) {
        if (known) {
            crc = zlib.Crc32(bytes, count, crc);
        }
        return known;
    };
    // Even where the stamp decides, an edit is stored only once it can be
    // read; one that cannot be read yet is not taken for unchanged.
    if (!ReadInPieces(copy, visit)) {
        return CopyState::kUnreadable;
    }
    if (known) {
        return after.size != storedSize || crc != storedCrc ? CopyState::kChanged : CopyState::kUnchanged;
    }
    return SameStamp(before, after) ? CopyState::kUnchanged : CopyState::kChanged;
}

bool Viewer::WaitUntilReadable(const WString& entryPath, const WString& copy, const FileStamp& before,
                               CopyState& state)
{
    while (state == CopyState::kUnreadable) {
        WString question = copy + L"\nを読み込めません。ほかのプログラムが使用中の可能性があります。\n"
                                  L"そのプログラムを閉じてから［再試行］を押してください";
        if (AskUser(question, host_.Get(), MB_RETRYCANCEL) != IDRETRY) {
            ShowError(L"編集したファイルは格納していません。\n編集したファイルは次の場所にあります：\n" +
                          KeepEditedCopy(copy),
                      host_.Get());
            return false;
        }
        state = CheckCopy(entryPath, copy, before);
    }
    return true;
}

void Viewer::WriteBack(const WString& entryPath, const WString& copy)
{
    // Stored again without its encryption, the edit would lie in the archive
    // unprotected, readable by anyone the archive reaches: it goes in
    // encrypted as the entry was, with the password that opened it, or not
    // at all.
    EntryProtection protection = archive_ ? archive_->ProtectionOf(entryPath) : EntryProtection();
    if (archive_ && archive_->IsEncryptedEntry(entryPath) && !protection.IsActive()) {
        ShowError(entryPath + L"\nは暗号化されているため、編集したファイルを書庫に格納できません。\n"
                              L"編集したファイルは次の場所にあります：\n" + KeepEditedCopy(copy),
                  host_.Get());
        return;
    }
    WString folder = NewHoldingFolder();
    WString held = folder.IsEmpty() ? WString() : JoinPath(folder, FileNamePart(copy));
    if (held.IsEmpty() || !CopySharedFile(copy, held)) {
        ShowError(L"編集したファイルを退避できないため格納しませんでした。\n編集したファイル：\n" + copy, host_.Get());
        return;
    }
    if (StoreEdit(entryPath, held, protection)) {
        RemoveInside(HoldingBase(), folder);
        return;
    }
    ShowError(L"書庫ファイルに格納できませんでした。\n編集したファイルは次の場所にあります：\n" + KeepEditedCopy(held),
              host_.Get());
}

bool Viewer::StoreEdit(const WString& entryPath, const WString& held, const EntryProtection& protection)
{
    // Changes of this run (Delete key) were made against the archive as it
    // was opened; written over a file that another program changed since,
    // they would take data from the wrong places.
    bool changedOnDisk = !SameStamp(openedStamp_, StampOf(archivePath_));
    if (changedOnDisk && archive_->HasPendingChanges()) {
        ShowError(archivePath_ + L"\nは編集中にほかのプログラムによって変更されました。", host_.Get());
        return false;
    }
    if (!CommitDeletions()) {
        return false;
    }
    // The archive is read again, as it is on disk now, so that nothing is
    // written from the directory of a file that has changed meanwhile. The
    // work folder stays: the editor may still have the copy open.
    tooltip_->SetArchive(nullptr, false);
    archive_.reset();
    archive_ = NewArchiveObject(true);
    tooltip_->SetArchive(archive_.get(), archiveKind_ == kCabArchive);
    if (archive_->HasError()) {
        ShowArchiveError();
        return false;
    }
    if (!archive_->UseProtection(protection)) {
        return false;
    }
    // The engine gets a copy of its own (a cabinet moves the file it
    // stores); the held copy stays for the user until the edit is stored.
    WString engineFolder = JoinPath(ParentDir(held), WString(L"add"));
    WString engineCopy = JoinPath(engineFolder, FileNamePart(held));
    if (!CreateDirectoryW(engineFolder.c_str(), nullptr) || !CopyFileW(held.c_str(), engineCopy.c_str(), TRUE)) {
        return false;
    }
    // The new content is taken first: when that fails, nothing was marked
    // deleted and the archive stays as it is.
    if (!archive_->Add(engineCopy, EntryFolderOf(entryPath), -1)) {
        ShowArchiveError();
        return false;
    }
    archive_->Delete(entryPath);
    archive_->ClearErrorText();
    bool committed = archive_->CommitChanges();
    // The object shows the reason of a failed commit when it ends.
    archive_.reset();
    if (!committed) {
        return false;
    }
    // Only what can be read back counts as stored; the password that
    // stored it reads it.
    archive_ = NewArchiveObject(true);
    archive_->UseProtection(protection);
    tooltip_->SetArchive(archive_.get(), archiveKind_ == kCabArchive);
    WString check = JoinPath(ParentDir(held), WString(L"check"));
    bool same = !archive_->HasError() && archive_->Extract(check, entryPath, false) &&
                CompareFileContents(JoinPath(check, FileNamePart(held)), held) == ContentComparison::kSame;
    archive_->ClearErrorText();
    RemoveInside(ParentDir(held), check);
    openedStamp_ = StampOf(archivePath_);
    return same;
}

WString Viewer::KeepEditedCopy(const WString& held)
{
    WString name = FileNamePart(held);
    WString base = BaseNamePart(name);
    WString extension = name.From(base.Length());
    WString target = UniqueDestination(JoinPath(ParentDir(archivePath_), base), [&](const WString& path) {
                         return PathExists(path + extension);
                     }) + extension;
    // Read with every kind of sharing: the editor may still hold the file.
    if (CopySharedFile(held, target)) {
        RemoveInside(HoldingBase(), ParentDir(held));
        return target;
    }
    return held;
}
