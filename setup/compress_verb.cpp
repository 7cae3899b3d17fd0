#include "setup/compress_verb.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "archive/cabfile.h"
#include "archive/zipfile.h"
#include "common/desktop_icons.h"
#include "common/messages.h"
#include "common/paths.h"
#include "resources/common_ids.h"

WString ArchivePathForFolder(const WString& folder, CompressFormat format)
{
    const wchar_t* extension = format == kCompressToCab ? L".cab" : L".zip";
    return JoinPath(ParentDir(folder), FileNamePart(folder) + extension);
}

WString AbsoluteOperandPath(const WString& operand)
{
    WString path = Unquote(operand);
    if (path.IsEmpty()) {
        return path;
    }
    DWORD units = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (units != 0) {
        std::vector<wchar_t> full(units);
        DWORD length = GetFullPathNameW(path.c_str(), units, full.data(), nullptr);
        if (length != 0 && length < units) {
            path = WString(full.data(), static_cast<int>(length));
        }
    }
    while (path.Last() == L'\\' && !IsDriveRoot(path) && path.Length() > 1) {
        path = path.Left(path.Length() - 1);
    }
    return path;
}

namespace {

// Builds the archive of the folder at path; true when it is complete. The
// engine shows its own progress and, when it is destroyed, its error.
bool BuildArchive(CompressFormat format, const WString& folder, const WString& path, const WString& programFolder)
{
    if (format == kCompressToCab) {
        CCabFile cab(path);
        return !cab.HasError() && cab.Add(folder, WString(), IDI_CABFILE) && !cab.HasError();
    }
    CZipFile zip(path, JoinPath(programFolder, WString(ZlibLibraryName())));
    return !zip.HasError() && zip.Add(folder, WString(), IDI_ZIPFILE) && zip.Commit() && !zip.HasError();
}

// Gives the finished archive its name. A folder in the way is removed only
// when it is empty; the old archive stays when anything fails.
bool PutInPlace(const WString& built, const WString& archive)
{
    if (IsDirectory(archive) && !RemoveDirectoryW(archive.c_str())) {
        ShowError(archive + L"\nを置き換えられませんでした（Error Code = " + WString::FromInt(GetLastError()) + L"）");
        return false;
    }
    DesktopIconKeeper keeper(archive);
    if (!MoveFileExW(built.c_str(), archive.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ShowError(archive + L"\nを置き換えられませんでした（Error Code = " + WString::FromInt(GetLastError()) + L"）");
        return false;
    }
    keeper.Restore(archive);
    return true;
}

}  // namespace

void RunCompressVerb(CompressFormat format, const WString& operand, const WString& programFolder)
{
    WString folder = AbsoluteOperandPath(operand);
    if (!IsDirectory(folder)) {
        ShowError(L"フォルダではありません");
        return;
    }
    WString archive = ArchivePathForFolder(folder, format);
    if (PathExists(archive) && AskUser(archive + L" を置き換えていいですか？", nullptr, MB_YESNO) == IDNO) {
        return;
    }
    // The new archive is built under a name that nothing beside it has, so
    // that the old one stays untouched until the new one is complete.
    WString building = ReserveFileBeside(archive);
    if (building.IsEmpty()) {
        ShowError(ParentDir(archive) + L"\n作業ファイルを作れません Error Code = " + WString::FromInt(GetLastError()));
        return;
    }
    // The engines make the archive themselves and take an existing file for
    // one to open, so only the name is kept.
    DeleteFileW(building.c_str());
    bool built = BuildArchive(format, folder, building, programFolder);
    if (!built || !PutInPlace(building, archive)) {
        DeleteFileW(building.c_str());
    }
}
