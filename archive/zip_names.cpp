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

// Decodes into units, replacing them; false when strict is asked and a
// byte sequence is not valid in the code page. No code page yields more
// units than bytes, so one call mostly does.
bool DecodeUnits(const char* bytes, size_t length, UINT codePage, bool strict, std::vector<wchar_t>& units)
{
    DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    int count = static_cast<int>(length);
    units.resize(length + 1);
    if (count == 0) {
        units.clear();
        return true;
    }
    int made = MultiByteToWideChar(codePage, flags, bytes, count, units.data(), static_cast<int>(units.size()));
    if (made <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        made = MultiByteToWideChar(codePage, flags, bytes, count, nullptr, 0);
        units.resize(made > 0 ? static_cast<size_t>(made) : 0);
        made = made > 0 ? MultiByteToWideChar(codePage, flags, bytes, count, units.data(), made) : 0;
    }
    units.resize(made > 0 ? static_cast<size_t>(made) : 0);
    return made > 0;
}

// The name from a Unicode Path block that belongs to these stored bytes.
bool NameFromUnicodePath(const char* bytes, size_t length, const uint8_t* extra, size_t extraLength,
                         std::vector<wchar_t>& units)
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
    return DecodeUnits(reinterpret_cast<const char*>(data + 5), size - 5, CP_UTF8, true, units);
}

}  // namespace

uint32_t Crc32Step(uint32_t crc, uint8_t byte)
{
    static const CrcTable table;
    return table.values[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

uint32_t Crc32(const void* bytes, size_t length)
{
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc = Crc32Step(crc, p[i]);
    }
    return ~crc;
}

void DecodeEntryNameInto(const char* bytes, size_t length, uint16_t flags, const uint8_t* extra, size_t extraLength,
                         std::vector<wchar_t>& units, NameSource* source)
{
    NameSource ignored;
    NameSource& from = source ? *source : ignored;
    if ((flags & kFlagUtf8Name) && DecodeUnits(bytes, length, CP_UTF8, true, units)) {
        from = NameSource::kUtf8Flag;
        return;
    }
    if (NameFromUnicodePath(bytes, length, extra, extraLength, units)) {
        from = NameSource::kUnicodePathExtra;
        return;
    }
    from = NameSource::kAnsi;
    if (DecodeUnits(bytes, length, CP_ACP, true, units)) {
        return;
    }
    if (DecodeUnits(bytes, length, CP_UTF8, true, units)) {
        from = NameSource::kUtf8Fallback;
        return;
    }
    DecodeUnits(bytes, length, CP_ACP, false, units);
}

WString DecodeEntryName(const char* bytes, size_t length, uint16_t flags, const uint8_t* extra, size_t extraLength,
                        NameSource* source)
{
    std::vector<wchar_t> units;
    DecodeEntryNameInto(bytes, length, flags, extra, extraLength, units, source);
    return WString(units.data(), static_cast<int>(units.size()));
}

}  // namespace zip
