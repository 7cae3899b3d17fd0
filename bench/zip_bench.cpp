// Compares the ZIP engine with plain zlib loops on the same files: folder
// compression (with one worker thread and with one per processor) against a
// single-threaded loop that only reads and calls compress2, whole
// archive extraction against a loop that only inflates (or reads a stored
// entry as it is) and checks CRC-32,
// and against the same loop that also creates and writes each file (the
// least any extraction must do). Every step runs once, on files that have
// just been read, so the cache is warm for both sides.
// Usage: zip_bench.exe [megabytes]   (default 150)
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip_compress.h"
#include "archive/zip_records.h"
#include "archive/zipfile.h"
#include "bench/bench_support.h"
#include "common/paths.h"

using namespace bench;

int wmain(int argc, wchar_t** argv)
{
    size_t megabytes = argc > 1 ? static_cast<size_t>(_wtoi(argv[1])) : 150;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    WString zlibPath = JoinPath(ParentDir(WString(self)), WString(ZlibLibraryName()));
    WString work = FreshWorkFolder(L"zpkbench");
    WString corpus = JoinPath(work, WString(L"corpus"));
    std::vector<WString> files = MakeCorpus(corpus, megabytes);
    printf("corpus: %u files, about %u MB\n", static_cast<unsigned>(files.size()), static_cast<unsigned>(megabytes));

    ZlibBinding zlib;
    zlib.Load(zlibPath);
    zlib.Bind();
    int level = ReadZipLevel();
    Stopwatch watch;
    auto begin = [&] { watch.Start(); };
    auto end = [&] { return watch.Stop(); };

    // Reference: read each file and compress it, nothing else.
    WarmUp(files);
    begin();
    uint64_t packedTotal = 0;
    for (const WString& path : files) {
        std::string data = ReadBytes(path);
        uint32_t bound = zlib.CompressBound(static_cast<uint32_t>(data.size()));
        std::unique_ptr<uint8_t[]> out(new uint8_t[bound]);
        uint32_t length = bound;
        zlib.Compress2(out.get(), length, reinterpret_cast<const uint8_t*>(data.data()),
                       static_cast<uint32_t>(data.size()), level);
        packedTotal += length;
    }
    Span compressLoop = end();

    // The engine: the corpus folder into a new archive, commit included, as
    // a dropped folder with one worker and with one per processor, and as
    // the folder compression of the setup tool (progress window).
    struct EngineRun {
        const char* what;
        int workers;
        bool withProgress;
        Span span;
        uint64_t held;
    };
    int cores = ParallelCompressor::DefaultWorkers();
    EngineRun runs[] = {{"engine, 1 worker", 1, false, {}, 0},
                        {"engine, all workers", cores, false, {}, 0},
                        {"engine, all workers, progress window", cores, true, {}, 0}};
    WString archivePath = JoinPath(work, WString(L"bench.zip"));
    for (EngineRun& run : runs) {
        DeleteFileW(archivePath.c_str());
        WarmUp(files);
        begin();
        {
            CZipFile archive(archivePath, zlibPath);
            archive.SetCompressionWorkers(run.workers);
            if (!archive.Add(corpus, WString(), run.withProgress ? 101 : -1)) {
                printf("add failed\n");
                return 1;
            }
            run.held = archive.PeakCompressionHeld();
        }
        run.span = end();
    }
    // The progress path first opens every file for its size, so that a file
    // that cannot be read stops the compression before it starts.
    begin();
    {
        CZipFile archive(archivePath, zlibPath);
        archive.CollectFiles(corpus);
    }
    Span collection = end();

    // Reference: inflate every entry and check its CRC-32, once alone and
    // once also creating each file (its folders first) and writing it, as
    // any extraction must. Each loop is timed as a whole; the cost of the
    // files is the difference. The engine later writes the same tree to a
    // folder of its own.
    WarmUp(std::vector<WString>{archivePath});
    WIN32_FILE_ATTRIBUTE_DATA archiveData{};
    GetFileAttributesExW(archivePath.c_str(), GetFileExInfoStandard, &archiveData);
    uint64_t archiveSize = (static_cast<uint64_t>(archiveData.nFileSizeHigh) << 32) | archiveData.nFileSizeLow;
    begin();
    CZipFileEnum reader(archivePath, false);
    Span directory = end();
    auto inflateLoop = [&](const WString& folder) {
        HANDLE h = CreateFileW(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (!folder.IsEmpty()) {
            CreateDirectoryW(folder.c_str(), nullptr);
        }
        for (int i = 0; i < reader.Entries().Count(); ++i) {
            const ArcEntry& entry = reader.Entries().ValueAt(i);
            WString target =
                folder.IsEmpty() ? WString() : JoinPath(folder, reader.Entries().Name(i).ReplaceAll(L'/', L'\\'));
            if (entry.externalAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!folder.IsEmpty()) {
                    CreateDirectoryW(target.Left(target.Length() - 1).c_str(), nullptr);
                }
                continue;
            }
            zip::LocalHeader local;
            DWORD done = 0;
            LARGE_INTEGER at;
            at.QuadPart = static_cast<LONGLONG>(entry.headerOffset);
            SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
            ReadFile(h, &local, sizeof local, &done, nullptr);
            at.QuadPart += sizeof local + local.nameLength + local.extraLength;
            SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
            std::unique_ptr<uint8_t[]> out(new uint8_t[entry.size + 1]);
            uint32_t length = static_cast<uint32_t>(entry.size);
            if (entry.method == zip::kMethodStored) {
                // Data that deflate did not shrink is stored and read as it is.
                ReadFile(h, out.get(), length, &done, nullptr);
            } else {
                std::unique_ptr<uint8_t[]> in(new uint8_t[entry.packedSize + 6]);
                memcpy(in.get(), kZlibHeader, 2);
                ReadFile(h, in.get() + 2, static_cast<DWORD>(entry.packedSize), &done, nullptr);
                memset(in.get() + 2 + entry.packedSize, 0, 4);
                zlib.Uncompress(out.get(), length, in.get(), static_cast<uint32_t>(entry.packedSize + 6));
            }
            if (zlib.Crc32(out.get(), length) != entry.crc32) {
                printf("CRC mismatch in the reference loop\n");
            }
            if (!folder.IsEmpty()) {
                HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
                WriteFile(file, out.get(), length, &done, nullptr);
                CloseHandle(file);
            }
        }
        CloseHandle(h);
    };
    begin();
    inflateLoop(WString());
    Span inflateOnly = end();
    begin();
    inflateLoop(JoinPath(work, WString(L"reference")));
    Span inflateAndFiles = end();
    Span fileLoop{inflateAndFiles.wall - inflateOnly.wall, inflateAndFiles.cpu - inflateOnly.cpu};

    WString dest = JoinPath(work, WString(L"out"));
    begin();
    {
        CZipFile archive(archivePath, zlibPath);
        if (!archive.Extract(dest, WString(), false)) {
            printf("extract failed\n");
            return 1;
        }
    }
    Span extractEngine = end();

    printf("compressed size: %llu bytes (loop), archive %llu bytes (engine)\n",
           static_cast<unsigned long long>(packedTotal), static_cast<unsigned long long>(archiveSize));
    printf("compress (engine: whole folder into a new archive, %d processors)\n", cores);
    PrintLine("loop: read + compress2, one thread", compressLoop);
    for (const EngineRun& run : runs) {
        PrintLine(run.what, run.span);
        printf("    ratio to the loop %.3f (wall), %.3f (cpu); workers held at most %.1f MB\n",
               run.span.wall / compressLoop.wall, run.span.cpu / compressLoop.cpu, run.held / 1048576.0);
    }
    PrintLine("  progress path: opening every file for its size", collection);
    printf("  progress path: the window keeps its last text for 0.50 s\n");
    printf("extract (engine: whole archive into a new folder)\n");
    PrintLine("engine", extractEngine);
    PrintLine("  of which reading the directory (about)", directory);
    PrintLine("loop: inflate + CRC-32", inflateOnly);
    PrintLine("loop: inflate + CRC-32 + create, write, close", inflateAndFiles);
    PrintLine("  of which creating and writing the files", fileLoop);
    printf("  ratio to inflate + CRC-32 alone %.3f (wall), %.3f (cpu)\n", extractEngine.wall / inflateOnly.wall,
           extractEngine.cpu / inflateOnly.cpu);
    printf("  ratio to inflate + CRC-32 + files %.3f (wall), %.3f (cpu)\n", extractEngine.wall / inflateAndFiles.wall,
           extractEngine.cpu / inflateAndFiles.cpu);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    printf("peak memory of the process: %.1f MB private, %.1f MB working set\n",
           memory.PeakPagefileUsage / 1048576.0, memory.PeakWorkingSetSize / 1048576.0);
    CArcFile::DeleteFolderContents(work);
    RemoveDirectoryW(work.c_str());
    return 0;
}
