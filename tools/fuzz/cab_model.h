// A cabinet taken apart into its records, for mutations that keep it
// consistent: names, file records, units of every compression type with
// data blocks the library can be handed, reserve areas, the names of a
// set. Written out again, offsets, counts and the cabinet size are the
// ones the records need, and the block checksums are right unless a
// mutation means them to be wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/fuzz/random.h"

namespace fuzzcab {

using Bytes = std::vector<uint8_t>;

struct Block {
    uint32_t csum = 0;
    uint16_t uncompressed = 0;
    Bytes reserve;
    Bytes data;
    // A checksum written as it was read, not computed.
    bool keepChecksum = false;
};

struct Unit {
    uint16_t type = 0;
    Bytes reserve;
    std::vector<Block> blocks;
};

struct FileRecord {
    uint32_t size = 0;
    uint32_t offset = 0;
    uint16_t unit = 0;
    uint16_t date = 0;
    uint16_t time = 0;
    uint16_t attribs = 0;
    std::string name;
};

struct Cabinet {
    Bytes header;  // the 36 fixed bytes
    bool reservePresent = false;
    Bytes headerReserve;
    uint8_t unitReserve = 0;
    uint8_t blockReserve = 0;
    std::string setNames[4];  // previous cabinet and disk, next cabinet and disk
    std::vector<Unit> units;
    std::vector<FileRecord> files;
};

bool Parse(const uint8_t* bytes, size_t size, Cabinet& cabinet);
Bytes Serialize(const Cabinet& cabinet);
// One change of the kinds listed in cab_model.cpp; false when it had
// nothing to work on.
bool MutateStructure(Cabinet& cabinet, Random& random);
// Smaller cabinets made from this one, each by one cut: a file record, a
// unit, a data block, half of a block's data, a long name, the reserve
// areas, the names of a set.
std::vector<Bytes> Reductions(const Cabinet& cabinet);

}  // namespace fuzzcab
