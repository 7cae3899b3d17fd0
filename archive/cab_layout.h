// Pieces of the cabinet format shared by the reader, the information query
// and the merge: name decoding, the messages about damaged cabinets, and
// where the folder records begin.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

#include "archive/cab_records.h"
#include "common/wstring.h"

class CArcFile;
class ZlibBinding;

namespace cablayout {

// Names are read from a window of this many bytes after the 16 fixed bytes.
const uint32_t kNameWindow = 260;

extern const wchar_t kNotCabinet[];
extern const wchar_t kCabinetSet[];
extern const wchar_t kReserveInUnits[];
extern const wchar_t kBrokenName[];
extern const wchar_t kFolderOutOfRange[];
extern const wchar_t kOffsetOutside[];
extern const wchar_t kBadDataBlock[];
extern const wchar_t kBlockChecksum[];
extern const wchar_t kBlockUndecodable[];
extern const wchar_t kTooManyItems[];
extern const wchar_t kUnsupportedCompression[];

// Decodes the NUL-terminated name at the start of bytes (UTF-8 when attribs
// has the UTF-8 bit, else the ANSI code page). False when no NUL lies within
// the available bytes or the name is empty; length is its size without NUL.
bool DecodeName(const uint8_t* bytes, size_t available, uint16_t attribs, WString& name, uint32_t& length);

// Moves position past the names of the previous and the next cabinet of a
// set that the header announces: two NUL-terminated names for each, every
// one looked for in a window of kNameWindow bytes, read through the archive
// object with the label "PREV_CABINET" or "NEXT_CABINET". A name without
// its NUL in the window fails with kOffsetOutside and the label.
bool SkipSetNames(CArcFile& archive, HANDLE file, const cab::Header& header, uint64_t& position);

// True when an iFolder value is an index of this cabinet, or (in a cabinet
// of a set) one of the continuation markers.
bool IsValidFolderIndex(uint16_t folder, const cab::Header& header);

// How far a walk over a unit's data blocks looks: at the block headers only
// (every block inside the file, none larger than the format allows, every
// stored block as large as the data it gives), or at
// their data as well (the checksum of every block that carries one).
enum class BlockCheck { kExtents, kChecksums };

// Whether the unit's data is MSZIP, the one method that zlib can decode.
bool IsMszip(const cab::Folder& folder);

// Checks the cCFData data blocks of unit number unitIndex. The decoders of
// the cabinet library trust what they are given; a damaged block handed to
// them can make them write out of bounds, so nothing reaches them unchecked.
// With a zlib library (kChecksums only), an MSZIP unit is decoded as well,
// block after block, and every block must give exactly its cbUncomp bytes:
// data changed so that the checksum still matches is found only so.
// Reads go through the archive object so that failures carry its texts; the
// fault names the unit and the block.
bool CheckDataBlocks(CArcFile& archive, HANDLE file, uint64_t fileSize, unsigned unitIndex, const cab::Folder& folder,
                     uint8_t dataReserve, BlockCheck check, const ZlibBinding* zlib, WString& fault);

}  // namespace cablayout
