// The fixed-size records of the cabinet format as they lie in a file, and the
// checksum of its data blocks. All integers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cab {

const uint32_t kSignature = 0x4643534D;  // "MSCF"

const uint16_t kFlagPrevCabinet = 0x0001;
const uint16_t kFlagNextCabinet = 0x0002;
const uint16_t kFlagReservePresent = 0x0004;

const uint16_t kCompressionMask = 0x000F;
const uint16_t kCompressionNone = 0;
const uint16_t kCompressionMszip = 1;
const uint16_t kCompressionQuantum = 2;
const uint16_t kCompressionLzx = 3;

const uint16_t kAttributeReadOnly = 0x01;
const uint16_t kAttributeHidden = 0x02;
const uint16_t kAttributeSystem = 0x04;
const uint16_t kAttributeArchive = 0x20;
const uint16_t kAttributeExecute = 0x40;
const uint16_t kAttributeUtf8Name = 0x80;
// The bits that are file attributes.
const uint16_t kFileAttributeMask = 0x27;

// iFolder values that point into the previous or next cabinet of a set.
const uint16_t kFolderContinuedFromPrev = 0xFFFD;
const uint16_t kFolderContinuedToNext = 0xFFFE;
const uint16_t kFolderContinuedPrevAndNext = 0xFFFF;

// A data block holds at most 32 KiB of uncompressed data, and its compressed
// form at most 6 KiB more.
const uint32_t kMaxUncompressedBlock = 0x8000;
const uint32_t kMaxCompressedBlock = 0x8000 + 6144;

#pragma pack(push, 1)

struct Header {
    uint32_t signature;
    uint32_t reserved1;
    uint32_t cbCabinet;
    uint32_t reserved2;
    uint32_t coffFiles;
    uint32_t reserved3;
    uint8_t versionMinor;
    uint8_t versionMajor;
    uint16_t cFolders;
    uint16_t cFiles;
    uint16_t flags;
    uint16_t setID;
    uint16_t iCabinet;
};
static_assert(sizeof(Header) == 36, "CFHEADER");

// Follows the header when kFlagReservePresent is set.
struct ReserveSizes {
    uint16_t cbCFHeader;
    uint8_t cbCFFolder;
    uint8_t cbCFData;
};
static_assert(sizeof(ReserveSizes) == 4, "reserve sizes");

struct Folder {
    uint32_t coffCabStart;
    uint16_t cCFData;
    uint16_t typeCompress;
};
static_assert(sizeof(Folder) == 8, "CFFOLDER");

struct File {
    uint32_t cbFile;
    uint32_t uoffFolderStart;
    uint16_t iFolder;
    uint16_t date;
    uint16_t time;
    uint16_t attribs;
};
static_assert(sizeof(File) == 16, "CFFILE");

struct DataBlock {
    uint32_t csum;
    uint16_t cbData;
    uint16_t cbUncomp;
};
static_assert(sizeof(DataBlock) == 8, "CFDATA");

#pragma pack(pop)

// The checksum of a data block: over its data, seeded with 0, then over the
// cbData and cbUncomp words (and the reserved bytes between, when present).
// The caller combines as the format says: Checksum(header fields and
// reserve, Checksum(data, 0)).
uint32_t Checksum(const void* bytes, size_t count, uint32_t seed);
// csum of a whole block: data, then the 4 bytes of cbData/cbUncomp and the
// per-block reserve.
uint32_t BlockChecksum(uint16_t cbData, uint16_t cbUncomp, const void* reserve, size_t reserveSize,
                       const void* data);

}  // namespace cab
