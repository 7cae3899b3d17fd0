// The extra field of ZIP headers: a run of blocks, each an id, a data size
// and the data. Two blocks carry values the engine uses (Zip64 sizes and
// offset, NTFS times); every other block is kept as bytes and written back.
#pragma once

#include <windows.h>
#include <cstdint>
#include <vector>

#include "archive/arcentry.h"
#include "archive/zip_records.h"
#include "common/wstring.h"

namespace zip {

// Which header an extra field belongs to: only a central header's Zip64
// block holds the local header offset.
enum class ExtraSide { kCentral, kLocal };

// Reads the Zip64 and NTFS blocks of an extra field into the entry. A local
// Zip64 block is read for the values that the local header itself marks
// with 0xFFFFFFFF; they replace the entry's only where the central header
// marks the same field. Returns false with the reason in errorText when a
// block is too short for what it must hold or runs past the field's end.
// The local side passes its local header.
bool ParseExtra(const uint8_t* bytes, size_t length, ArcEntry& entry, ExtraSide side, WString& errorText,
                const LocalHeader* local = nullptr);

// True when the field holds a Zip64 block (whatever its contents).
bool HasZip64Block(const uint8_t* bytes, size_t length);

// The data of the first block with the id that lies wholly inside the
// field; false when there is none.
bool FindExtraBlock(const uint8_t* bytes, size_t length, uint16_t id, const uint8_t*& data, size_t& size);

// A Zip64 block with the values whose flags are set (uncompressed size,
// compressed size, offset, in that order), then an NTFS block when times
// are given (last write, last access, creation).
std::vector<uint8_t> BuildExtra(bool withSize, uint64_t size, bool withPacked, uint64_t packedSize, bool withOffset,
                                uint64_t offset, bool withTimes, const FILETIME& modified, const FILETIME& accessed,
                                const FILETIME& created);

// The blocks of an extra field other than Zip64 and NTFS, in their order.
// A block that would run past the field's end is dropped with all after it.
std::vector<uint8_t> FilterExtra(const uint8_t* bytes, size_t length);

}  // namespace zip
