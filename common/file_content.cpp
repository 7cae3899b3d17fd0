#include "common/file_content.h"

#include <cstring>
#include <memory>
#include <new>

#include <winternl.h>

#include "common/handles.h"

namespace {

const size_t kUsualPiece = 1 << 20;
size_t g_pieceSize = kUsualPiece;

ScopedFile OpenShared(const WString& path)
{
    return ScopedFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Fills the buffer as far as the file goes; false on a read error.
bool ReadPiece(HANDLE file, uint8_t* buffer, size_t capacity, size_t& got)
{
    got = 0;
    while (got < capacity) {
        DWORD done = 0;
        if (!ReadFile(file, buffer + got, static_cast<DWORD>(capacity - got), &done, nullptr)) {
            return false;
        }
        if (done == 0) {
            break;
        }
        got += done;
    }
    return true;
}

}  // namespace

FileStamp StampOf(const WString& path)
{
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        stamp.present = true;
        stamp.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        stamp.lastWrite = data.ftLastWriteTime;
    }
    return stamp;
}

bool SameStamp(const FileStamp& a, const FileStamp& b)
{
    return a.present == b.present && a.size == b.size && CompareFileTime(&a.lastWrite, &b.lastWrite) == 0;
}

FileIdentity IdentityOf(HANDLE file)
{
    FileIdentity identity;
    if (file == INVALID_HANDLE_VALUE || file == nullptr) {
        return identity;
    }
    // The index alone, as BY_HANDLE_FILE_INFORMATION's nFileIndex gives it
    // together with the volume's serial number.
    IO_STATUS_BLOCK status{};
    LARGE_INTEGER index{};
    if (NtQueryInformationFile(file, &status, &index, sizeof index, FileInternalInformation) >= 0) {
        identity.known = true;
        identity.index = static_cast<uint64_t>(index.QuadPart);
    }
    return identity;
}

FileIdentity IdentityOf(const WString& path)
{
    // No access to the content is asked for, so that no program's sharing
    // stands in the way.
    ScopedFile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return IdentityOf(file.Get());
}

bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return !a.known || !b.known || a.index == b.index;
}

size_t FilePieceSize() { return g_pieceSize; }

void SetFilePieceSize(size_t bytes) { g_pieceSize = bytes > 0 ? bytes : kUsualPiece; }

bool ReadInPieces(const WString& path, const PieceVisitor& visit, DWORD* error)
{
    ScopedFile file(OpenShared(path));
    std::unique_ptr<uint8_t[]> buffer(file ? new (std::nothrow) uint8_t[g_pieceSize] : nullptr);
    if (!file || !buffer) {
        if (error) {
            *error = file ? static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY) : GetLastError();
        }
        return false;
    }
    for (;;) {
        size_t got = 0;
        if (!ReadPiece(file.Get(), buffer.get(), g_pieceSize, got)) {
            if (error) {
                *error = GetLastError();
            }
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!visit(buffer.get(), got)) {
            return true;
        }
    }
}

ContentComparison CompareFileContents(const WString& a, const WString& b)
{
    ScopedFile first(OpenShared(a));
    ScopedFile second(OpenShared(b));
    size_t piece = g_pieceSize;
    std::unique_ptr<uint8_t[]> left(new (std::nothrow) uint8_t[piece]);
    std::unique_ptr<uint8_t[]> right(new (std::nothrow) uint8_t[piece]);
    if (!first || !second || !left || !right) {
        return ContentComparison::kUnreadable;
    }
    for (;;) {
        size_t gotLeft = 0;
        size_t gotRight = 0;
        if (!ReadPiece(first.Get(), left.get(), piece, gotLeft) ||
            !ReadPiece(second.Get(), right.get(), piece, gotRight)) {
            return ContentComparison::kUnreadable;
        }
        if (gotLeft != gotRight || memcmp(left.get(), right.get(), gotLeft) != 0) {
            return ContentComparison::kDifferent;
        }
        if (gotLeft == 0) {
            return ContentComparison::kSame;
        }
    }
}

bool CopySharedFile(const WString& from, const WString& to)
{
    FileStamp stamp = StampOf(from);
    ScopedFile target(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!stamp.present || !target) {
        return false;
    }
    bool allWritten = true;
    bool read = ReadInPieces(from, [&](const uint8_t* bytes, size_t count) {
        DWORD done = 0;
        allWritten = WriteFile(target.Get(), bytes, static_cast<DWORD>(count), &done, nullptr) && done == count;
        return allWritten;
    });
    // Flushed, so that a copy that is to stand for an edit survives a power
    // cut; and whole: a file that changed while it was read is no copy of it.
    bool written = read && allWritten && SetFileTime(target.Get(), nullptr, nullptr, &stamp.lastWrite) &&
                   FlushFileBuffers(target.Get()) && SameStamp(stamp, StampOf(from));
    if (!target.Reset() || !written) {
        DeleteFileW(to.c_str());
        return false;
    }
    return true;
}
