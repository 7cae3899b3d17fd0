#include "archive/zip_extra.h"

#include <cstring>

#include "archive/le_bytes.h"
#include "archive/zip_records.h"

namespace zip {

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void Put64(std::vector<uint8_t>& out, uint64_t value)
{
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void PutTime(std::vector<uint8_t>& out, const FILETIME& time)
{
    Put32(out, time.dwLowDateTime);
    Put32(out, time.dwHighDateTime);
}

WString Hex4(uint16_t id)
{
    wchar_t text[8];
    wsprintfW(text, L"%04x", id);
    return WString(text);
}

// Reads the Zip64 values one by one: each field marked 0xFFFFFFFF takes the
// next 8 bytes of the block.
bool ReadZip64(const uint8_t* data, size_t dataSize, ArcEntry& entry, ExtraSide side, const LocalHeader* local,
               WString& errorText)
{
    size_t at = 0;
    auto take = [&](uint64_t& value) {
        if (at + 8 > dataSize) {
            return false;
        }
        value = LoadU64(data + at);
        at += 8;
        return true;
    };
    const WString shortText(L"ExtraField サイズデータ(HeaderID:0x0001)不足");
    if (side == ExtraSide::kCentral) {
        if (entry.size32 == kZip64Marker32 && !take(entry.size)) {
            errorText = shortText;
            return false;
        }
        if (entry.packedSize32 == kZip64Marker32 && !take(entry.packedSize)) {
            errorText = shortText;
            return false;
        }
        if (entry.headerOffset32 == kZip64Marker32 && !take(entry.headerOffset)) {
            errorText = shortText;
            return false;
        }
        return true;
    }
    // The local header names its own marked fields. Its values stand in for
    // the central ones only where the central header is marked as well: a
    // streamed entry's local sizes are zero and must not replace the
    // directory's.
    if (!local) {
        return true;
    }
    bool streamed = (local->flags & kFlagDataDescriptor) != 0;
    uint64_t value = 0;
    if (local->size32 == kZip64Marker32) {
        if (!take(value)) {
            errorText = shortText;
            return false;
        }
        if (entry.size32 == kZip64Marker32 && !streamed && value != 0) {
            entry.size = value;
        }
    }
    if (local->packedSize32 == kZip64Marker32) {
        if (!take(value)) {
            errorText = shortText;
            return false;
        }
        if (entry.packedSize32 == kZip64Marker32 && !streamed && value != 0) {
            entry.packedSize = value;
        }
    }
    return true;
}

}  // namespace

bool ParseExtra(const uint8_t* bytes, size_t length, ArcEntry& entry, ExtraSide side, WString& errorText,
                const LocalHeader* local)
{
    size_t at = 0;
    while (at + 4 <= length) {
        uint16_t id = LoadU16(bytes + at);
        uint16_t dataSize = LoadU16(bytes + at + 2);
        const uint8_t* data = bytes + at + 4;
        if (at + 4 + dataSize > length) {
            errorText = L"ExtraField ブロック(HeaderID:0x" + Hex4(id) + L")が領域の外まで続いています";
            return false;
        }
        if (id == kExtraZip64) {
            if (!ReadZip64(data, dataSize, entry, side, local, errorText)) {
                return false;
            }
        } else if (id == kExtraNtfs) {
            if (dataSize != kNtfsDataSize) {
                errorText = L"ExtraField 日時データ(HeaderID:0x000a)不整合";
                return false;
            }
            entry.modifiedTime = LoadFileTime(data + 8);
            entry.accessTime = LoadFileTime(data + 16);
            entry.creationTime = LoadFileTime(data + 24);
        }
        at += 4 + static_cast<size_t>(dataSize);
    }
    return true;
}

bool HasZip64Block(const uint8_t* bytes, size_t length)
{
    const uint8_t* data = nullptr;
    size_t size = 0;
    return FindExtraBlock(bytes, length, kExtraZip64, data, size);
}

bool FindExtraBlock(const uint8_t* bytes, size_t length, uint16_t id, const uint8_t*& data, size_t& size)
{
    size_t at = 0;
    while (bytes != nullptr && at + 4 <= length) {
        uint16_t dataSize = LoadU16(bytes + at + 2);
        if (LoadU16(bytes + at) == id) {
            if (at + 4 + dataSize > length) {
                return false;
            }
            data = bytes + at + 4;
            size = dataSize;
            return true;
        }
        at += 4 + static_cast<size_t>(dataSize);
    }
    return false;
}

std::vector<uint8_t> BuildExtra(bool withSize, uint64_t size, bool withPacked, uint64_t packedSize, bool withOffset,
                                uint64_t offset, bool withTimes, const FILETIME& modified, const FILETIME& accessed,
                                const FILETIME& created)
{
    std::vector<uint8_t> out;
    int values = (withSize ? 1 : 0) + (withPacked ? 1 : 0) + (withOffset ? 1 : 0);
    if (values > 0) {
        Put16(out, kExtraZip64);
        Put16(out, static_cast<uint16_t>(8 * values));
        if (withSize) {
            Put64(out, size);
        }
        if (withPacked) {
            Put64(out, packedSize);
        }
        if (withOffset) {
            Put64(out, offset);
        }
    }
    if (withTimes) {
        Put16(out, kExtraNtfs);
        Put16(out, kNtfsDataSize);
        Put32(out, 0);   // reserved
        Put16(out, 1);   // attribute tag: the three times
        Put16(out, 24);  // attribute size
        PutTime(out, modified);
        PutTime(out, accessed);
        PutTime(out, created);
    }
    return out;
}

std::vector<uint8_t> FilterExtra(const uint8_t* bytes, size_t length)
{
    std::vector<uint8_t> out;
    size_t at = 0;
    while (at + 4 <= length) {
        uint16_t id = LoadU16(bytes + at);
        size_t blockSize = 4 + static_cast<size_t>(LoadU16(bytes + at + 2));
        if (at + blockSize > length) {
            break;
        }
        if (id != kExtraZip64 && id != kExtraNtfs) {
            out.insert(out.end(), bytes + at, bytes + at + blockSize);
        }
        at += blockSize;
    }
    return out;
}

}  // namespace zip
