// A ZIP archive taken apart into its records, for mutations that change
// one thing and keep the rest consistent: a name, an extra block, the
// method and the data, the encryption, the order of the entries. Written
// out again, every length, offset, count and directory size is the one
// the records need, so that the engine gets past its first checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/fuzz/random.h"

namespace fuzzzip {

using Bytes = std::vector<uint8_t>;

struct Entry {
    Bytes local;  // the 30 bytes of the local header
    std::string localName;
    Bytes localExtra;
    Bytes data;
    Bytes descriptor;  // as found behind the data, with or without signature
    Bytes central;     // the 46 bytes of the central header
    std::string name;
    Bytes extra;
    std::string comment;
};

struct Archive {
    Bytes prefix;  // bytes before the first local header
    std::vector<Entry> entries;
    Bytes zip64Record;  // empty, or the record with its extensible data
    Bytes locator;
    Bytes end;  // the 22 bytes of the end record
    std::string comment;
};

// False when the bytes are no archive whose records can all be found.
bool Parse(const uint8_t* bytes, size_t size, Archive& archive);
Bytes Serialize(Archive& archive);

// One change of the kinds listed in zip_model.cpp; false when it had
// nothing to work on.
bool MutateStructure(Archive& archive, Random& random);

// Smaller archives made from this one, each by one cut: an entry, an
// extra field, a comment, half of some data, a long name, the bytes
// before the first entry, the Zip64 records. A finding is cut down with
// them before its bytes are.
std::vector<Bytes> Reductions(const Archive& archive);

// Sets every entry's CRC-32 (and uncompressed size) to what its data
// gives, decrypting with the fuzzing password where it can.
void FixChecksums(Archive& archive);

// Raw deflate data of the bytes, as ZIP entries and MSZIP blocks hold it.
bool RawDeflate(const Bytes& plain, Bytes& packed);

// The password of every encrypted seed and of the entries the mutator
// encrypts; the fuzz targets answer with it.
extern const char kPassword[];

}  // namespace fuzzzip
