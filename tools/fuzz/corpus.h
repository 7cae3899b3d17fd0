// The inputs of one target that reached something new, in memory and in
// a folder of their own (named by their hash), so that a run started
// again after a finding goes on from where the last one was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "common/wstring.h"
#include "tools/fuzz/random.h"

using Input = std::vector<uint8_t>;

uint64_t HashOf(const uint8_t* data, size_t size);
// Sixteen hexadecimal digits.
WString HashName(uint64_t hash);

// Every file of a folder (not below it), at most maxLength bytes of each.
std::vector<Input> ReadFolder(const WString& folder, size_t maxLength, std::vector<WString>* names = nullptr);
bool ReadFileBytes(const WString& path, size_t maxLength, Input& bytes);
bool WriteFileBytes(const WString& path, const Input& bytes);

class Corpus {
public:
    explicit Corpus(const WString& folder) : folder_(folder) {}

    // Adds an input not held yet; saved to the folder when asked.
    bool Add(const Input& input, bool save);
    size_t Count() const { return inputs_.size(); }
    // Newer inputs are picked more often: they reached what the older did
    // not, and what lies behind them is least explored.
    const Input& Pick(Random& random) const;
    const Input& At(size_t i) const { return inputs_[i]; }

private:
    WString folder_;
    std::vector<Input> inputs_;
    std::set<uint64_t> hashes_;
};
