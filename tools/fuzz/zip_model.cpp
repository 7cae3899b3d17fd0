// Taking a ZIP archive apart and putting it together again, the cuts of
// the minimisation, and the checksums set right.
#include "tools/fuzz/zip_model.h"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "archive/zip_crypto.h"
#include "archive/zip_names.h"
#include "archive/zip_records.h"
#include "tools/fuzz/zip_model_parts.h"

namespace fuzzzip {

const char kPassword[] = "fuzz";

using fuzzbytes::Append;
using fuzzbytes::Put;

bool FindBlock(const Bytes& extra, uint16_t id, size_t& dataAt, size_t& dataSize)
{
    size_t at = 0;
    while (at + 4 <= extra.size()) {
        size_t size = static_cast<size_t>(Get(extra, at + 2, 2));
        if (Get(extra, at, 2) == id && at + 4 + size <= extra.size()) {
            dataAt = at + 4;
            dataSize = size;
            return true;
        }
        at += 4 + size;
    }
    return false;
}

void DropBlocks(Bytes& extra, uint16_t id)
{
    Bytes kept;
    size_t at = 0;
    while (at + 4 <= extra.size()) {
        size_t end = std::min(extra.size(), at + 4 + static_cast<size_t>(Get(extra, at + 2, 2)));
        if (Get(extra, at, 2) != id) {
            kept.insert(kept.end(), extra.begin() + static_cast<long>(at), extra.begin() + static_cast<long>(end));
        }
        at = end;
    }
    extra.swap(kept);
}

void AddBlock(Bytes& extra, uint16_t id, const Bytes& data)
{
    Append(extra, id, 2);
    Append(extra, data.size(), 2);
    extra.insert(extra.end(), data.begin(), data.end());
}

bool Zip64Slot(const Entry& entry, int field, size_t& at)
{
    size_t dataAt = 0, dataSize = 0;
    if (!FindBlock(entry.extra, zip::kExtraZip64, dataAt, dataSize)) {
        return false;
    }
    const size_t fields[] = {kCentralSize, kCentralPacked, kCentralOffset};
    size_t index = 0;
    for (int i = 0; i < field; ++i) {
        index += Get(entry.central, fields[i], 4) == kMarker ? 1 : 0;
    }
    at = dataAt + 8 * index;
    return 8 * index + 8 <= dataSize;
}

uint64_t PackedSizeOf(const Entry& entry)
{
    size_t at = 0;
    uint64_t packed = Get(entry.central, kCentralPacked, 4);
    return packed == kMarker && Zip64Slot(entry, 1, at) ? Get(entry.extra, at, 8) : packed;
}

// Raw inflation of at most a megabyte; false when the stream is broken.
// The room grows as the data needs it: most entries are small, and a
// megabyte cleared for each would cost more than the input's run.
bool Inflate(const uint8_t* packed, size_t size, Bytes& plain)
{
    const size_t most = 1 << 20;
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return false;
    }
    plain.resize(std::min(most, std::max<size_t>(4096, size * 4)));
    stream.next_in = const_cast<Bytef*>(packed);
    stream.avail_in = static_cast<uInt>(size);
    int code = Z_OK;
    while (code == Z_OK) {
        if (stream.total_out == plain.size()) {
            if (plain.size() >= most) {
                break;
            }
            plain.resize(std::min(most, plain.size() * 2));
        }
        stream.next_out = plain.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(plain.size() - stream.total_out);
        code = inflate(&stream, Z_FINISH);
        if (code == Z_BUF_ERROR && stream.avail_out == 0) {
            code = Z_OK;
        }
    }
    plain.resize(stream.total_out);
    inflateEnd(&stream);
    return code == Z_STREAM_END;
}

uint32_t Crc(const Bytes& bytes) { return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size()))); }

zip::SecretBytes Password() { return zip::SecretBytes(kPassword, strlen(kPassword)); }

bool IsEncrypted(const Entry& entry)
{
    return (Get(entry.central, kCentralFlags, 2) & zip::kFlagEncrypted) != 0 ||
           Get(entry.central, kCentralMethod, 2) == zip::kMethodAes;
}

bool PlainData(const Entry& entry, Bytes& plain, uint16_t& method)
{
    method = static_cast<uint16_t>(Get(entry.central, kCentralMethod, 2));
    plain = entry.data;
    if (method == zip::kMethodAes) {
        zip::AesParameters aes;
        if (!zip::FindAesParameters(entry.extra.data(), entry.extra.size(), aes)) {
            return false;
        }
        size_t salt = zip::AesSaltSize(aes.strength);
        if (salt == 0 || plain.size() < salt + 2 + 10) {
            return false;
        }
        zip::AesCtrCipher cipher;
        bool matches = false;
        if (!cipher.Open(Password(), aes.strength, plain.data(), plain.data() + salt, matches) || !matches) {
            return false;
        }
        Bytes inner(plain.begin() + static_cast<long>(salt + 2), plain.end() - 10);
        cipher.Decrypt(inner.data(), inner.size());
        plain.swap(inner);
        method = aes.method;
        return true;
    }
    if (Get(entry.central, kCentralFlags, 2) & zip::kFlagEncrypted) {
        if (plain.size() < zip::kPkwareHeaderSize) {
            return false;
        }
        zip::PkwareCipher cipher(Password());
        cipher.Decrypt(plain.data(), plain.size());
        plain.erase(plain.begin(), plain.begin() + zip::kPkwareHeaderSize);
    }
    return true;
}

void SetBoth(Entry& entry, size_t centralAt, size_t localAt, uint64_t value, int width)
{
    Put(entry.central, centralAt, value, width);
    Put(entry.local, localAt, value, width);
}

void SetData(Entry& entry, uint16_t method, const Bytes& plain, const Bytes& packed)
{
    uint16_t flags = static_cast<uint16_t>(Get(entry.central, kCentralFlags, 2) &
                                           ~(zip::kFlagEncrypted | zip::kFlagDataDescriptor | zip::kFlagStrongEncryption));
    SetBoth(entry, kCentralFlags, kLocalFlags, flags, 2);
    SetBoth(entry, kCentralMethod, kLocalMethod, method, 2);
    SetBoth(entry, kCentralCrc, kLocalCrc, Crc(plain), 4);
    SetBoth(entry, kCentralPacked, kLocalPacked, packed.size(), 4);
    SetBoth(entry, kCentralSize, kLocalSize, plain.size(), 4);
    DropBlocks(entry.extra, zip::kExtraAes);
    DropBlocks(entry.localExtra, zip::kExtraAes);
    DropBlocks(entry.extra, zip::kExtraZip64);
    DropBlocks(entry.localExtra, zip::kExtraZip64);
    entry.data = packed;
    entry.descriptor.clear();
}

bool RawDeflate(const Bytes& plain, Bytes& packed)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return false;
    }
    packed.resize(deflateBound(&stream, static_cast<uLong>(plain.size())) + 16);
    stream.next_in = const_cast<Bytef*>(plain.data());
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = packed.data();
    stream.avail_out = static_cast<uInt>(packed.size());
    int code = deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return code == Z_STREAM_END;
}

bool Parse(const uint8_t* bytes, size_t size, Archive& archive)
{
    archive = Archive();
    if (size < 22) {
        return false;
    }
    size_t lowest = size > 22 + 65535 ? size - 22 - 65535 : 0;
    size_t endAt = SIZE_MAX;
    for (size_t at = size - 22 + 1; at-- > lowest;) {
        if (fuzzbytes::Get(bytes, size, at, 4) == zip::kEndRecordSignature) {
            endAt = at;
            break;
        }
    }
    if (endAt == SIZE_MAX) {
        return false;
    }
    auto get = [&](uint64_t at, int width) { return fuzzbytes::Get(bytes, size, static_cast<size_t>(at), width); };
    size_t commentLength = static_cast<size_t>(get(endAt + 20, 2));
    if (endAt + 22 + commentLength > size) {
        return false;
    }
    archive.end.assign(bytes + endAt, bytes + endAt + 22);
    archive.comment.assign(reinterpret_cast<const char*>(bytes) + endAt + 22, commentLength);
    uint64_t count = get(endAt + 10, 2);
    uint64_t directory = get(endAt + 16, 4);
    uint64_t recordsEnd = endAt;
    if (endAt >= 20 && get(endAt - 20, 4) == zip::kZip64LocatorSignature) {
        uint64_t recordAt = get(endAt - 12, 8);
        if (recordAt + 56 > endAt - 20 || get(recordAt, 4) != zip::kZip64EndRecordSignature ||
            recordAt + 12 + get(recordAt + 4, 8) != endAt - 20) {
            return false;
        }
        archive.zip64Record.assign(bytes + recordAt, bytes + endAt - 20);
        archive.locator.assign(bytes + endAt - 20, bytes + endAt);
        count = get(recordAt + 32, 8);
        directory = get(recordAt + 48, 8);
        recordsEnd = recordAt;
    }
    if (count > 4096 || directory > recordsEnd) {
        return false;
    }
    uint64_t at = directory;
    uint64_t firstLocal = directory;
    for (uint64_t i = 0; i < count; ++i) {
        if (at + 46 > recordsEnd || get(at, 4) != zip::kCentralHeaderSignature) {
            return false;
        }
        Entry entry;
        entry.central.assign(bytes + at, bytes + at + 46);
        uint64_t nameLength = get(at + 28, 2), extraLength = get(at + 30, 2), commentLen = get(at + 32, 2);
        // A header may run into the end records (the engine reads it so):
        // taken apart, it comes out whole.
        if (at + 46 + nameLength + extraLength + commentLen > size) {
            return false;
        }
        const char* text = reinterpret_cast<const char*>(bytes + at + 46);
        entry.name.assign(text, static_cast<size_t>(nameLength));
        entry.extra.assign(bytes + at + 46 + nameLength, bytes + at + 46 + nameLength + extraLength);
        entry.comment.assign(text + nameLength + extraLength, static_cast<size_t>(commentLen));
        at += 46 + nameLength + extraLength + commentLen;
        uint64_t local = Get(entry.central, kCentralOffset, 4);
        size_t slot = 0;
        if (local == kMarker && Zip64Slot(entry, 2, slot)) {
            local = Get(entry.extra, slot, 8);
        }
        uint64_t packed = PackedSizeOf(entry);
        if (local + 30 > size || get(local, 4) != zip::kLocalHeaderSignature) {
            return false;
        }
        entry.local.assign(bytes + local, bytes + local + 30);
        uint64_t localName = get(local + 26, 2), localExtra = get(local + 28, 2);
        uint64_t dataAt = local + 30 + localName + localExtra;
        if (dataAt > size) {
            return false;
        }
        entry.localName.assign(reinterpret_cast<const char*>(bytes + local + 30), static_cast<size_t>(localName));
        entry.localExtra.assign(bytes + local + 30 + localName, bytes + dataAt);
        // Data said to run past the end is taken as far as it goes, and its
        // size stays as the headers claim it.
        uint64_t available = std::min<uint64_t>(packed, size - dataAt);
        entry.data.assign(bytes + dataAt, bytes + dataAt + available);
        if (available == packed && (get(local + kLocalFlags, 2) & zip::kFlagDataDescriptor)) {
            uint64_t descriptorAt = dataAt + packed;
            size_t dataAt64 = 0, size64 = 0;
            uint64_t length = FindBlock(entry.localExtra, zip::kExtraZip64, dataAt64, size64) ? 20 : 12;
            if (get(descriptorAt, 4) == zip::kDataDescriptorSignature) {
                length += 4;
            }
            if (descriptorAt + length <= size) {
                entry.descriptor.assign(bytes + descriptorAt, bytes + descriptorAt + length);
            }
        }
        firstLocal = std::min(firstLocal, local);
        archive.entries.push_back(std::move(entry));
    }
    archive.prefix.assign(bytes, bytes + firstLocal);
    return true;
}

Bytes Serialize(Archive& archive)
{
    Bytes out = archive.prefix;
    std::vector<uint64_t> offsets;
    for (Entry& entry : archive.entries) {
        offsets.push_back(out.size());
        Put(entry.local, 26, entry.localName.size(), 2);
        Put(entry.local, 28, entry.localExtra.size(), 2);
        out.insert(out.end(), entry.local.begin(), entry.local.end());
        out.insert(out.end(), entry.localName.begin(), entry.localName.end());
        out.insert(out.end(), entry.localExtra.begin(), entry.localExtra.end());
        out.insert(out.end(), entry.data.begin(), entry.data.end());
        out.insert(out.end(), entry.descriptor.begin(), entry.descriptor.end());
    }
    uint64_t start = out.size();
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        Entry& entry = archive.entries[i];
        Put(entry.central, 28, entry.name.size(), 2);
        Put(entry.central, 30, entry.extra.size(), 2);
        Put(entry.central, 32, entry.comment.size(), 2);
        size_t slot = 0;
        if (Get(entry.central, kCentralOffset, 4) != kMarker) {
            Put(entry.central, kCentralOffset, offsets[i], 4);
        } else if (Zip64Slot(entry, 2, slot)) {
            Put(entry.extra, slot, offsets[i], 8);
        }
        out.insert(out.end(), entry.central.begin(), entry.central.end());
        out.insert(out.end(), entry.name.begin(), entry.name.end());
        out.insert(out.end(), entry.extra.begin(), entry.extra.end());
        out.insert(out.end(), entry.comment.begin(), entry.comment.end());
    }
    uint64_t end = out.size();
    uint64_t count = archive.entries.size();
    if (archive.zip64Record.size() >= 56 && archive.locator.size() == 20) {
        Put(archive.zip64Record, 4, archive.zip64Record.size() - 12, 8);
        Put(archive.zip64Record, 24, count, 8);
        Put(archive.zip64Record, 32, count, 8);
        Put(archive.zip64Record, 40, end - start, 8);
        Put(archive.zip64Record, 48, start, 8);
        Put(archive.locator, 8, end, 8);
        out.insert(out.end(), archive.zip64Record.begin(), archive.zip64Record.end());
        out.insert(out.end(), archive.locator.begin(), archive.locator.end());
    }
    for (size_t at : {size_t(8), size_t(10)}) {
        if (Get(archive.end, at, 2) != 0xFFFF) {
            Put(archive.end, at, count, 2);
        }
    }
    if (Get(archive.end, 12, 4) != kMarker) {
        Put(archive.end, 12, end - start, 4);
    }
    if (Get(archive.end, 16, 4) != kMarker) {
        Put(archive.end, 16, start, 4);
    }
    Put(archive.end, 20, archive.comment.size(), 2);
    out.insert(out.end(), archive.end.begin(), archive.end.end());
    out.insert(out.end(), archive.comment.begin(), archive.comment.end());
    return out;
}

std::vector<Bytes> Reductions(const Archive& archive)
{
    std::vector<Bytes> out;
    auto add = [&](Archive changed) { out.push_back(Serialize(changed)); };
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        Archive without = archive;
        without.entries.erase(without.entries.begin() + static_cast<long>(i));
        add(without);
    }
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        const Entry& entry = archive.entries[i];
        Archive changed = archive;
        Entry& cut = changed.entries[i];
        if (!entry.extra.empty() || !entry.localExtra.empty()) {
            cut.extra.clear();
            cut.localExtra.clear();
            add(changed);
            cut = entry;
        }
        if (!entry.comment.empty()) {
            cut.comment.clear();
            add(changed);
            cut = entry;
        }
        if (entry.data.size() > 1) {
            cut.data.resize(entry.data.size() / 2);
            add(changed);
            Put(cut.central, kCentralPacked, cut.data.size(), 4);
            Put(cut.local, kLocalPacked, cut.data.size(), 4);
            add(changed);
            cut = entry;
        }
        if (entry.name.size() > 1) {
            cut.name = cut.localName = std::string(1, static_cast<char>('a' + i % 26));
            add(changed);
        }
    }
    if (!archive.comment.empty() || !archive.prefix.empty() || !archive.zip64Record.empty()) {
        Archive changed = archive;
        changed.comment.clear();
        changed.prefix.clear();
        add(changed);
        changed = archive;
        changed.zip64Record.clear();
        changed.locator.clear();
        add(changed);
    }
    return out;
}

void FixChecksums(Archive& archive)
{
    for (Entry& entry : archive.entries) {
        Bytes plain;
        uint16_t method = 0;
        if (!PlainData(entry, plain, method)) {
            continue;
        }
        if (method == zip::kMethodDeflate) {
            Bytes inflated;
            if (!Inflate(plain.data(), plain.size(), inflated)) {
                continue;
            }
            plain.swap(inflated);
        } else if (method != zip::kMethodStored) {
            continue;
        }
        zip::AesParameters aes;
        bool aeTwo = Get(entry.central, kCentralMethod, 2) == zip::kMethodAes &&
                     zip::FindAesParameters(entry.extra.data(), entry.extra.size(), aes) &&
                     aes.vendorVersion == zip::kAesVersion2;
        uint32_t crc = aeTwo ? 0 : Crc(plain);
        SetBoth(entry, kCentralCrc, kLocalCrc, crc, 4);
        if (Get(entry.central, kCentralSize, 4) != kMarker) {
            SetBoth(entry, kCentralSize, kLocalSize, plain.size(), 4);
        }
        size_t crcAt = Get(entry.descriptor, 0, 4) == zip::kDataDescriptorSignature ? 4 : 0;
        Put(entry.descriptor, crcAt, crc, 4);
    }
}

}  // namespace fuzzzip
