#include "archive/zlib_binding.h"

#include "common/settings.h"

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
