// Hand-made cabinets for tests: stored (uncompressed) or MSZIP units laid
// out field by field, with correct block checksums, so that tests control
// every record that the tools here cannot produce (reserve areas, chosen
// units, damaged fields).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_files.h"

struct CabTestFile {
    std::string name;  // bytes as stored (ANSI or UTF-8)
    std::string data;
    uint16_t folder;
    uint16_t attribs = 0x20;
    uint16_t date = 0x5A21;  // 2025-01-01
    uint16_t time = 0x6000;  // 12:00:00
};

struct CabTestLayout {
    int folders = 1;
    bool reservePresent = false;
    uint16_t headerReserve = 0;
    uint8_t folderReserve = 0;
    uint8_t dataReserve = 0;
    // The previous and the next cabinet of a set, each as its cabinet's and
    // its disk's name; none when empty.
    std::vector<std::string> previous;
    std::vector<std::string> next;
};

// Offsets of the parts, for tests that damage one field.
struct CabTestOffsets {
    size_t coffFiles = 0;
    size_t firstFolder = 0;
    std::vector<size_t> fileRecords;
    std::vector<size_t> unitStarts;
};

Bytes BuildStoredCabinet(const std::vector<CabTestFile>& files, const CabTestLayout& layout = CabTestLayout(),
                         CabTestOffsets* offsets = nullptr);
// The same with MSZIP units: every block "CK" and a deflate stream that ends
// with the block and takes the unit's 32 KB before it as its dictionary, so
// that it refers back into the block before it, as the format allows.
Bytes BuildMszipCabinet(const std::vector<CabTestFile>& files, const CabTestLayout& layout = CabTestLayout(),
                        CabTestOffsets* offsets = nullptr);

// Little-endian reads from a byte buffer.
uint16_t GetU16(const Bytes& bytes, size_t at);
uint32_t GetU32(const Bytes& bytes, size_t at);
