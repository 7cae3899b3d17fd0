#include "archive/zip_names.h"

#include "archive/le_bytes.h"
#include "archive/zip_extra.h"

namespace zip {

namespace {

struct CrcTable {
    uint32_t values[256];
    CrcTable()
    {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            values[n] = c;
        }
    }
};

// The name from a Unicode Path block that belongs to these stored bytes.
bool NameFromUnicodePath(const char* bytes, size_t length, const uint8_t* extra, size_t extraLength, WString& name)
{
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!FindExtraBlock(extra, extraLength, kExtraUnicodePath, data, size) || size <= 5 || data[0] != 1) {
        return false;
    }
    uint32_t crc = LoadU32(data + 1);
    // A block whose CRC does not match was written for another name: a
    // tool renamed the entry without knowing the block.
    if (crc != Crc32(bytes, length)) {
        return false;
    }
    return WString::TryDecode(reinterpret_cast<const char*>(data + 5), static_cast<int>(size - 5), CP_UTF8, name);
}

}  // namespace

uint32_t Crc32(const void* bytes, size_t length)
{
    static const CrcTable table;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc = table.values[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

WString DecodeEntryName(const char* bytes, size_t length, uint16_t flags, const uint8_t* extra, size_t extraLength,
                        NameSource* source)
{
    NameSource ignored;
    NameSource& from = source ? *source : ignored;
    int count = static_cast<int>(length);
    WString name;
    if ((flags & kFlagUtf8Name) && WString::TryDecode(bytes, count, CP_UTF8, name)) {
        from = NameSource::kUtf8Flag;
        return name;
    }
    if (NameFromUnicodePath(bytes, length, extra, extraLength, name)) {
        from = NameSource::kUnicodePathExtra;
        return name;
    }
    from = NameSource::kAnsi;
    if (WString::TryDecode(bytes, count, CP_ACP, name)) {
        return name;
    }
    if (WString::TryDecode(bytes, count, CP_UTF8, name)) {
        from = NameSource::kUtf8Fallback;
        return name;
    }
    return WString::FromAnsi(bytes, count);
}

}  // namespace zip
