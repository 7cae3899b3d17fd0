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

const uint16_t kExtraAes = 0x9901;

const uint16_t kFlagEncrypted = 0x0001;
const uint16_t kFlagDataDescriptor = 0x0008;
const uint16_t kFlagStrongEncryption = 0x0040;
// The version needed to extract an entry with Zip64 values (4.5).
const uint16_t kVersionZip64 = 45;
const uint16_t kMethodStored = 0;
const uint16_t kMethodDeflate = 8;
// The method of an AES-encrypted entry; the real one is in its AES block.
const uint16_t kMethodAes = 99;

// The traditional encryption puts 12 bytes before the data, the last of
// which repeats a byte the header knows, to check the password.
const uint32_t kPkwareHeaderSize = 12;
// AES puts a salt and a 2-byte password verifier before the data and a
// 10-byte authentication code after it. AE-1 keeps the CRC of the plain
// data; AE-2 stores zero instead.
const uint32_t kAesVerifierSize = 2;
const uint32_t kAesMacSize = 10;
const uint16_t kAesVersion1 = 1;
const uint16_t kAesVersion2 = 2;

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

// The data of the AES block: the vendor's version, its id "AE", the key
// strength (1, 2, 3 for 128-, 192- and 256-bit keys) and the method of the
// data before encryption.
struct AesExtraData {
    uint16_t vendorVersion;
    uint8_t vendorId[2];
    uint8_t strength;
    uint16_t method;
};
static_assert(sizeof(AesExtraData) == 7, "AES extra block data");

#pragma pack(pop)

}  // namespace zip
