// Hand-made ZIP archives for tests, laid out record by record: local
// headers with their data, the central directory and the end record, with
// every field a test may want to set or damage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_files.h"

struct ZipTestEntry {
    std::string name;  // bytes as stored
    std::string data;  // bytes as stored (already compressed for method 8)
    uint16_t method = 0;
    uint32_t crc = 0;  // 0: the CRC-32 of data
    uint32_t attributes = 0x20;
    Bytes centralExtra;
    int64_t offsetOverride = -1;  // a central header pointing elsewhere
    uint16_t flags = 0;
    Bytes localExtra;
    uint16_t versionNeeded = 20;
    uint16_t localVersionNeeded = 0;  // 0: the same as the central header's
    uint16_t dosTime = 0x6000;        // 12:00:00
    uint16_t dosDate = 0x5821;        // 2024-01-01
    uint32_t uncompressedSize = 0;    // 0: the size of data
};

// The archive's bytes; offsets receives each local header's offset, and
// endCount (when not -1) replaces the entry count of the end record.
Bytes BuildZip(const std::vector<ZipTestEntry>& entries, std::vector<uint32_t>* offsets = nullptr,
               int endCount = -1);

// The CRC-32 of ZIP archives.
uint32_t ZipCrc(const std::string& data);

// The Info-ZIP Unicode Path extra block (0x7075): version 1, the CRC-32 of
// the stored name, the name in UTF-8.
Bytes UnicodePathExtra(const std::string& storedName, const std::string& utf8Name);

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
