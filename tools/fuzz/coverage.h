// Coverage of the instrumented engine, for the fuzzer. The fuzzing build
// compiles the engine with -fsanitize-coverage=trace-pc,trace-cmp: every
// basic block calls __sanitizer_cov_trace_pc and every comparison one of
// the trace_cmp functions. The block calls become edge counts in a map
// (the previous block's hash combined with this one's), and the operands
// of comparisons that failed are kept in a table, so that the mutator can
// put into an input the value the engine compared a field with: a
// signature, a length, a checksum it computed. In the ordinary builds
// nothing calls these functions and the map stays empty.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzcov {

const size_t kMapSize = 1 << 16;

// Edge counts of the input being run; cleared before each.
extern uint8_t g_edges[kMapSize];

// Whether the engine was built with the instrumentation: the map saw a
// block since the process began.
bool Instrumented();

void ClearEdges();

// The edges seen so far over many inputs, in the hit-count classes of one
// byte per edge.
class EdgeHistory {
public:
    EdgeHistory();
    // Merges the map of the input just run; true when it reached an edge,
    // or a count class of an edge, not reached before.
    bool Merge(const uint8_t* edges);
    size_t Count() const { return count_; }

private:
    uint8_t seen_[kMapSize];
    size_t count_ = 0;
};

// One failed comparison: its operands and their width in bytes.
struct ComparedPair {
    uint64_t a;
    uint64_t b;
    uint8_t width;
};

// Pairs recorded recently; slots are taken by the pair's hash, so that a
// loop comparing the same two values does not push out the others.
const size_t kPairSlots = 1024;
extern ComparedPair g_pairs[kPairSlots];
// A recorded pair (width 0 when the slot is empty).
const ComparedPair& PairAt(size_t slot);

}  // namespace fuzzcov
