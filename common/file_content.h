// What a file is now, without holding it: its stamp (size and last write
// time), and its content read in bounded pieces while other programs may
// hold it open, so that a file of any size is checked with one small buffer.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "common/wstring.h"

// Size and last write time of a file, to see whether it changed.
struct FileStamp {
    bool present = false;
    uint64_t size = 0;
    FILETIME lastWrite{};
};
FileStamp StampOf(const WString& path);
bool SameStamp(const FileStamp& a, const FileStamp& b);

// Which file a name leads to: its number on its volume. A file put in
// another's place under its name (the usual way programs save) has another
// number even when its size and time were made the same. The volume is not
// asked for: the name is the same, so is the volume it leads to, and the
// question goes to the volume itself (Wine's answer costs more than reading
// the directory of a small archive).
struct FileIdentity {
    bool known = false;
    uint64_t index = 0;
};
FileIdentity IdentityOf(HANDLE file);
FileIdentity IdentityOf(const WString& path);
// Unknown identities are taken as the same: only a known difference counts.
bool SameFile(const FileIdentity& a, const FileIdentity& b);

// Receives the file's bytes in order; returning false ends the reading
// early (which is no failure: the file could be read).
using PieceVisitor = std::function<bool(const uint8_t* bytes, size_t count)>;
// Reads the file in pieces of at most FilePieceSize() bytes. The file is
// opened with every kind of sharing: an editor, a virus scanner or a sync
// client holding it open for writing must not make it unreadable to us.
// False when it cannot be opened or read (error gets the system's code).
bool ReadInPieces(const WString& path, const PieceVisitor& visit, DWORD* error = nullptr);

enum class ContentComparison {
    kSame,
    kDifferent,
    // One of the two could not be read: nothing is known about the content.
    kUnreadable,
};
ContentComparison CompareFileContents(const WString& a, const WString& b);

// Copies a file's content and last write time to a new file, reading it
// with every kind of sharing as ReadInPieces does (CopyFileW refuses a file
// that another program holds open for writing), and flushes it. The target
// must not exist; a partial target, or one of a file that changed while it
// was read, is removed.
bool CopySharedFile(const WString& from, const WString& to);

// The largest piece read at once: 1 MiB, smaller for tests of the piece
// boundaries; 0 restores the usual size.
size_t FilePieceSize();
void SetFilePieceSize(size_t bytes);
