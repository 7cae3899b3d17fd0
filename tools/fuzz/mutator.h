// Makes the next input from one of the corpus: changes of bytes (bit
// flips, set bytes, interesting numbers, additions, erased, inserted and
// repeated runs, cuts), splices with a second input, values the engine
// was seen to compare with, changes of record fields found by their
// signatures (sizes, offsets, counts, lengths, methods, flags, the AES
// block's strength and version, a unit's type), and the structural
// changes of zip_model.h and cab_model.h. Several are stacked on one
// input; afterwards the checksums may be set right again, so that the
// data gets past them into the decoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/fuzz/random.h"

enum class InputKind { kZip, kCab };

class Mutator {
public:
    explicit Mutator(uint64_t seed) : random_(seed) {}

    void Mutate(std::vector<uint8_t>& data, const std::vector<uint8_t>& other, size_t maxLength, InputKind kind);
    Random& Randomness() { return random_; }

private:
    void MutateBytes(std::vector<uint8_t>& data, const std::vector<uint8_t>& other, size_t maxLength);
    bool MutateField(std::vector<uint8_t>& data, InputKind kind);
    bool MutateStructure(std::vector<uint8_t>& data, InputKind kind, bool fixChecksums);
    bool UseComparison(std::vector<uint8_t>& data);

    Random random_;
};
