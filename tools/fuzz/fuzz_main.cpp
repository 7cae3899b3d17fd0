// zpkfuzz: the engine's parsers fed hostile archives in one process, many
// thousand a second. tools/fuzz/fuzz.py makes the seeds, starts it under
// Wine, starts it again after each finding and keeps the findings.
//
//   zpkfuzz run --work DIR --seeds DIR [--targets A,B] [--seconds N | --inputs N]
//               [--seed N] [--slice-ms N] [--max-len N] [--timeout-ms N] [--memory-mb N]
//               [--memory-ratio N] [--guard-from N] [--skip FILE]
//   zpkfuzz replay --work DIR [--guard-from N] FOLDER...
//   zpkfuzz targets
//   zpkfuzz reduce zip|cab FILE FOLDER
//
// run mutates the corpus of each target in turn, a slice of time each, and
// keeps in DIR\corpus\TARGET every input that reached an edge not reached
// before (in the instrumented build; elsewhere the corpus stays the seeds).
// replay runs every file of FOLDER\TARGET for each target once, with every
// heap block guarded. A finding ends the process with exit code 100 + its
// kind (see crash_watch.h); otherwise it ends with 0. reduce writes into
// FOLDER the smaller archives that one structural cut each makes of FILE,
// for the driver's minimisation of a finding.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

#include "archive/arcfile.h"
#include "archive/zlib_binding.h"
#include "common/handles.h"
#include "common/paths.h"
#include "tools/fuzz/checking_heap.h"
#include "tools/fuzz/corpus.h"
#include "tools/fuzz/coverage.h"
#include "tools/fuzz/crash_watch.h"
#include "tools/fuzz/fuzz_targets.h"
#include "tools/fuzz/mutator.h"
#include "tools/fuzz/system_hooks.h"
#include "tools/fuzz/cab_model.h"
#include "tools/fuzz/zip_model.h"

namespace {

struct Options {
    std::wstring command;
    WString work;
    WString seeds;
    std::vector<std::string> targets;
    double seconds = 60;
    uint64_t inputs = 0;
    uint64_t seed = 1;
    DWORD sliceMs = 2000;
    size_t maxLength = 16 * 1024;
    DWORD timeoutMs = 10000;
    // An input may make the engine hold this much at once, and this many
    // times its own length more: what a deflate stream of that length can
    // decode to at most (1032 times), and room besides. More is an
    // allocation that follows a claim in the bytes instead of the bytes.
    size_t memoryMb = 32;
    size_t memoryRatio = 1100;
    size_t guardFrom = 4096;
    bool guardGiven = false;
    WString skipFile;
    std::vector<WString> folders;
};

struct TargetRun {
    const FuzzTarget* target;
    int index;
    Corpus corpus;
    fuzzcov::EdgeHistory history;
    uint64_t findingsSkipped = 0;
    TargetRun(const FuzzTarget* t, int i, const WString& folder) : target(t), index(i), corpus(folder) {}
};

TargetContext g_context;
size_t g_memoryBase = 0;
size_t g_memoryRatio = 0;
// Inputs of findings kept by the driver: an input that the mutator makes
// again is not run again.
std::unordered_set<uint64_t> g_skip;

void OnLimit(size_t requested, size_t live)
{
    char text[200];
    snprintf(text, sizeof text, "a request for %llu bytes with %llu bytes live passes the limit",
             static_cast<unsigned long long>(requested), static_cast<unsigned long long>(live));
    fuzzwatch::Report(fuzzwatch::kMemoryLimit, text);
}

void OnDamage(const char* what, const void* block)
{
    char text[200];
    snprintf(text, sizeof text, "%s (block %p)", what, block);
    fuzzwatch::Report(fuzzwatch::kHeapDamage, text);
}

void OnEscape(const char* call, const wchar_t* path)
{
    char text[900];
    snprintf(text, sizeof text, "%s outside the scratch folder: %ls", call, path);
    fuzzwatch::Report(fuzzwatch::kEscape, text);
}

bool ParseOptions(int argc, wchar_t** argv, Options& options)
{
    if (argc < 2) {
        return false;
    }
    options.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::wstring word = argv[i];
        auto value = [&]() -> std::wstring { return i + 1 < argc ? argv[++i] : L""; };
        if (word == L"--work") {
            options.work = value().c_str();
        } else if (word == L"--seeds") {
            options.seeds = value().c_str();
        } else if (word == L"--targets") {
            std::wstring list = value();
            size_t start = 0;
            while (start <= list.size()) {
                size_t comma = list.find(L',', start);
                std::wstring name = list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
                options.targets.push_back(std::string(name.begin(), name.end()));
                if (comma == std::wstring::npos) {
                    break;
                }
                start = comma + 1;
            }
        } else if (word == L"--seconds") {
            options.seconds = _wtof(value().c_str());
        } else if (word == L"--inputs") {
            options.inputs = _wcstoui64(value().c_str(), nullptr, 10);
        } else if (word == L"--seed") {
            options.seed = _wcstoui64(value().c_str(), nullptr, 10);
        } else if (word == L"--slice-ms") {
            options.sliceMs = static_cast<DWORD>(_wtoi(value().c_str()));
        } else if (word == L"--max-len") {
            options.maxLength = static_cast<size_t>(_wtoi(value().c_str()));
        } else if (word == L"--timeout-ms") {
            options.timeoutMs = static_cast<DWORD>(_wtoi(value().c_str()));
        } else if (word == L"--memory-mb") {
            options.memoryMb = static_cast<size_t>(_wtoi(value().c_str()));
        } else if (word == L"--memory-ratio") {
            options.memoryRatio = static_cast<size_t>(_wtoi(value().c_str()));
        } else if (word == L"--guard-from") {
            options.guardFrom = static_cast<size_t>(_wcstoui64(value().c_str(), nullptr, 10));
            options.guardGiven = true;
        } else if (word == L"--skip") {
            options.skipFile = value().c_str();
        } else if (word.rfind(L"--", 0) == 0) {
            fprintf(stderr, "zpkfuzz: unknown option %ls\n", word.c_str());
            return false;
        } else {
            options.folders.push_back(WString(word.c_str()));
        }
    }
    return !options.work.IsEmpty();
}

void ReadSkipList(const WString& path)
{
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return;
    }
    std::string bytes(1 << 20, '\0');
    DWORD got = 0;
    ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    bytes.resize(got);
    for (size_t at = 0; at + 16 <= bytes.size();) {
        g_skip.insert(strtoull(bytes.substr(at, 16).c_str(), nullptr, 16));
        size_t next = bytes.find('\n', at);
        if (next == std::string::npos) {
            break;
        }
        at = next + 1;
    }
}

bool Skipped(const Input& input) { return g_skip.count(HashOf(input.data(), input.size())) != 0; }

bool Prepare(const Options& options)
{
    CreateDirectoryW(options.work.c_str(), nullptr);
    WString scratch = JoinPath(options.work, WString(L"scratch"));
    CreateDirectoryW(scratch.c_str(), nullptr);
    CArcFile::DeleteFolderContents(scratch);
    WString temp = JoinPath(scratch, WString(L"temp"));
    CreateDirectoryW(temp.c_str(), nullptr);
    // The engine's work folder lies in the temporary folder: in the scratch
    // folder here.
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    g_context.scratch = scratch;
    g_context.zipPath = JoinPath(scratch, WString(L"input.zip"));
    g_context.cabPath = JoinPath(scratch, WString(L"input.cab"));
    g_context.output = JoinPath(scratch, WString(L"out"));
    g_context.reportPath = JoinPath(scratch, WString(L"report.txt"));
    g_context.zlibPath = ZlibBesideProgram();
    CreateDirectoryW(g_context.output.c_str(), nullptr);
    CreateDirectoryW(JoinPath(options.work, WString(L"corpus")).c_str(), nullptr);

    fuzzheap::Settings heap;
    heap.guardFrom = options.guardFrom;
    heap.onLimit = OnLimit;
    heap.onDamage = OnDamage;
    fuzzheap::Configure(heap);
    g_memoryBase = options.memoryMb << 20;
    g_memoryRatio = options.memoryRatio;
    if (!fuzzwatch::Start(JoinPath(options.work, WString(L"state.bin")).c_str(), options.maxLength,
                          options.timeoutMs)) {
        fprintf(stderr, "zpkfuzz: cannot map the state file in %ls\n", options.work.c_str());
        return false;
    }
    if (!fuzzhooks::Install(scratch.c_str(), OnEscape)) {
        fprintf(stderr, "zpkfuzz: cannot watch the file and heap calls\n");
        return false;
    }
    fuzzhooks::WatchFolder(g_context.output.c_str());
    InstallTargetAnswers(g_context);
    if (!options.skipFile.IsEmpty()) {
        ReadSkipList(options.skipFile);
    }
    return true;
}

double g_ticksPerMicrosecond = 0;

uint64_t Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart);
}

// Runs one input; true when it reached something new.
bool RunOne(TargetRun& run, const Input& input, const char* name)
{
    g_context.variant = HashOf(input.data(), input.size());
    fuzzwatch::Begin(static_cast<uint32_t>(run.index), input.data(), input.size(), name);
    fuzzcov::ClearEdges();
    fuzzheap::ResetPeak();
    fuzzheap::SetLimit(g_memoryBase + g_memoryRatio * input.size());
    size_t liveBefore = fuzzheap::LiveBytes();
    uint64_t started = Now();
    fuzzheap::Arm(true);
    fuzzhooks::Arm(true);
    run.target->run(g_context, input.data(), input.size());
    fuzzhooks::Arm(false);
    fuzzheap::Arm(false);
    uint64_t elapsed = Now() - started;
    fuzzwatch::TargetCounters& counters = fuzzwatch::Current().counters[run.index];
    counters.inputs += 1;
    counters.microseconds += static_cast<uint64_t>(static_cast<double>(elapsed) / g_ticksPerMicrosecond);
    size_t peak = fuzzheap::PeakBytes() - liveBefore;
    if (peak > counters.peakBytes) {
        counters.peakBytes = peak;
    }
    fuzzwatch::End();
    bool fresh = run.history.Merge(fuzzcov::g_edges);
    counters.edges = run.history.Count();
    return fresh;
}

std::vector<TargetRun*> ChosenTargets(const Options& options)
{
    std::vector<TargetRun*> runs;
    for (int i = 0; i < TargetCount(); ++i) {
        const FuzzTarget* target = &Targets()[i];
        bool chosen = options.targets.empty();
        for (const std::string& name : options.targets) {
            chosen = chosen || name == target->name;
        }
        if (chosen) {
            WString folder = JoinPath(JoinPath(options.work, WString(L"corpus")), WString::FromAnsi(target->name));
            CreateDirectoryW(folder.c_str(), nullptr);
            runs.push_back(new TargetRun(target, i, folder));
        }
    }
    return runs;
}

void PrintLine(const std::vector<TargetRun*>& runs, double seconds, bool final)
{
    uint64_t total = 0;
    for (TargetRun* run : runs) {
        total += fuzzwatch::Current().counters[run->index].inputs;
    }
    printf("%s%7.0f s  %llu inputs (%.0f/s)", final ? "done " : "", seconds, static_cast<unsigned long long>(total),
           seconds > 0 ? static_cast<double>(total) / seconds : 0.0);
    for (TargetRun* run : runs) {
        const fuzzwatch::TargetCounters& c = fuzzwatch::Current().counters[run->index];
        double busy = static_cast<double>(c.microseconds) / 1e6;
        printf(" | %s %.0f/s c%llu e%llu", run->target->name, busy > 0 ? static_cast<double>(c.inputs) / busy : 0.0,
               static_cast<unsigned long long>(run->corpus.Count()), static_cast<unsigned long long>(c.edges));
    }
    printf("\n");
    fflush(stdout);
}

int Run(const Options& options)
{
    std::vector<TargetRun*> runs = ChosenTargets(options);
    if (runs.empty()) {
        fprintf(stderr, "zpkfuzz: no such target\n");
        return 2;
    }
    uint64_t began = Now();
    auto seconds = [&]() { return static_cast<double>(Now() - began) / g_ticksPerMicrosecond / 1e6; };
    // The seeds and the corpus of earlier runs come first: each is run once,
    // and kept.
    for (TargetRun* run : runs) {
        WString kind = run->target->kind == InputKind::kZip ? L"zip" : L"cab";
        std::vector<Input> inputs = ReadFolder(JoinPath(options.seeds, kind), options.maxLength);
        for (const Input& input : ReadFolder(JoinPath(JoinPath(options.work, WString(L"corpus")),
                                                      WString::FromAnsi(run->target->name)),
                                             options.maxLength)) {
            inputs.push_back(input);
        }
        for (const Input& input : inputs) {
            if (Skipped(input)) {
                ++run->findingsSkipped;
                continue;
            }
            RunOne(*run, input, nullptr);
            run->corpus.Add(input, false);
        }
        fuzzwatch::Current().counters[run->index].corpus = run->corpus.Count();
    }
    printf("zpkfuzz: %s build, %zu targets, seeds and corpus run in %.1f s\n",
           fuzzcov::Instrumented() ? "instrumented" : "uninstrumented", runs.size(), seconds());
    Mutator mutator(options.seed);
    Random& random = mutator.Randomness();
    double lastLine = seconds();
    uint64_t perTarget = options.inputs;
    for (bool going = true; going;) {
        going = false;
        for (TargetRun* run : runs) {
            if (run->corpus.Count() == 0) {
                continue;
            }
            uint64_t sliceEnd = Now() + static_cast<uint64_t>(options.sliceMs * 1000.0 * g_ticksPerMicrosecond);
            fuzzwatch::TargetCounters& counters = fuzzwatch::Current().counters[run->index];
            for (uint64_t n = 0;; ++n) {
                if (perTarget ? n >= perTarget : (Now() >= sliceEnd || seconds() >= options.seconds)) {
                    break;
                }
                Input input = run->corpus.Pick(random);
                const Input& other = run->corpus.Pick(random);
                mutator.Mutate(input, other, options.maxLength, run->target->kind);
                if (Skipped(input)) {
                    continue;
                }
                if (RunOne(*run, input, nullptr) && run->corpus.Add(input, true)) {
                    counters.corpus = run->corpus.Count();
                }
                if (seconds() - lastLine >= 10) {
                    lastLine = seconds();
                    PrintLine(runs, lastLine, false);
                }
            }
            going = !perTarget && seconds() < options.seconds;
        }
    }
    PrintLine(runs, seconds(), true);
    fuzzwatch::Current().status = fuzzwatch::kFinished;
    return 0;
}

int Replay(const Options& options)
{
    std::vector<TargetRun*> runs = ChosenTargets(options);
    printf("zpkfuzz: replaying the inputs of %zu targets\n", runs.size());
    fflush(stdout);
    size_t replayed = 0;
    for (const WString& folder : options.folders) {
        for (TargetRun* run : runs) {
            std::vector<WString> names;
            WString below = JoinPath(folder, WString::FromAnsi(run->target->name));
            std::vector<Input> inputs = ReadFolder(below, options.maxLength, &names);
            for (size_t i = 0; i < inputs.size(); ++i) {
                std::string shown = std::string(run->target->name) + "\\" + names[i].ToUtf8().c_str();
                RunOne(*run, inputs[i], shown.c_str());
                ++replayed;
            }
        }
    }
    printf("zpkfuzz: %zu inputs replayed, none crashed, hung or passed a limit\n", replayed);
    fuzzwatch::Current().status = fuzzwatch::kFinished;
    return 0;
}

int Reduce(const std::wstring& kind, const wchar_t* file, const wchar_t* folder)
{
    Input data;
    if (!ReadFileBytes(WString(file), 1 << 24, data)) {
        fprintf(stderr, "zpkfuzz: cannot read %ls\n", file);
        return 2;
    }
    std::vector<Input> smaller;
    if (kind == L"zip") {
        fuzzzip::Archive archive;
        if (fuzzzip::Parse(data.data(), data.size(), archive)) {
            smaller = fuzzzip::Reductions(archive);
        }
    } else {
        fuzzcab::Cabinet cabinet;
        if (fuzzcab::Parse(data.data(), data.size(), cabinet)) {
            smaller = fuzzcab::Reductions(cabinet);
        }
    }
    CreateDirectoryW(folder, nullptr);
    size_t written = 0;
    for (const Input& candidate : smaller) {
        if (candidate.size() <= data.size() && candidate != data) {
            wchar_t name[16];
            wsprintfW(name, L"%06u", static_cast<unsigned>(written++));
            WriteFileBytes(JoinPath(WString(folder), WString(name)), candidate);
        }
    }
    printf("%zu\n", written);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && std::wstring(argv[1]) == L"targets") {
        for (int i = 0; i < TargetCount(); ++i) {
            printf("%s %s\n", Targets()[i].name, Targets()[i].kind == InputKind::kZip ? "zip" : "cab");
        }
        return 0;
    }
    if (argc == 5 && std::wstring(argv[1]) == L"reduce") {
        return Reduce(argv[2], argv[3], argv[4]);
    }
    Options options;
    if (!ParseOptions(argc, argv, options) || (options.command != L"run" && options.command != L"replay")) {
        fprintf(stderr,
                "usage: zpkfuzz run --work DIR --seeds DIR [--targets A,B] [--seconds N | --inputs N] [--seed N]\n"
                "                   [--slice-ms N] [--max-len N] [--timeout-ms N] [--memory-mb N]\n"
                "                   [--memory-ratio N] [--guard-from N] [--skip FILE]\n"
                "       zpkfuzz replay --work DIR [--targets A,B] [--guard-from N] FOLDER...\n"
                "       zpkfuzz targets\n"
                "       zpkfuzz reduce zip|cab FILE FOLDER\n");
        return 2;
    }
    if (options.command == L"replay" && !options.guardGiven) {
        options.guardFrom = 0;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_ticksPerMicrosecond = static_cast<double>(frequency.QuadPart) / 1e6;
    if (!Prepare(options)) {
        return 2;
    }
    return options.command == L"run" ? Run(options) : Replay(options);
}
