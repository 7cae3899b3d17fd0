#include "archive/zip_compress.h"

#include <climits>
#include <cstring>
#include <new>
#include <thread>

#include "common/dos_time.h"
#include "common/system.h"

namespace {

WString Number(long long value) { return WString::FromInt(value); }

const uint64_t kLargestFile = 0x100000000ULL;

void Check(CompressedFile& result, BOOL ok, const char* tag)
{
    if (!ok) {
        result.apiFailures.emplace_back(tag, GetLastError());
    }
}

}  // namespace

OpenedFile OpenForCompression(const WString& path)
{
    OpenedFile opened;
    CompressedFile& result = opened.result;
    opened.file.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!opened.file) {
        result.errorText = L"CompressFile Open Error = " + Number(GetLastError());
        return opened;
    }
    HANDLE file = opened.file.Get();
    result.attributes = GetFileAttributesW(path.c_str());
    LARGE_INTEGER fileSize{};
    Check(result, GetFileTime(file, &result.created, &result.accessed, &result.written), "GetFileTime");
    const char* failedCall = nullptr;
    bool converted = UtcToDosDateTime(result.written, result.dosDate, result.dosTime, failedCall);
    Check(result, converted, failedCall);
    Check(result, GetFileSizeEx(file, &fileSize), "GetFileSizeEx");
    opened.fileSize = static_cast<uint64_t>(fileSize.QuadPart);
    if (opened.fileSize >= kLargestFile) {
        result.errorText = L"file size is too big > 4GB";
    }
    return opened;
}

CompressedFile DescribeFolder(const WString& path)
{
    CompressedFile result;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    Check(result, GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data), "GetFileAttributesEx");
    result.attributes = data.dwFileAttributes | FILE_ATTRIBUTE_DIRECTORY;
    // The DOS time of the last write alone, without the NTFS times: the
    // folder's last access is the walk's own listing of it, and extraction
    // makes folders without times.
    const char* failedCall = nullptr;
    Check(result, UtcToDosDateTime(data.ftLastWriteTime, result.dosDate, result.dosTime, failedCall), failedCall);
    result.method = zip::kMethodStored;
    // An empty block, so that the entry counts as new data of its own.
    result.raw.reset(new uint8_t[1]);
    result.ok = true;
    return result;
}

uint64_t CompressionFootprint(const ZlibBinding& zlib, uint64_t fileSize)
{
    if (fileSize >= kLargestFile) {
        return 0;
    }
    uint32_t size = static_cast<uint32_t>(fileSize);
    return static_cast<uint64_t>(size) + zlib.CompressBound(size);
}

CompressedFile CompressOpened(OpenedFile& opened, const ZlibBinding& zlib, int level)
{
    CompressedFile result = std::move(opened.result);
    if (!result.errorText.IsEmpty()) {
        return result;
    }
    uint32_t size = static_cast<uint32_t>(opened.fileSize);
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    if (!data) {
        result.errorText = L"ファイルが大きすぎます";
        return result;
    }
    DWORD got = 0;
    if (!ReadFile(opened.file.Get(), data.get(), size, &got, nullptr)) {
        result.errorText = L"Read Error = " + Number(GetLastError()) + L" at Compress";
        return result;
    }
    if (got != size) {
        // The file shrank while it was read; what arrived is not the file.
        result.errorText = L"Read Error = " + Number(ERROR_HANDLE_EOF) + L" at Compress";
        return result;
    }
    opened.file.Reset();
    result.size = size;
    result.crc = zlib.Crc32(data.get(), size);
    uint32_t bound = zlib.CompressBound(size);
    std::unique_ptr<uint8_t[]> packed(new (std::nothrow) uint8_t[bound]);
    if (!packed) {
        result.errorText = L"ファイルが大きすぎます";
        return result;
    }
    uint32_t packedLength = bound;
    int code = zlib.Compress2(packed.get(), packedLength, data.get(), size, level);
    if (code != 0) {
        result.errorText = L"compress2 Error Code = " + Number(code);
        return result;
    }
    // The entry keeps the raw deflate data: the zlib header and the Adler-32
    // trailer come off.
    uint32_t rawLength = packedLength - kZlibHeaderSize - kZlibTrailerSize;
    std::unique_ptr<uint8_t[]> kept;
    if (rawLength >= size) {
        // Deflate made nothing smaller (data already compressed, a tiny
        // file, or level 0): the entry holds the file's bytes as they are,
        // and extraction has nothing to inflate.
        kept = std::move(data);
        rawLength = size;
        result.method = zip::kMethodStored;
        result.held = size > 0 ? size : 1;
    } else {
        memmove(packed.get(), packed.get() + kZlibHeaderSize, rawLength);
        kept = std::move(packed);
        result.held = bound;
    }
    if (rawLength > static_cast<uint32_t>(INT_MAX)) {
        result.errorText = L"ファイルが大きすぎます";
        return result;
    }
    result.raw = std::move(kept);
    result.rawLength = rawLength;
    result.ok = true;
    return result;
}

int ParallelCompressor::DefaultWorkers()
{
    DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return count > 0 ? static_cast<int>(count) : 1;
}

ParallelCompressor::ParallelCompressor(const ZlibBinding& zlib, int level, int workers, uint64_t budget)
    : zlib_(zlib), level_(level), workers_(workers > 0 ? workers : 1), budget_(budget),
      resultReady_(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

ParallelCompressor::~ParallelCompressor() = default;

bool ParallelCompressor::Run(const std::vector<WString>& paths, const Consumer& consume)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        paths_ = &paths;
        slots_.clear();
        slots_.resize(paths.size());
        nextTaken_ = 0;
        nextAdmitted_ = 0;
        stopping_ = false;
        held_ = 0;
        peakHeld_ = 0;
    }
    std::vector<std::thread> threads;
    size_t count = paths.size() < static_cast<size_t>(workers_) ? paths.size() : static_cast<size_t>(workers_);
    for (size_t i = 0; i < count; ++i) {
        threads.emplace_back(&ParallelCompressor::Work, this);
    }
    bool completed = true;
    for (size_t i = 0; i < paths.size(); ++i) {
        CompressedFile file;
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(lock_);
                if (slots_[i].ready) {
                    file = std::move(slots_[i].file);
                    break;
                }
            }
            // Windows of this thread are served while the workers run.
            HANDLE ready = resultReady_.Get();
            MsgWaitForMultipleObjects(1, &ready, FALSE, INFINITE, QS_ALLINPUT);
            PumpPending();
        }
        uint64_t held = file.held;
        bool goOn = consume(i, file);
        Release(held);
        if (!goOn) {
            completed = false;
            break;
        }
    }
    Stop();
    for (std::thread& thread : threads) {
        thread.join();
    }
    paths_ = nullptr;
    slots_.clear();
    return completed;
}

void ParallelCompressor::Work()
{
    for (;;) {
        size_t index = 0;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (stopping_ || nextTaken_ >= paths_->size()) {
                return;
            }
            index = nextTaken_++;
        }
        OpenedFile opened = OpenForCompression((*paths_)[index]);
        uint64_t need = opened.result.errorText.IsEmpty() ? CompressionFootprint(zlib_, opened.fileSize) : 0;
        if (!Admit(index, need)) {
            return;
        }
        CompressedFile file = CompressOpened(opened, zlib_, level_);
        // The file's own bytes are gone; only the compressed block stays held.
        Release(need - file.held);
        Finish(index, std::move(file));
    }
}

bool ParallelCompressor::Admit(size_t index, uint64_t need)
{
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [&] {
        return stopping_ || (nextAdmitted_ == index && (held_ == 0 || held_ + need <= budget_));
    });
    if (stopping_) {
        return false;
    }
    ++nextAdmitted_;
    held_ += need;
    if (held_ > peakHeld_) {
        peakHeld_ = held_;
    }
    changed_.notify_all();
    return true;
}

void ParallelCompressor::Release(uint64_t bytes)
{
    std::lock_guard<std::mutex> guard(lock_);
    held_ -= bytes;
    changed_.notify_all();
}

void ParallelCompressor::Finish(size_t index, CompressedFile&& file)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        slots_[index].file = std::move(file);
        slots_[index].ready = true;
    }
    SetEvent(resultReady_.Get());
}

void ParallelCompressor::Stop()
{
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
    changed_.notify_all();
}
