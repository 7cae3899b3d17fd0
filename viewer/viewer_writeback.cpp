// Opening a file entry with its program and storing it back when the user
// changed it. The edit is what matters most here: it is held outside the
// work folder before the archive is touched, and kept where the user can find
// it whenever storing it did not verifiably succeed.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "archive/cabfile.h"
#include "archive/zipfile.h"
#include "archive/zlib_binding.h"
#include "common/messages.h"
#include "common/path_checks.h"
#include "common/paths.h"
#include "common/system.h"
#include "viewer/commands.h"
#include "viewer/store_wait.h"
#include "viewer/viewer.h"

namespace {

const DWORD kEditorPoll = 500;

// The whole content of a file; false when it cannot be read.
bool ReadWhole(const WString& path, std::vector<uint8_t>& bytes)
{
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x7FFFFFFF) {
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD done = 0;
    return bytes.empty() ||
           (ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size());
}

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
    auto changed = [&] { return CopyChanged(entryPath, copy, before); };
    bool edited = changed();
    // The file went to a program that was already running, or through a
    // launcher: the edit is still to come, and only the user knows when it
    // is done.
    if (WaitsForStoreButton(startedProcess, lifetime, edited)) {
        edited = CStoreWaitWindow(copy, changed).Run() == kStoreEdit;
    }
    if (!edited) {
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

bool Viewer::CopyChanged(const WString& entryPath, const WString& copy, const FileStamp& before)
{
    FileStamp after = StampOf(copy);
    std::vector<uint8_t> bytes;
    // A copy that vanished or cannot be read is no edit to store.
    if (!after.present || !ReadWhole(copy, bytes)) {
        return false;
    }
    // For a ZIP entry the stored CRC-32 says whether the content differs, so
    // a file saved without changes asks nothing.
    auto* zip = dynamic_cast<CZipFileEnum*>(archive_.get());
    if (zip) {
        int at = zip->FindEntry(entryPath.ReplaceAll(L'\\', L'/'));
        ZlibBinding zlib;
        if (at >= 0 && zlib.Load(JoinPath(InstallFolder(), WString(ZlibLibraryName()))) && zlib.Bind()) {
            const ArcEntry& entry = zip->Entries().ValueAt(at);
            return entry.size != bytes.size() || entry.crc32 != zlib.Crc32(bytes.data(), bytes.size());
        }
    }
    return !SameStamp(before, after);
}

void Viewer::WriteBack(const WString& entryPath, const WString& copy)
{
    WString folder = NewHoldingFolder();
    WString held = folder.IsEmpty() ? WString() : JoinPath(folder, FileNamePart(copy));
    if (held.IsEmpty() || !CopyFileW(copy.c_str(), held.c_str(), TRUE)) {
        ShowError(L"編集したファイルを退避できないため格納しませんでした。\n編集したファイル：\n" + copy, host_.Get());
        return;
    }
    if (StoreEdit(entryPath, held)) {
        RemoveInside(HoldingBase(), folder);
        return;
    }
    ShowError(L"書庫ファイルに格納できませんでした。\n編集したファイルは次の場所にあります：\n" + KeepEditedCopy(held),
              host_.Get());
}

bool Viewer::StoreEdit(const WString& entryPath, const WString& held)
{
    // Changes of this run (Delete key) were made against the archive as it
    // was opened; written over a file that another program changed since,
    // they would take data from the wrong places.
    bool changedOnDisk = !SameStamp(openedStamp_, StampOf(archivePath_));
    auto* zipChanges = dynamic_cast<CZipFile*>(archive_.get());
    auto* cabChanges = dynamic_cast<CCabFile*>(archive_.get());
    bool pending = (zipChanges && (zipChanges->IsModified() || zipChanges->Pending().Count() > 0)) ||
                   (cabChanges && (cabChanges->DeletionList().Count() > 0 || cabChanges->HasModifiedFile()));
    if (changedOnDisk && pending) {
        ShowError(archivePath_ + L"\nは編集中にほかのプログラムによって変更されました。", host_.Get());
        return false;
    }
    // The archive is read again, as it is on disk now, so that nothing is
    // written from the directory of a file that has changed meanwhile.
    tooltip_->SetArchive(nullptr, false);
    archive_.reset();
    archive_ = NewArchiveObject();
    tooltip_->SetArchive(archive_.get(), archiveKind_ == kCabArchive);
    if (archive_->HasError()) {
        ShowArchiveError();
        return false;
    }
    std::vector<uint8_t> edited;
    if (!ReadWhole(held, edited)) {
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
    auto* zip = dynamic_cast<CZipFile*>(archive_.get());
    bool committed = zip ? zip->Commit() : true;
    // Destroying the object writes a cabinet's change; its errors are shown then.
    archive_.reset();
    if (!committed) {
        return false;
    }
    // Only what can be read back counts as stored.
    archive_ = NewArchiveObject();
    tooltip_->SetArchive(archive_.get(), archiveKind_ == kCabArchive);
    WString check = JoinPath(ParentDir(held), WString(L"check"));
    std::vector<uint8_t> stored;
    bool same = !archive_->HasError() && archive_->Extract(check, entryPath, false) &&
                ReadWhole(JoinPath(check, FileNamePart(held)), stored) && stored == edited;
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
    if (CopyFileW(held.c_str(), target.c_str(), TRUE)) {
        RemoveInside(HoldingBase(), ParentDir(held));
        return target;
    }
    return held;
}
