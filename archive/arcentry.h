// The in-memory record of one ZIP entry. Its first 46 bytes are the central
// directory file header exactly as it is stored in an archive, so that a
// record read from a file can be written back byte for byte.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "common/stringlist.h"

const uint32_t kCentralHeaderSignature = 0x02014b50;
const uint32_t kCentralHeaderSize = 46;
const uint32_t kZip64Marker32 = 0xFFFFFFFF;
const uint64_t kNotYetWritten = 0xFFFFFFFFFFFFFFFEULL;

#pragma pack(push, 1)
struct ArcEntry {
    // Central directory file header, as stored.
    uint32_t signature;
    uint16_t versionMadeBy;
    uint16_t versionNeeded;
    uint16_t flags;
    uint16_t method;
    uint16_t dosTime;
    uint16_t dosDate;
    uint32_t crc32;
    uint32_t packedSize32;
    uint32_t size32;
    uint16_t nameLength;
    uint16_t extraLength;
    uint16_t commentLength;
    uint16_t diskStart;
    uint16_t internalAttributes;
    uint32_t externalAttributes;
    uint32_t headerOffset32;

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
};
#pragma pack(pop)

static_assert(offsetof(ArcEntry, packedSize) == kCentralHeaderSize, "the central header must fill the first 46 bytes");

inline bool IsTimePresent(const FILETIME& time) { return time.dwHighDateTime != 0; }

// A record with every field zero and every block index -1.
inline ArcEntry EmptyArcEntry()
{
    ArcEntry entry{};
    entry.centralExtraIndex = -1;
    entry.commentIndex = -1;
    entry.newDataIndex = -1;
    entry.localExtraIndex = -1;
    return entry;
}

// Files gathered for compression: full path and size in bytes.
using SizeList = KeyedList<uint64_t>;
// ZIP entries by name.
using EntryTable = KeyedList<ArcEntry>;
