// The fuzzer's random numbers: one seeded generator per run, so that a
// run with the same seed and corpus makes the same inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL) {}

    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // A number below limit; 0 when limit is 0.
    size_t Below(size_t limit) { return limit == 0 ? 0 : static_cast<size_t>(Next() % limit); }
    bool OneIn(size_t n) { return Below(n) == 0; }
    // Small numbers far more often than large ones, below limit: the number
    // of bits is itself skewed towards few.
    size_t Skewed(size_t limit)
    {
        size_t bits = Below(Below(24) + 1);
        size_t value = static_cast<size_t>(Next() & ((size_t(1) << bits) - 1));
        return limit == 0 ? 0 : value % limit;
    }
    template <typename T>
    const T& Pick(const std::vector<T>& items)
    {
        return items[Below(items.size())];
    }

private:
    uint64_t state_;
};

namespace fuzzbytes {

inline void Put(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int width)
{
    for (int i = 0; i < width && at + i < bytes.size(); ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

inline uint64_t Get(const uint8_t* bytes, size_t size, size_t at, int width)
{
    uint64_t value = 0;
    for (int i = 0; i < width && at + i < size; ++i) {
        value |= static_cast<uint64_t>(bytes[at + i]) << (8 * i);
    }
    return value;
}

inline void Append(std::vector<uint8_t>& bytes, uint64_t value, int width)
{
    for (int i = 0; i < width; ++i) {
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

// Entry names that a hostile archive uses: ways out of the destination,
// device and stream names, what Windows trims or refuses, very long and
// very deep paths, names in other encodings, control characters.
const std::vector<std::string>& HostileNames();

}  // namespace fuzzbytes
