// Compression of files into the raw deflate data of new ZIP entries: one
// file on the calling thread, or a list of files on a pool of worker
// threads whose results reach the calling thread in list order, so that an
// archive comes out byte for byte the same whatever the number of workers.
#pragma once

#include <windows.h>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "archive/zip_records.h"
#include "archive/zlib_binding.h"
#include "common/handles.h"
#include "common/wstring.h"

// One file read and deflated, or the reason it could not be.
struct CompressedFile {
    bool ok = false;
    WString errorText;
    // System calls that failed without stopping the file, with their error
    // codes, to be reported by the thread that owns the windows.
    std::vector<std::pair<const char*, DWORD>> apiFailures;
    FILETIME created{};
    FILETIME accessed{};
    FILETIME written{};
    WORD dosDate = 0;
    WORD dosTime = 0;
    DWORD attributes = 0;
    // A folder has nothing to deflate, and a file that deflate does not make
    // smaller is kept as it is: their entries are stored.
    uint16_t method = zip::kMethodDeflate;
    uint32_t size = 0;
    uint32_t crc = 0;
    // The entry's data: the raw deflate data (compress2's output without the
    // zlib header and the Adler-32 trailer), or the file's own bytes for a
    // stored entry. The block may be larger than rawLength.
    std::unique_ptr<uint8_t[]> raw;
    uint32_t rawLength = 0;
    // Bytes of memory the block holds.
    uint64_t held = 0;
};

// A file opened for compression, with its times and size.
struct OpenedFile {
    ScopedFile file;
    CompressedFile result;
    uint64_t fileSize = 0;
};

// Opens a file and reads its times and size; result.errorText says why it
// failed. Safe on any thread.
OpenedFile OpenForCompression(const WString& path);
// A folder as the entry that stands for it: its attributes and the DOS time
// of its last write, no data. Safe on any thread.
CompressedFile DescribeFolder(const WString& path);
// Reads the opened file and deflates it at the zlib level; when that is not
// smaller than the file, the file is stored. Safe on any thread: each call
// has streams of its own.
CompressedFile CompressOpened(OpenedFile& opened, const ZlibBinding& zlib, int level);
// The most memory compressing a file of that size holds at once: the file
// and compress2's output buffer.
uint64_t CompressionFootprint(const ZlibBinding& zlib, uint64_t fileSize);

// Compresses files on worker threads. The bytes read or compressed and not
// yet taken by the calling thread stay within a budget; a file larger than
// the budget is admitted alone, when nothing else is held.
class ParallelCompressor {
public:
    static const uint64_t kDefaultBudget = 256ull << 20;
    // One worker per active processor.
    static int DefaultWorkers();

    ParallelCompressor(const ZlibBinding& zlib, int level, int workers, uint64_t budget);
    ~ParallelCompressor();
    ParallelCompressor(const ParallelCompressor&) = delete;
    ParallelCompressor& operator=(const ParallelCompressor&) = delete;

    // Called on the calling thread for every file in list order; returning
    // false stops the run.
    using Consumer = std::function<bool(size_t index, CompressedFile& file)>;
    // Compresses every path and hands each result to consume. Waiting pumps
    // the thread's messages, so its windows stay alive. Returns false when
    // consume stopped the run; the workers are stopped before it returns.
    bool Run(const std::vector<WString>& paths, const Consumer& consume);

    // The most bytes held at once during the last run.
    uint64_t PeakHeld() const { return peakHeld_; }

private:
    struct Slot {
        bool ready = false;
        CompressedFile file;
    };

    void Work();
    // Waits until file index may take need bytes: its turn has come and the
    // budget has room (or nothing is held); false when the run stops.
    bool Admit(size_t index, uint64_t need);
    void Release(uint64_t bytes);
    void Finish(size_t index, CompressedFile&& file);
    void Stop();

    const ZlibBinding& zlib_;
    int level_;
    int workers_;
    uint64_t budget_;

    std::mutex lock_;
    std::condition_variable changed_;
    ScopedKernelHandle resultReady_;
    const std::vector<WString>* paths_ = nullptr;
    std::vector<Slot> slots_;
    size_t nextTaken_ = 0;
    size_t nextAdmitted_ = 0;
    bool stopping_ = false;
    uint64_t held_ = 0;
    uint64_t peakHeld_ = 0;
};
