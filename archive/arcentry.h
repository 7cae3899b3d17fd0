// The in-memory record of one ZIP entry. Its first 46 bytes are the central
// directory file header exactly as it is stored in an archive, so that a
// record read from a file can be written back byte for byte.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "archive/zip_records.h"
#include "common/stringlist.h"

const uint32_t kCentralHeaderSignature = zip::kCentralHeaderSignature;
const uint32_t kCentralHeaderSize = 46;
const uint32_t kZip64Marker32 = 0xFFFFFFFF;
const uint64_t kNotYetWritten = 0xFFFFFFFFFFFFFFFEULL;

#pragma pack(push, 1)
// The central directory file header comes first, as stored, so that the
// record's first 46 bytes can be read and written as they are.
struct ArcEntry : zip::CentralHeader {
    // Values read from the 32-bit fields or the Zip64 extra field.
    uint64_t packedSize;
    uint64_t size;
    uint64_t headerOffset;
    // From the NTFS extra field; a time counts as present when its high half
    // is not zero.
    FILETIME modifiedTime;
    FILETIME accessTime;
    FILETIME creationTime;
    // Indexes into the archive object's block list, -1 for none.
    int32_t centralExtraIndex;
    int32_t commentIndex;
    bool deleted;
    int32_t newDataIndex;
    int32_t localExtraIndex;
    // The name's bytes as stored in the archive, so that an entry carried
    // over by a commit keeps them exactly; -1 for an entry not yet written.
    int32_t nameIndex;
};
#pragma pack(pop)

static_assert(sizeof(zip::CentralHeader) == kCentralHeaderSize, "the central header fills the first 46 bytes");

inline bool IsTimePresent(const FILETIME& time) { return time.dwHighDateTime != 0; }

// A folder the reader made for a path that the archive names only through
// the entries below it: with neither stored name bytes nor data of its own,
// it lives in memory only and is never written.
inline bool IsImpliedFolder(const ArcEntry& entry) { return entry.nameIndex < 0 && entry.newDataIndex < 0; }

// A record with every field zero and every block index -1.
inline ArcEntry EmptyArcEntry()
{
    ArcEntry entry{};
    entry.centralExtraIndex = -1;
    entry.commentIndex = -1;
    entry.newDataIndex = -1;
    entry.localExtraIndex = -1;
    entry.nameIndex = -1;
    return entry;
}

// Files gathered for compression: full path and size in bytes.
using SizeList = KeyedList<uint64_t>;
// ZIP entries by name.
using EntryTable = KeyedList<ArcEntry>;
