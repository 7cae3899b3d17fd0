// The last steps of every commit: the archive held against other writers
// from the check that it is still the file that was read until it has been
// replaced, and the replacement itself, which keeps what the archive was
// beside its content.
#include "archive/arcfile.h"
#include "common/desktop_icons.h"
#include "common/paths.h"

namespace {

// The file's path as the volume knows it, links followed; empty when the
// system cannot tell.
WString FinalPathOf(HANDLE file)
{
    wchar_t buffer[32768];
    DWORD length = GetFinalPathNameByHandleW(file, buffer, 32768, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= 32768) {
        return WString();
    }
    WString path(buffer, static_cast<int>(length));
    if (path.StartsWith(L"\\\\?\\UNC\\")) {
        return L"\\" + path.From(7);
    }
    if (path.StartsWith(L"\\\\?\\")) {
        return path.From(4);
    }
    return path;
}

// The attributes a new file can take over from the old one. A read-only
// archive is never replaced: the move would be refused.
const DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Flushes the finished file and gives it the archive's creation time and
// attributes, which ReplaceFileW keeps on Windows and a plain move does not.
DWORD PrepareFinished(HANDLE archive, const WString& finished)
{
    BY_HANDLE_FILE_INFORMATION info{};
    bool known = GetFileInformationByHandle(archive, &info) != FALSE;
    ScopedFile file(CreateFileW(finished.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) {
        return GetLastError();
    }
    if (known) {
        SetFileTime(file.Get(), &info.ftCreationTime, nullptr, nullptr);
    }
    if (!FlushFileBuffers(file.Get())) {
        return GetLastError();
    }
    if (!file.Reset()) {
        return GetLastError();
    }
    DWORD kept = known ? info.dwFileAttributes & kKeptAttributes : 0;
    if (kept != 0) {
        SetFileAttributesW(finished.c_str(), kept);
    }
    return 0;
}

}  // namespace

bool CArcFile::StillAsRead()
{
    if (SameStamp(readStamp_, StampOf(archivePath_)) && SameFile(readIdentity_, IdentityOf(archivePath_))) {
        return true;
    }
    errorText_ = archivePath_ + L"\nは読み込んだ後にほかのプログラムによって変更されたため、変更は書き込みません";
    return false;
}

bool CArcFile::StillAsRead(HANDLE held)
{
    if (!SameFile(readIdentity_, IdentityOf(held)) || !StillAsRead() || !DirectoryStillAsRead(held)) {
        errorText_ = archivePath_ + L"\nは読み込んだ後にほかのプログラムによって変更されたため、変更は書き込みません";
        return false;
    }
    return true;
}

bool CArcFile::HoldArchive(ScopedFile& hold, WString& realPath)
{
    // Others may go on reading, and the hold itself does not stand in the
    // way of the replacement, which renames the held file.
    hold.Reset(OpenArchive(FILE_SHARE_READ | FILE_SHARE_DELETE));
    if (!hold) {
        return false;
    }
    realPath = FinalPathOf(hold.Get());
    if (realPath.IsEmpty()) {
        realPath = archivePath_;
    }
    return true;
}

DWORD CArcFile::ReplaceHeldArchive(ScopedFile& hold, const WString& realPath, const WString& finished)
{
    DWORD code = PrepareFinished(hold.Get(), finished);
    if (code != 0) {
        return code;
    }
    DesktopIconKeeper keeper(archivePath_);
    // With a backup name, a replacement cut short leaves the old archive
    // under that name rather than nowhere (Wine's ReplaceFileW moves the old
    // file away before it moves the new one in).
    WString backup = ReserveFileBeside(realPath);
    bool replaced = !backup.IsEmpty() &&
                    ReplaceFileW(realPath.c_str(), finished.c_str(), backup.c_str(),
                                 REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr);
    if (!replaced) {
        code = GetLastError();
        if (!backup.IsEmpty()) {
            // The archive went to the backup name and the new file did not
            // come: the archive goes back.
            if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
                MoveFileExW(backup.c_str(), realPath.c_str(), MOVEFILE_WRITE_THROUGH);
            }
            if (!PathExists(realPath)) {
                return code;
            }
            DeleteFileW(backup.c_str());
        }
        // A volume or a system where the call cannot serve: one move, after
        // which either the new file has the name or the old one still does.
        hold.Reset();
        if (!MoveFileExW(finished.c_str(), realPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return GetLastError();
        }
    } else {
        hold.Reset();
        DeleteFileW(backup.c_str());
    }
    keeper.Restore(archivePath_);
    return 0;
}
