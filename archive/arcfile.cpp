#include "archive/arcfile.h"

#include <memory>
#include <new>

#include "archive/work_copies.h"
#include "common_ids.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/system.h"

namespace {

// Copies between archive files go through one buffer of at most this size.
const uint64_t kCopyChunk = 100000000;

WString ErrorCode(DWORD code) { return WString::FromInt(static_cast<long long>(code)); }

void RemoveItem(const WString& path, DWORD attributes)
{
    // A link to a folder is taken away as a link: what it points to may lie
    // anywhere and is not ours to empty.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CArcFile::DeleteFolderContents(path);
    }
    SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(0x7));
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryW(path.c_str());
    } else {
        DeleteFileW(path.c_str());
    }
}

}  // namespace

WString LabelText(const char* label) { return WString::FromAnsi(label); }

CArcFile::CArcFile(const WString& archivePath, bool keepWorkFolder)
    : archivePath_(archivePath), readStamp_(StampOf(archivePath)), readIdentity_(IdentityOf(archivePath)),
      cursorShown_(false), collectedTotal_(0),
      collected_(false)
{
    workFolder_ = WorkFolderPath();
    // Other actions may be running, and an editor may still work on a copy
    // whose viewer has ended: only what nobody can need any more goes.
    if (!keepWorkFolder) {
        SweepWorkFolder(workFolder_);
        if (!PathExists(workFolder_)) {
            CreateDirectoryTree(workFolder_, false);
        }
    }
    const int ids[3] = {IDC_BUSY_EXTRACT, IDC_BUSY_ADD, IDC_BUSY_LIST};
    for (int i = 0; i < 3; ++i) {
        busyCursors_[i].Reset(static_cast<HCURSOR>(
            LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(ids[i]), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE)));
    }
}

CArcFile::~CArcFile()
{
    for (auto& cursor : busyCursors_) {
        cursor.Reset();
    }
    if (!errorText_.IsEmpty()) {
        ShowError(errorText_);
    }
}

HANDLE CArcFile::OpenArchive(DWORD share)
{
    HANDLE file = CreateFileW(archivePath_.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION) {
            errorText_ = archivePath_ + L"\nアーカイブファイル使用中";
        } else {
            errorText_ = L"OpenArc Error = " + ErrorCode(code);
        }
    }
    return file;
}

bool CArcFile::ReadBlock(HANDLE file, void* buffer, DWORD count, const char* label, DWORD* bytesRead)
{
    DWORD done = 0;
    if (!ReadFile(file, buffer, count, &done, nullptr)) {
        errorText_ = L"Read Error = " + ErrorCode(GetLastError()) + L" at " + LabelText(label);
        if (bytesRead) {
            *bytesRead = 0;
        }
        return false;
    }
    if (bytesRead) {
        *bytesRead = done;
    }
    return true;
}

bool CArcFile::WriteBlock(HANDLE file, const void* buffer, DWORD count, const char* label)
{
    DWORD done = 0;
    if (!WriteFile(file, buffer, count, &done, nullptr) || done != count) {
        errorText_ = L"Write Error = " + ErrorCode(GetLastError()) + L" at " + LabelText(label);
        return false;
    }
    return true;
}

bool CArcFile::SeekTo(HANDLE file, uint64_t offset, const char* label)
{
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, distance, nullptr, FILE_BEGIN)) {
        errorText_ = L"Set Pointer Error code = " + ErrorCode(GetLastError()) + L" at " + LabelText(label);
        return false;
    }
    return true;
}

bool CArcFile::CopyData(HANDLE source, HANDLE target, uint64_t count)
{
    if (count == 0) {
        return true;
    }
    uint64_t chunks = count / kCopyChunk;
    DWORD rest = static_cast<DWORD>(count % kCopyChunk);
    DWORD bufferSize = chunks > 0 ? static_cast<DWORD>(kCopyChunk) : rest;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bufferSize]);
    if (!buffer) {
        errorText_ = WString(L"ファイルが大きすぎます at CopyData");
        return false;
    }
    bool ok = true;
    auto copy = [&](DWORD size) {
        DWORD got = 0;
        if (!ReadBlock(source, buffer.get(), size, "CopyData", &got)) {
            return false;
        }
        if (got != size) {
            // The source ended early: the archive is shorter than its records say.
            SetLastError(ERROR_HANDLE_EOF);
            errorText_ = L"Read Error = " + ErrorCode(ERROR_HANDLE_EOF) + L" at CopyData";
            return false;
        }
        return WriteBlock(target, buffer.get(), size, "CopyData");
    };
    for (uint64_t i = 0; ok && i < chunks; ++i) {
        PumpPending();
        ok = copy(static_cast<DWORD>(kCopyChunk));
    }
    if (ok && rest > 0) {
        ok = copy(rest);
    }
    return ok;
}

void CArcFile::SetBusyCursor(int kind)
{
    if (kind < kExtractCursor || kind > kListCursor) {
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        cursorShown_ = false;
        return;
    }
    SetCursor(busyCursors_[kind - 1].Get());
    cursorShown_ = true;
}

void CArcFile::ResetCollected()
{
    collected_.Clear();
    collectedTotal_ = 0;
}

bool CArcFile::WalkFiles(const WString& folder, const FileVisitor& visit, const FileVisitor& visitEmpty)
{
    return WalkFilesBelow(folder, WString(), visit, visitEmpty);
}

bool CArcFile::WalkFilesBelow(const WString& folder, const WString& below, const FileVisitor& visit,
                              const FileVisitor& visitEmpty)
{
    AttrStringList items(false);
    if (!ListDirectory(folder, items, WString(L"*"))) {
        errorText_ = folder + L" 列挙エラー";
        return false;
    }
    if (items.Count() == 0 && visitEmpty) {
        return visitEmpty(folder, below);
    }
    for (int i = 0; i < items.Count(); ++i) {
        WString path = JoinPath(folder, items.Name(i));
        WString name = below + items.Name(i);
        bool ok = (items.ValueAt(i) & FILE_ATTRIBUTE_DIRECTORY)
                      ? WalkFilesBelow(path, name + L"\\", visit, visitEmpty)
                      : visit(path, name);
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool CArcFile::CollectFiles(const WString& folder)
{
    return WalkFiles(folder, [this](const WString& path, const WString&) { return CollectFile(path); });
}

bool CArcFile::CollectFile(const WString& path)
{
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        errorText_ = path + L"\nCompress File Open Error = " + ErrorCode(GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    ReportApiFailure(GetFileSizeEx(file.Get(), &size), "GetFileSizeEx");
    uint64_t bytes = static_cast<uint64_t>(size.QuadPart);
    collected_.Insert(path, bytes);
    collectedTotal_ += bytes;
    return true;
}

bool CArcFile::PrepareDestination(const WString& destination, const WString& entryPath, bool ask, WString& target)
{
    if (!PathExists(archivePath_)) {
        errorText_ = archivePath_ + L"ファイルが存在しません";
        return false;
    }
    if (PathExists(destination) && !IsDirectory(destination)) {
        errorText_ = destination + L"\nはディレクトリではありません";
        return false;
    }
    WString trimmed = entryPath.Last() == L'\\' ? entryPath.Left(entryPath.Length() - 1) : entryPath;
    WString leaf = FileNamePart(trimmed);
    target = leaf.IsEmpty() ? destination : JoinPath(destination, leaf);
    if (ask && PathExists(target)) {
        if (AskUser(target + L"\nを上書きしますがいいですか？", nullptr, MB_OKCANCEL) == IDCANCEL) {
            return false;
        }
    }
    CreateDirectoryW(destination.c_str(), nullptr);
    return true;
}

void CArcFile::DeleteFolderContents(const WString& folder)
{
    AttrStringList items(false);
    if (!ListDirectory(folder, items, WString(L"*"))) {
        return;
    }
    for (int i = 0; i < items.Count(); ++i) {
        RemoveItem(JoinPath(folder, items.Name(i)), items.ValueAt(i));
    }
}

void CArcFile::RemovePath(const WString& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        RemoveItem(path, attributes);
    }
}

int CArcFile::ArchiveKindOf(const WString& path)
{
    WString extension = ExtensionPart(path).Lower();
    if (extension == L"zip") {
        return kZipArchive;
    }
    if (extension == L"cab") {
        return kCabArchive;
    }
    return kUnknownArchive;
}

void CArcFile::WaitUntilIdle()
{
    while (cursorShown_) {
        Sleep(100);
        PumpPending();
    }
}

void CArcFile::CarryZoneMark(const WString& extractedPath)
{
    if (!carryZoneMarks_) {
        return;
    }
    if (!zoneMarkRead_) {
        zoneMark_ = ReadZoneMark(archivePath_);
        zoneMarkRead_ = true;
    }
    // A volume without streams cannot keep the mark; Windows' own
    // extraction goes on without it there too.
    if (zoneMark_.Carried()) {
        WriteZoneMark(extractedPath, zoneMark_, archivePath_);
    }
}
