// Offset-addressed reads of an archive through a window of the file.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/zipfile.h"

// Reads pieces of the archive at given offsets through a window of the file,
// so that the many small records of a directory cost few system calls. A
// piece that ends past the file's end arrives short; got tells how much.
class CZipFileEnum::Reader {
public:
    static const size_t kWindow = 256 * 1024;

    Reader(CArcFile& archive, HANDLE file) : archive_(archive), file_(file) {}

    bool ReadAt(uint64_t offset, void* out, size_t count, const char* label, size_t& got)
    {
        got = 0;
        if (count == 0) {
            return true;
        }
        if (count > kWindow) {
            return ReadDirect(offset, out, count, label, got);
        }
        if (!windowFilled_ || offset < windowStart_ || offset + count > windowStart_ + window_.size()) {
            if (!Fill(offset, label)) {
                return false;
            }
        }
        size_t start = static_cast<size_t>(offset - windowStart_);
        size_t available = window_.size() > start ? window_.size() - start : 0;
        got = std::min(count, available);
        memcpy(out, window_.data() + start, got);
        return true;
    }

private:
    bool Fill(uint64_t offset, const char* label)
    {
        windowFilled_ = false;
        window_.resize(kWindow);
        size_t got = 0;
        if (!ReadDirect(offset, window_.data(), kWindow, label, got)) {
            window_.clear();
            return false;
        }
        window_.resize(got);
        windowStart_ = offset;
        windowFilled_ = true;
        return true;
    }

    bool ReadDirect(uint64_t offset, void* out, size_t count, const char* label, size_t& got)
    {
        got = 0;
        if (offset > static_cast<uint64_t>(INT64_MAX)) {
            return true;  // nothing lies there
        }
        if (!archive_.SeekTo(file_, offset, label)) {
            return false;
        }
        DWORD done = 0;
        if (!archive_.ReadBlock(file_, out, static_cast<DWORD>(count), label, &done)) {
            return false;
        }
        got = done;
        return true;
    }

    CArcFile& archive_;
    HANDLE file_;
    std::vector<uint8_t> window_;
    uint64_t windowStart_ = 0;
    bool windowFilled_ = false;
};

