#include "archive/zlib_binding.h"

#include <zlib.h>

#include "common/paths.h"
#include "common/settings.h"

const wchar_t kZlibUnavailable[] = L"zlibwapi が使えません";

namespace {

// zlib's length parameters are 32 bits wide on Windows; longer runs of
// bytes are checked in pieces.
const uint64_t kCrcPiece = 0x40000000;

}  // namespace

bool ZlibBinding::Load(const WString& libraryPath)
{
    module_.Reset(LoadLibraryW(libraryPath.c_str()));
    return module_.IsValid();
}

bool ZlibBinding::Bind()
{
    if (!module_) {
        return false;
    }
    HMODULE m = module_.Get();
    adler32_ = reinterpret_cast<Adler32Fn>(reinterpret_cast<void*>(GetProcAddress(m, "adler32")));
    compress_ = reinterpret_cast<CompressFn>(reinterpret_cast<void*>(GetProcAddress(m, "compress")));
    compress2_ = reinterpret_cast<Compress2Fn>(reinterpret_cast<void*>(GetProcAddress(m, "compress2")));
    compressBound_ = reinterpret_cast<CompressBoundFn>(reinterpret_cast<void*>(GetProcAddress(m, "compressBound")));
    crc32_ = reinterpret_cast<Crc32Fn>(reinterpret_cast<void*>(GetProcAddress(m, "crc32")));
    uncompress_ = reinterpret_cast<UncompressFn>(reinterpret_cast<void*>(GetProcAddress(m, "uncompress")));
    inflateInit2_ = reinterpret_cast<InflateInit2Fn>(reinterpret_cast<void*>(GetProcAddress(m, "inflateInit2_")));
    inflate_ = reinterpret_cast<InflateFn>(reinterpret_cast<void*>(GetProcAddress(m, "inflate")));
    inflateSetDictionary_ = reinterpret_cast<InflateSetDictionaryFn>(
        reinterpret_cast<void*>(GetProcAddress(m, "inflateSetDictionary")));
    inflateReset_ = reinterpret_cast<InflateStreamFn>(reinterpret_cast<void*>(GetProcAddress(m, "inflateReset")));
    inflateEnd_ = reinterpret_cast<InflateStreamFn>(reinterpret_cast<void*>(GetProcAddress(m, "inflateEnd")));
    return IsBound();
}

void ZlibBinding::Release()
{
    adler32_ = nullptr;
    compress_ = nullptr;
    compress2_ = nullptr;
    compressBound_ = nullptr;
    crc32_ = nullptr;
    uncompress_ = nullptr;
    inflateInit2_ = nullptr;
    inflate_ = nullptr;
    inflateSetDictionary_ = nullptr;
    inflateReset_ = nullptr;
    inflateEnd_ = nullptr;
    module_.Reset();
}

uint32_t ZlibBinding::Crc32(const uint8_t* bytes, uint64_t length, uint32_t start) const
{
    unsigned long crc = start;
    while (length > 0) {
        uint64_t piece = length < kCrcPiece ? length : kCrcPiece;
        crc = crc32_(crc, bytes, static_cast<unsigned int>(piece));
        bytes += piece;
        length -= piece;
    }
    return static_cast<uint32_t>(crc);
}

uint32_t ZlibBinding::CompressBound(uint32_t length) const { return static_cast<uint32_t>(compressBound_(length)); }

int ZlibBinding::Compress2(uint8_t* out, uint32_t& outLength, const uint8_t* in, uint32_t inLength, int level) const
{
    unsigned long length = outLength;
    int result = compress2_(out, &length, in, inLength, level);
    outLength = static_cast<uint32_t>(length);
    return result;
}

int ZlibBinding::Uncompress(uint8_t* out, uint32_t& outLength, const uint8_t* in, uint32_t inLength) const
{
    unsigned long length = outLength;
    int result = uncompress_(out, &length, in, inLength);
    outLength = static_cast<uint32_t>(length);
    return result;
}

RawInflater::RawInflater(const ZlibBinding& zlib) : zlib_(zlib), stream_(std::make_unique<z_stream>())
{
    // The library checks that it was built from the same header, version
    // and record size, before it touches the record.
    ready_ = zlib_.IsBound() && zlib_.inflateInit2_(stream_.get(), -MAX_WBITS, ZLIB_VERSION,
                                                    static_cast<int>(sizeof(z_stream))) == Z_OK;
}

RawInflater::~RawInflater()
{
    if (ready_) {
        zlib_.inflateEnd_(stream_.get());
    }
}

bool RawInflater::DecodePiece(const uint8_t* in, uint32_t inLength, const uint8_t* dictionary,
                              uint32_t dictionaryLength, uint8_t* out, uint32_t& outLength)
{
    if (!ready_ || (used_ && zlib_.inflateReset_(stream_.get()) != Z_OK)) {
        return false;
    }
    used_ = true;
    if (dictionaryLength > 0 &&
        zlib_.inflateSetDictionary_(stream_.get(), dictionary, dictionaryLength) != Z_OK) {
        return false;
    }
    stream_->next_in = const_cast<Bytef*>(in);
    stream_->avail_in = inLength;
    stream_->next_out = out;
    stream_->avail_out = outLength;
    // With Z_FINISH a stream that wants more input or more room than it was
    // given ends with Z_BUF_ERROR instead of waiting for them.
    int code = zlib_.inflate_(stream_.get(), Z_FINISH);
    outLength -= stream_->avail_out;
    return code == Z_STREAM_END;
}

int ZipLevelFromSetting(DWORD zipCompType)
{
    switch (zipCompType) {
    case 1:
        return 1;
    case 2:
        return 9;
    case 3:
        return 0;
    default:
        return -1;
    }
}

int ReadZipLevel() { return ZipLevelFromSetting(ReadStoredSettings().zipCompType); }

const wchar_t* ZlibLibraryName() { return sizeof(void*) == 8 ? L"zlibwapi64.dll" : L"zlibwapi32.dll"; }

WString ZlibBesideProgram() { return JoinPath(ProgramFolder(), WString(ZlibLibraryName())); }
