// The work folder, "ZPKWork" in the user's temporary folder, holds what
// actions take out of archives: the copy of an opened entry that an editor
// works on, the copies that a drag hands to the shell, and the engine's own
// working files. Several actions run at once (two viewers, a compress verb,
// the drop handler inside Explorer), and an editor may save into its copy
// long after the viewer that opened it has ended. So every copy lives in a
// slot of its own: a folder named after the process that made it, with a
// record beside it of what was extracted. An action never removes another
// running process's slot, and nothing removes a copy whose content differs
// from what was extracted until it was stored or the user let it go.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "common/file_content.h"
#include "common/wstring.h"

// A process, told apart from a later one that got the same id.
struct ProcessIdentity {
    DWORD id = 0;
    uint64_t started = 0;

    static ProcessIdentity Current();
    bool IsRunning() const;
};

enum class WorkCopyKind {
    // An entry opened with its program: it may come back edited.
    kOpened = 1,
    // What a drag or a preview hands to another program: never edited here.
    kHandedOut = 2,
    // Working files of the engine or the viewer.
    kScratch = 3,
};

struct WorkCopyRecord {
    WorkCopyKind kind = WorkCopyKind::kScratch;
    ProcessIdentity owner;
    WString archivePath;
    WString entryPath;
    // The entry as the archive held it when the copy was made, or when the
    // copy's content was last stored: an entry that differs from this was
    // changed by somebody else meanwhile.
    uint64_t entrySize = 0;
    bool entryCrcKnown = false;
    uint32_t entryCrc = 0;
    FILETIME entryTime{};
    // The copy's file name in its slot, and what it was after extraction or
    // after it was last stored: a copy that still is this holds no edit.
    WString copyName;
    FileStamp copyStamp;
    bool copyCrcKnown = false;
    uint32_t copyCrc = 0;
    // The archive's zone of origin, so that an edit kept for the user
    // carries the mark even when the archive is gone.
    int zoneId = 0;
};

// %TEMP%\ZPKWork, without a trailing backslash.
WString WorkFolderPath();

class WorkSlot {
public:
    WorkSlot() = default;
    // A new slot of this process (or of owner) in the work folder, made
    // when missing; its record is written before anything goes into it.
    bool Create(const WString& workFolder, WorkCopyKind kind);
    bool Create(const WString& workFolder, WorkCopyKind kind, const ProcessIdentity& owner);
    // Gives the slot up as its process would by ending: from now on it is
    // judged by its content alone.
    bool Release();
    // The slot whose folder this is, with its record; false when it has no
    // readable record.
    bool Open(const WString& folder);

    bool IsOpen() const { return !folder_.IsEmpty(); }
    const WString& Folder() const { return folder_; }
    WString CopyPath() const;
    WorkCopyRecord& Record() { return record_; }
    const WorkCopyRecord& Record() const { return record_; }
    // Writes the record so that a reader sees either the old or the new
    // one whole, and flushes it.
    bool SaveRecord();
    // Removes the slot's folder with everything in it, then its record.
    void Remove();

private:
    WString RecordPath() const;

    WString folder_;
    WorkCopyRecord record_;
};

enum class CopyState {
    kUnchanged,
    kChanged,
    // Another program holds it so that it cannot be read: nothing is known.
    kUnreadable,
    kMissing,
};

// Whether the copy still is what the record says was extracted or stored:
// the same stamp, or (after a save that wrote the same bytes) the same size
// and CRC-32 when the record knows it.
CopyState CheckWorkCopy(const WorkCopyRecord& record, const WString& copyPath);
// The CRC-32 of a file read in pieces with every kind of sharing; false
// when it cannot be read or zlib cannot be loaded.
bool FileCrc32(const WString& path, uint32_t& crc);

// Removes from the work folder only what nobody can need any more: slots of
// processes that have ended whose copy is gone, was handed out or is still
// as extracted. An edited copy stays; when its archive is gone from a
// folder that is still there, the edit is kept beside where the archive
// was. What is not a slot is left alone.
void SweepWorkFolder(const WString& workFolder);

// The slots of ended processes that hold an edit of this archive not yet
// stored, oldest first. Copies that cannot be read now are left for later.
std::vector<WString> PendingEditsOf(const WString& workFolder, const WString& archivePath);

// Keeps an edit where the user finds it: beside the archive under a free
// name ("note (2).txt"), or, where that folder cannot be written, in the
// folder "Zupako" of the user's Documents. The file is written and flushed,
// with the archive's mark of origin when it had one. Gives its path, or
// empty when it could be written nowhere.
WString KeepEditForUser(const WString& archivePath, const WString& edit, const WString& fileName, int zoneId);
