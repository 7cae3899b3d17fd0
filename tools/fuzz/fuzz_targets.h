// The fuzz targets: each takes one input, puts it where the engine reads
// archives from (a file in the scratch folder), and runs one parser of
// untrusted bytes on it as the programs do. Whatever the bytes, a target
// must end, within the time and memory limits, without touching a file
// outside the scratch folder; where a target can tell that the engine
// broke a promise (a commit that lost the archive), it says so.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/wstring.h"
#include "tools/fuzz/mutator.h"

struct TargetContext {
    WString scratch;      // the scratch folder
    WString zipPath;      // where the ZIP targets put their input
    WString cabPath;      // and the cabinet targets theirs
    WString output;       // the extraction folder
    WString reportPath;   // the structural report
    WString zlibPath;     // the zlib library beside the program
    // Bits taken from the input's bytes that choose between variants of a
    // target (the answer to a question, a change behind the commit's back),
    // so that the same input always takes the same way.
    uint64_t variant = 0;
};

struct FuzzTarget {
    const char* name;
    InputKind kind;
    void (*run)(TargetContext& context, const uint8_t* data, size_t size);
};

// Every target, in a fixed order (the driver's figures name them by it).
const FuzzTarget* Targets();
int TargetCount();
const FuzzTarget* FindTarget(const char* name);

// Installs the answers of the fuzzing run: every box acknowledged, every
// question answered from the variant bits, the fuzzing password for every
// encrypted entry. Once per process.
void InstallTargetAnswers(TargetContext& context);
