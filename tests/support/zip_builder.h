// Hand-made ZIP archives for tests, laid out record by record: local and
// central headers, extra blocks, data descriptors, the Zip64 end record with
// its locator and the end record, each written field by field so that a
// test can set or damage any of them; and whole archives of simple entries.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/test_files.h"

// The fields of a local or a central header, stored as given: a header
// whose sizes or offset live in a Zip64 block carries 0xFFFFFFFF here.
struct ZipHeader {
    uint16_t versionMadeBy = 20;  // central header only
    uint16_t versionNeeded = 20;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0x6000;  // 12:00:00
    uint16_t dosDate = 0x5821;  // 2024-01-01
    uint32_t crc = 0;
    uint32_t packedSize = 0;
    uint32_t size = 0;
    std::string name;  // bytes as stored
    Bytes extra;
    // The central header's own fields.
    std::string comment;
    uint16_t diskStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0x20;
    uint32_t headerOffset = 0;
};

// The 30 fixed bytes of a local header, then the name and the extra field.
Bytes ZipLocalHeader(const ZipHeader& header);
// The 46 fixed bytes of a central header, then the name, the extra field and
// the comment.
Bytes ZipCentralHeader(const ZipHeader& header);

// One block of an extra field: its id, its data size (that of data unless
// claimedSize says otherwise, for blocks that claim more than they hold)
// and its data.
Bytes ZipExtraBlock(uint16_t id, const Bytes& data, int claimedSize = -1);
// A Zip64 block (0x0001) of 8-byte values, in the order the header needs
// them: uncompressed size, compressed size, local header offset.
Bytes Zip64Extra(std::initializer_list<uint64_t> values);
// An NTFS block (0x000a) with its times attribute: last write, last access
// and creation, in 100 ns since 1601.
Bytes NtfsExtra(uint64_t written, uint64_t accessed, uint64_t created);
// The Info-ZIP Unicode Path extra block (0x7075): version 1, the CRC-32 of
// the stored name, the name in UTF-8.
Bytes UnicodePathExtra(const std::string& storedName, const std::string& utf8Name);

// The data descriptor after an entry's data: with or without its signature,
// with 4-byte sizes or (after a local Zip64 block) 8-byte ones.
enum class DescriptorSizes { kNarrow, kWide };
Bytes ZipDataDescriptor(uint32_t crc, uint64_t packedSize, uint64_t size, bool withSignature = true,
                        DescriptorSizes sizes = DescriptorSizes::kNarrow);

// The Zip64 end record; recordSize is what it claims for the rest of the
// record (44 without extensible data, which this one never carries).
Bytes Zip64EndRecord(uint64_t entries, uint64_t directorySize, uint64_t directoryOffset, uint64_t recordSize = 44);
// The locator of the Zip64 end record at that offset.
Bytes Zip64Locator(uint64_t recordOffset);
// The end record of a one-disk archive; a count of 0xFFFF and a size or
// offset of 0xFFFFFFFF send readers to the Zip64 end record.
Bytes ZipEndRecord(uint16_t entries, uint32_t directorySize, uint32_t directoryOffset);

// The CRC-32 of ZIP archives.
uint32_t ZipCrc(const std::string& data);

// Data encrypted with the traditional cipher as an entry stores it: the
// 12-byte header, whose last byte is check, then the data. A decoy password,
// when given, passes the header's check too.
std::string ZipCryptoEncrypt(const std::string& password, const std::string& data, uint8_t check,
                             const std::string& decoy = std::string());

struct ZipTestEntry {
    std::string name;  // bytes as stored
    std::string data;  // bytes as stored (already compressed for method 8)
    uint16_t method = 0;
    int64_t crc = -1;  // -1: the CRC-32 of data
    uint32_t attributes = 0x20;
    Bytes centralExtra;
    int64_t offsetOverride = -1;  // a central header pointing elsewhere
    uint16_t flags = 0;
    Bytes localExtra;
    uint16_t versionNeeded = 20;
    uint16_t localVersionNeeded = 0;  // 0: the same as the central header's
    uint16_t dosTime = 0x6000;        // 12:00:00
    uint16_t dosDate = 0x5821;        // 2024-01-01
    int64_t uncompressedSize = -1;    // -1: the size of data
};

// A stored entry encrypted with the traditional cipher (flags 0x0001: the
// header's check byte is the CRC's high byte); the decoy password passes
// the header's check as well.
ZipTestEntry EncryptedZipEntry(const std::string& name, const std::string& plain, const std::string& password,
                               uint16_t flags = 0x0001, const std::string& decoy = std::string());

// The archive's bytes; offsets receives each local header's offset, and
// endCount (when not -1) replaces the entry count of the end record.
Bytes BuildZip(const std::vector<ZipTestEntry>& entries, std::vector<uint32_t>* offsets = nullptr,
               int endCount = -1);

// One central header of an archive as stored.
struct ZipCentralRecord {
    uint16_t flags;
    uint16_t versionNeeded;
    std::string name;  // bytes as stored
    Bytes extra;
};

// The central directory of an archive without Zip64 records and without
// an archive comment.
std::vector<ZipCentralRecord> ReadZipDirectory(const Bytes& archive);
