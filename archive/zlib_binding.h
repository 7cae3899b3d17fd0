// The zlib library, loaded at run time from the file the caller names, and
// the conversion between zlib's wrapped streams and the raw deflate data of
// ZIP entries.
#pragma once

#include <windows.h>
#include <cstdint>
#include <memory>

#include "common/handles.h"
#include "common/wstring.h"

// zlib's stream record, laid out as the library's own header says; only the
// binding's source sees its fields.
struct z_stream_s;

class ZlibBinding {
public:
    ZlibBinding() = default;
    ZlibBinding(const ZlibBinding&) = delete;
    ZlibBinding& operator=(const ZlibBinding&) = delete;

    // Loads the library; false when it cannot be loaded.
    bool Load(const WString& libraryPath);
    // Looks the functions up; false when one that is called is missing.
    bool Bind();
    bool IsBound() const
    {
        return compress2_ && compressBound_ && uncompress_ && crc32_ && inflateInit2_ && inflate_ &&
               inflateSetDictionary_ && inflateReset_ && inflateEnd_;
    }
    void Release();

    // The CRC-32 of the bytes; given the CRC of the bytes before them as
    // start, that of the whole.
    uint32_t Crc32(const uint8_t* bytes, uint64_t length, uint32_t start = 0) const;
    uint32_t CompressBound(uint32_t length) const;
    // zlib's result code; outLength is in/out.
    int Compress2(uint8_t* out, uint32_t& outLength, const uint8_t* in, uint32_t inLength, int level) const;
    int Uncompress(uint8_t* out, uint32_t& outLength, const uint8_t* in, uint32_t inLength) const;

private:
    friend class RawInflater;

    typedef unsigned long(WINAPI* Adler32Fn)(unsigned long, const uint8_t*, unsigned int);
    typedef int(WINAPI* CompressFn)(uint8_t*, unsigned long*, const uint8_t*, unsigned long);
    typedef int(WINAPI* Compress2Fn)(uint8_t*, unsigned long*, const uint8_t*, unsigned long, int);
    typedef unsigned long(WINAPI* CompressBoundFn)(unsigned long);
    typedef unsigned long(WINAPI* Crc32Fn)(unsigned long, const uint8_t*, unsigned int);
    typedef int(WINAPI* UncompressFn)(uint8_t*, unsigned long*, const uint8_t*, unsigned long);
    typedef int(WINAPI* InflateInit2Fn)(z_stream_s*, int, const char*, int);
    typedef int(WINAPI* InflateFn)(z_stream_s*, int);
    typedef int(WINAPI* InflateSetDictionaryFn)(z_stream_s*, const uint8_t*, unsigned int);
    typedef int(WINAPI* InflateStreamFn)(z_stream_s*);

    ScopedModule module_;
    Adler32Fn adler32_ = nullptr;
    CompressFn compress_ = nullptr;
    Compress2Fn compress2_ = nullptr;
    CompressBoundFn compressBound_ = nullptr;
    Crc32Fn crc32_ = nullptr;
    UncompressFn uncompress_ = nullptr;
    InflateInit2Fn inflateInit2_ = nullptr;
    InflateFn inflate_ = nullptr;
    InflateSetDictionaryFn inflateSetDictionary_ = nullptr;
    InflateStreamFn inflateReset_ = nullptr;
    InflateStreamFn inflateEnd_ = nullptr;
};

// A raw deflate decoder (no zlib header or trailer) of a bound library, for
// data cut into pieces that each end their own deflate stream and may refer
// back into the output of the pieces before them. The stream is set up once
// and reset for every piece.
class RawInflater {
public:
    explicit RawInflater(const ZlibBinding& zlib);
    ~RawInflater();
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;

    // False when the library could not set the stream up.
    bool IsReady() const { return ready_; }
    // Decodes one piece into out, which has room for outLength bytes, with
    // the output that came before it as the dictionary (dictionaryLength 0:
    // none). True when the deflate stream ends within the piece and the
    // room; outLength is then the number of bytes decoded.
    bool DecodePiece(const uint8_t* in, uint32_t inLength, const uint8_t* dictionary, uint32_t dictionaryLength,
                     uint8_t* out, uint32_t& outLength);

private:
    const ZlibBinding& zlib_;
    std::unique_ptr<z_stream_s> stream_;
    bool ready_ = false;
    bool used_ = false;
};

// The zlib level for new entries from the ZipCompType setting: 1 fastest,
// 2 best, 3 no compression (stored deflate blocks), anything else zlib's
// default.
int ZipLevelFromSetting(DWORD zipCompType);
// Reads ZipCompType of the current user; a missing value counts as 0.
int ReadZipLevel();

// The library file of this process's width.
const wchar_t* ZlibLibraryName();
// That file beside the running program, where the deliverables lie.
WString ZlibBesideProgram();

// The error text when the library cannot be loaded or lacks a function.
extern const wchar_t kZlibUnavailable[];

// The header that turns raw deflate data into a zlib stream for uncompress,
// and the sizes of the wrapping that compress2 adds around it.
const uint8_t kZlibHeader[2] = {0x78, 0x9C};
const uint32_t kZlibHeaderSize = 2;
const uint32_t kZlibTrailerSize = 4;
