// The archive object: one per user action on one archive path. The format
// classes derive from it; it owns the work folder, the file input and output
// with the product's error texts, the busy cursor and the collection of files
// to compress. Failures are kept in the error text, which is shown once when
// the object is destroyed.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>

#include "archive/arcentry.h"
#include "archive/entry_protection.h"
#include "common/password_prompt.h"
#include "common/file_content.h"
#include "common/handles.h"
#include "common/stringlist.h"
#include "common/wstring.h"
#include "common/zone_mark.h"

enum BusyCursorKind {
    kArrowCursor = 0,
    kExtractCursor = 1,
    kAddCursor = 2,
    kListCursor = 3,
};

enum ArchiveKind {
    kUnknownArchive = 0,
    kZipArchive = 1,
    kCabArchive = 2,
};

class CArcFile {
public:
    CArcFile(const WString& archivePath, bool keepWorkFolder);
    virtual ~CArcFile();
    CArcFile(const CArcFile&) = delete;
    CArcFile& operator=(const CArcFile&) = delete;

    // Entry paths use backslashes; a folder ends with one.
    virtual bool GetEntryNames(StringList& names) = 0;
    // Empty entry path: the whole archive; ending in a backslash: a folder.
    virtual bool Extract(const WString& destination, const WString& entryPath, bool askBeforeOverwrite) = 0;
    virtual bool GetEntryInfo(const WString& entryPath, DWORD& size, DWORD& packedSize, FILETIME& lastWrite,
                              DWORD& attributes, StringList& lines) = 0;
    // progressIcon: the icon resource of the progress window, -1 for none.
    virtual bool Add(const WString& source, const WString& folder, int progressIcon) = 0;
    virtual bool Delete(const WString& entryPath) = 0;
    virtual bool CanUpdate() = 0;
    virtual bool CanDelete() = 0;

    // Whether additions or deletions wait to be written.
    virtual bool HasPendingChanges() const { return false; }
    // Writes what waits now rather than when the object is destroyed; true
    // when nothing waited. It runs once per object: the destructor does not
    // try again after a failure, whose reason is in the error text.
    virtual bool CommitChanges() { return true; }
    // The size and CRC-32 the archive stores for a file entry; false when
    // the format keeps none or the entry is unknown.
    virtual bool StoredChecksum(const WString&, uint64_t&, uint32_t&) const { return false; }
    // Whether reading the entry's data needs a password.
    virtual bool IsEncryptedEntry(const WString&) const { return false; }
    // How the entry is encrypted, with the password that opened it in this
    // object; none for an entry in the clear or one not opened yet.
    virtual EntryProtection ProtectionOf(const WString&) const { return EntryProtection(); }
    // Files added from now on are encrypted so, and its password is the
    // first tried on encrypted entries. False when the format cannot.
    virtual bool UseProtection(const EntryProtection& protection) { return !protection.IsActive(); }
    // When every file entry is encrypted alike, asks for the password,
    // checks it on one of them and gives their protection; an archive with
    // any entry in the clear gives none. False only when no password could
    // be had (the reason in the error text).
    virtual bool SharedProtection(EntryProtection& protection)
    {
        protection = EntryProtection();
        return true;
    }
    // Reads the entry once, asking for its password when it needs one, and
    // gives how it is encrypted; false when it cannot be read (the reason
    // in the error text).
    virtual bool UnlockEntry(const WString&, EntryProtection& protection)
    {
        protection = EntryProtection();
        return true;
    }

    const WString& ArchivePath() const { return archivePath_; }
    const WString& WorkFolder() const { return workFolder_; }
    const WString& ErrorText() const { return errorText_; }
    void SetErrorText(const WString& text) { errorText_ = text; }
    // Who is asked for the password of an encrypted entry; null (the
    // default): nobody, and such an entry is refused.
    void SetPasswordSource(PasswordSource* source) { passwordSource_ = source; }
    PasswordSource* Passwords() const { return passwordSource_; }
    void ClearErrorText() { errorText_.Clear(); }
    bool HasError() const { return !errorText_.IsEmpty(); }

    // File input and output. Each returns false on failure and leaves the
    // reason in the error text, ending with the label of the step.
    // share: what other programs may do meanwhile; reading by default.
    HANDLE OpenArchive(DWORD share = FILE_SHARE_READ);
    // A short read is not a failure; bytesRead tells how much arrived.
    bool ReadBlock(HANDLE file, void* buffer, DWORD count, const char* label, DWORD* bytesRead = nullptr);
    bool WriteBlock(HANDLE file, const void* buffer, DWORD count, const char* label);
    bool SeekTo(HANDLE file, uint64_t offset, const char* label);
    bool CopyData(HANDLE source, HANDLE target, uint64_t count);

    void SetBusyCursor(int kind);
    bool IsBusyCursorShown() const { return cursorShown_; }

    // Shows one of the busy cursors for a scope and puts the arrow back when
    // the scope ends, on every return.
    class BusyCursor {
    public:
        BusyCursor(CArcFile& archive, int kind) : archive_(archive) { archive_.SetBusyCursor(kind); }
        ~BusyCursor() { archive_.SetBusyCursor(kArrowCursor); }
        BusyCursor(const BusyCursor&) = delete;
        BusyCursor& operator=(const BusyCursor&) = delete;

    private:
        CArcFile& archive_;
    };

    // Called for each file of a walk with its full path and its path below
    // the walked folder (backslashes); returning false ends the walk.
    using FileVisitor = std::function<bool(const WString& path, const WString& below)>;
    // Visits every file below folder, depth first, the way a folder is
    // compressed: each folder's items in the order the directory search
    // returns them, a subfolder's files at the subfolder's place among its
    // siblings. Returns false when the visitor did, or when a folder cannot
    // be listed (then with folder + " 列挙エラー" in the error text); the
    // files visited before stay visited. visitEmpty, when given, meets every
    // folder that holds nothing at all at its place, its name below ending
    // in a backslash; the walked folder itself, when it is empty, with an
    // empty name.
    bool WalkFiles(const WString& folder, const FileVisitor& visit, const FileVisitor& visitEmpty = nullptr);

    // Files gathered for compression (path -> size) and their total.
    bool CollectFiles(const WString& folder);
    bool CollectFile(const WString& path);
    void ResetCollected();
    const SizeList& Collected() const { return collected_; }
    uint64_t CollectedTotal() const { return collectedTotal_; }

    // The check every extraction runs first: the archive exists, the
    // destination is a folder, an existing target may be overwritten. target
    // is where the entry (or the whole archive) goes.
    bool PrepareDestination(const WString& destination, const WString& entryPath, bool ask, WString& target);

    // Removes everything inside a folder, read-only items included.
    static void DeleteFolderContents(const WString& folder);
    // Removes a file, or a folder with everything in it, read-only items
    // included; a link is removed as a link and never followed.
    static void RemovePath(const WString& path);

    // For the menu viewer.
    static int ArchiveKindOf(const WString& path);
    void WaitUntilIdle();

protected:
    // Whether the archive on disk is still the file this object read (the
    // same file, size and last write time, or still missing); otherwise the
    // error text says so. A commit asks just before it writes: offsets read
    // from an older file would take data from the wrong places, and another
    // program's change would be lost.
    bool StillAsRead();
    // The same for the archive held open, with what the format can tell
    // besides (ZIP: the bytes of its directory).
    bool StillAsRead(HANDLE held);
    virtual bool DirectoryStillAsRead(HANDLE) { return true; }

    // Opens the archive so that no other program can write it until it is
    // released; realPath is where it lies, a link followed, so that the new
    // archive is made and put in its place there. False with the reason.
    bool HoldArchive(ScopedFile& hold, WString& realPath);
    // Puts the finished file in the held archive's place: flushed, with the
    // archive's creation time and attributes, through ReplaceFileW, which
    // keeps its streams (the mark of origin above all) and security, or by
    // a plain move where that cannot serve. The hold is released only once
    // the archive is replaced, and the desktop icon stays where it was.
    // Gives 0, or the system's error code with the archive as it was.
    DWORD ReplaceHeldArchive(ScopedFile& hold, const WString& realPath, const WString& finished);
    // Gives a file taken out of the archive the archive's mark of origin
    // when the archive came from the internet (its zone read once per
    // object), so that the file is treated as carefully as the archive was.
    void CarryZoneMark(const WString& extractedPath);
    // A commit's own extraction of the files it keeps makes no files of the
    // user's, and its work tree is compressed again: no marks there.
    class WithoutZoneMarks {
    public:
        explicit WithoutZoneMarks(CArcFile& archive) : archive_(archive) { archive_.carryZoneMarks_ = false; }
        ~WithoutZoneMarks() { archive_.carryZoneMarks_ = true; }
        WithoutZoneMarks(const WithoutZoneMarks&) = delete;
        WithoutZoneMarks& operator=(const WithoutZoneMarks&) = delete;

    private:
        CArcFile& archive_;
    };

private:
    bool WalkFilesBelow(const WString& folder, const WString& below, const FileVisitor& visit,
                        const FileVisitor& visitEmpty);

    WString archivePath_;
    WString workFolder_;
    FileStamp readStamp_;
    FileIdentity readIdentity_;
    ZoneMark zoneMark_;
    bool zoneMarkRead_ = false;
    bool carryZoneMarks_ = true;
    WString errorText_;
    PasswordSource* passwordSource_ = nullptr;
    ScopedCursor busyCursors_[3];
    bool cursorShown_;
    uint64_t collectedTotal_;
    SizeList collected_;
};

// ANSI text of a label for an error message.
WString LabelText(const char* label);
