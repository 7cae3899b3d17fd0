#include "tools/fuzz/coverage.h"

#include <cstring>

namespace fuzzcov {

uint8_t g_edges[kMapSize];
ComparedPair g_pairs[kPairSlots];

namespace {

uintptr_t g_previous = 0;
bool g_sawBlock = false;

inline uintptr_t Scramble(uintptr_t value)
{
    uint64_t x = static_cast<uint64_t>(value);
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 32;
    return static_cast<uintptr_t>(x);
}

// Comparisons of small numbers are mostly loop counters and flags, which
// field mutations reach anyway; equal operands have nothing to teach.
inline void Record(uint64_t a, uint64_t b, uint8_t width)
{
    if (a == b || (a < 0x100 && b < 0x100)) {
        return;
    }
    size_t slot = static_cast<size_t>(Scramble(static_cast<uintptr_t>(a * 31 + b)) % kPairSlots);
    g_pairs[slot] = ComparedPair{a, b, width};
}

// Hit counts in classes: 1, 2, 3, 4-7, 8-15, 16-31, 32-127, 128 and more.
uint8_t ClassOf(uint8_t count)
{
    if (count <= 3) {
        return count == 3 ? 4 : count;
    }
    if (count <= 7) {
        return 8;
    }
    if (count <= 15) {
        return 16;
    }
    if (count <= 31) {
        return 32;
    }
    return count <= 127 ? 64 : 128;
}

}  // namespace

bool Instrumented() { return g_sawBlock; }

void ClearEdges()
{
    memset(g_edges, 0, sizeof g_edges);
    g_previous = 0;
}

EdgeHistory::EdgeHistory() { memset(seen_, 0, sizeof seen_); }

bool EdgeHistory::Merge(const uint8_t* edges)
{
    bool fresh = false;
    const uint64_t* words = reinterpret_cast<const uint64_t*>(edges);
    for (size_t w = 0; w < kMapSize / 8; ++w) {
        if (words[w] == 0) {
            continue;
        }
        for (size_t i = w * 8; i < w * 8 + 8; ++i) {
            if (edges[i] == 0) {
                continue;
            }
            uint8_t cls = ClassOf(edges[i]);
            if ((cls & ~seen_[i]) != 0) {
                if (seen_[i] == 0) {
                    ++count_;
                }
                seen_[i] |= cls;
                fresh = true;
            }
        }
    }
    return fresh;
}

const ComparedPair& PairAt(size_t slot) { return g_pairs[slot % kPairSlots]; }

}  // namespace fuzzcov

using fuzzcov::g_edges;

extern "C" {

void __sanitizer_cov_trace_pc(void)
{
    uintptr_t here = fuzzcov::Scramble(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
    ++g_edges[(here ^ fuzzcov::g_previous) & (fuzzcov::kMapSize - 1)];
    fuzzcov::g_previous = here >> 1;
    fuzzcov::g_sawBlock = true;
}

void __sanitizer_cov_trace_cmp1(uint8_t, uint8_t) {}
void __sanitizer_cov_trace_const_cmp1(uint8_t, uint8_t) {}
void __sanitizer_cov_trace_cmp2(uint16_t a, uint16_t b) { fuzzcov::Record(a, b, 2); }
void __sanitizer_cov_trace_const_cmp2(uint16_t a, uint16_t b) { fuzzcov::Record(a, b, 2); }
void __sanitizer_cov_trace_cmp4(uint32_t a, uint32_t b) { fuzzcov::Record(a, b, 4); }
void __sanitizer_cov_trace_const_cmp4(uint32_t a, uint32_t b) { fuzzcov::Record(a, b, 4); }
void __sanitizer_cov_trace_cmp8(uint64_t a, uint64_t b) { fuzzcov::Record(a, b, 8); }
void __sanitizer_cov_trace_const_cmp8(uint64_t a, uint64_t b) { fuzzcov::Record(a, b, 8); }
void __sanitizer_cov_trace_cmpf(float, float) {}
void __sanitizer_cov_trace_cmpd(double, double) {}

// cases[0] is the number of case values, cases[1] their width in bits.
void __sanitizer_cov_trace_switch(uint64_t value, uint64_t* cases)
{
    uint64_t count = cases[0];
    if (count == 0) {
        return;
    }
    uint8_t width = static_cast<uint8_t>(cases[1] / 8);
    fuzzcov::Record(value, cases[2 + value % count], width == 0 ? 1 : width);
}

}  // extern "C"
