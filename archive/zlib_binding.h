// The zlib library, loaded at run time from the file the caller names, and
// the conversion between zlib's wrapped streams and the raw deflate data of
// ZIP entries.
#pragma once

#include <windows.h>
#include <cstdint>

#include "common/handles.h"
#include "common/wstring.h"

class ZlibBinding {
public:
    ZlibBinding() = default;
    ZlibBinding(const ZlibBinding&) = delete;
    ZlibBinding& operator=(const ZlibBinding&) = delete;

    // Loads the library; false when it cannot be loaded.
    bool Load(const WString& libraryPath);
    // Looks the functions up; false when one that is called is missing.
    bool Bind();
    bool IsBound() const { return compress2_ && compressBound_ && uncompress_ && crc32_; }
    void Release();

    // The CRC-32 of the bytes; given the CRC of the bytes before them as
    // start, that of the whole.
    uint32_t Crc32(const uint8_t* bytes, uint64_t length, uint32_t start = 0) const;
    uint32_t CompressBound(uint32_t length) const;
    // zlib's result code; outLength is in/out.
    int Compress2(uint8_t* out, uint32_t& outLength, const uint8_t* in, uint32_t inLength, int level) const;
    int Uncompress(uint8_t* out, uint32_t& outLength, const uint8_t* in, uint32_t inLength) const;

private:
    typedef unsigned long(WINAPI* Adler32Fn)(unsigned long, const uint8_t*, unsigned int);
    typedef int(WINAPI* CompressFn)(uint8_t*, unsigned long*, const uint8_t*, unsigned long);
    typedef int(WINAPI* Compress2Fn)(uint8_t*, unsigned long*, const uint8_t*, unsigned long, int);
    typedef unsigned long(WINAPI* CompressBoundFn)(unsigned long);
    typedef unsigned long(WINAPI* Crc32Fn)(unsigned long, const uint8_t*, unsigned int);
    typedef int(WINAPI* UncompressFn)(uint8_t*, unsigned long*, const uint8_t*, unsigned long);

    ScopedModule module_;
    Adler32Fn adler32_ = nullptr;
    CompressFn compress_ = nullptr;
    Compress2Fn compress2_ = nullptr;
    CompressBoundFn compressBound_ = nullptr;
    Crc32Fn crc32_ = nullptr;
    UncompressFn uncompress_ = nullptr;
};

// The zlib level for new entries from the ZipCompType setting: 1 fastest,
// 2 best, 3 no compression (stored deflate blocks), anything else zlib's
// default.
int ZipLevelFromSetting(DWORD zipCompType);
// Reads ZipCompType of the current user; a missing value counts as 0.
int ReadZipLevel();

// The library file of this process's width.
const wchar_t* ZlibLibraryName();

// The header that turns raw deflate data into a zlib stream for uncompress,
// and the sizes of the wrapping that compress2 adds around it.
const uint8_t kZlibHeader[2] = {0x78, 0x9C};
const uint32_t kZlibHeaderSize = 2;
const uint32_t kZlibTrailerSize = 4;
