// The fixed-size records of the ZIP format as they lie in a file. All
// integers are little-endian, as on every Windows processor.
#pragma once

#include <cstdint>

namespace zip {

const uint32_t kLocalHeaderSignature = 0x04034b50;
const uint32_t kCentralHeaderSignature = 0x02014b50;
const uint32_t kDataDescriptorSignature = 0x08074b50;
const uint32_t kEndRecordSignature = 0x06054b50;
const uint32_t kZip64EndRecordSignature = 0x06064b50;
const uint32_t kZip64LocatorSignature = 0x07064b50;

const uint16_t kExtraZip64 = 0x0001;
const uint16_t kExtraNtfs = 0x000a;
const uint16_t kNtfsDataSize = 32;

const uint16_t kFlagDataDescriptor = 0x0008;
// The version needed to extract an entry with Zip64 values (4.5).
const uint16_t kVersionZip64 = 45;
const uint16_t kMethodStored = 0;
const uint16_t kMethodDeflate = 8;

// The end record lies within its size plus the longest comment from the end.
const uint32_t kEndRecordSearchWindow = 22 + 65535;

#pragma pack(push, 1)

struct LocalHeader {
    uint32_t signature;
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
};
static_assert(sizeof(LocalHeader) == 30, "local header");

struct CentralHeader {
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
};
static_assert(sizeof(CentralHeader) == 46, "central header");

struct EndRecord {
    uint32_t signature;
    uint16_t diskNumber;
    uint16_t centralDirDisk;
    uint16_t entriesOnDisk;
    uint16_t totalEntries;
    uint32_t centralDirSize;
    uint32_t centralDirOffset;
    uint16_t commentLength;
};
static_assert(sizeof(EndRecord) == 22, "end record");

struct Zip64EndRecord {
    uint32_t signature;
    uint64_t recordSize;
    uint16_t versionMadeBy;
    uint16_t versionNeeded;
    uint32_t diskNumber;
    uint32_t centralDirDisk;
    uint64_t entriesOnDisk;
    uint64_t totalEntries;
    uint64_t centralDirSize;
    uint64_t centralDirOffset;
};
static_assert(sizeof(Zip64EndRecord) == 56, "Zip64 end record");

struct Zip64Locator {
    uint32_t signature;
    uint32_t endRecordDisk;
    uint64_t endRecordOffset;
    uint32_t totalDisks;
};
static_assert(sizeof(Zip64Locator) == 20, "Zip64 locator");

struct ExtraBlockHeader {
    uint16_t id;
    uint16_t dataSize;
};
static_assert(sizeof(ExtraBlockHeader) == 4, "extra block header");

#pragma pack(pop)

}  // namespace zip
