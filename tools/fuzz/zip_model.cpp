// The structural mutations of ZIP archives. Each changes one thing and
// leaves the archive as consistent as that change allows:
//   rename an entry (both headers, or only one of them) to a hostile name;
//   copy an entry (same name, a name that differs by case or "./"), drop
//   one, swap two; store or deflate its data again, or give it new data;
//   add an extra block (Zip64, NTFS times, AES, Unicode path, unknown,
//   cut short) or drop them; add or drop a data descriptor; add or drop
//   the Zip64 end records; mark an entry's sizes for Zip64; encrypt an
//   entry (traditional cipher or AES, with the fuzzing password); set odd
//   methods, versions, attributes and comments; turn an entry into a
//   folder.
#include "tools/fuzz/zip_model.h"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "archive/zip_crypto.h"
#include "archive/zip_names.h"
#include "archive/zip_records.h"

namespace fuzzzip {

const char kPassword[] = "fuzz";

namespace {

using fuzzbytes::Append;
using fuzzbytes::Put;

const uint32_t kMarker = 0xFFFFFFFF;

uint64_t Get(const Bytes& bytes, size_t at, int width) { return fuzzbytes::Get(bytes.data(), bytes.size(), at, width); }

// Offsets of the central header's fields.
const size_t kCentralFlags = 8, kCentralMethod = 10, kCentralCrc = 16, kCentralPacked = 20, kCentralSize = 24,
             kCentralOffset = 42;
// And of the local header's.
const size_t kLocalFlags = 6, kLocalMethod = 8, kLocalCrc = 14, kLocalPacked = 18, kLocalSize = 22;

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

// The Zip64 values of a central header: each marked field takes the next
// eight bytes of the block.
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

// The entry's data in the clear and its method inside the encryption;
// false for AES with a wrong password or a broken header.
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

// Gives the entry new data in the clear (method 0 or 8) with its CRC and
// sizes, dropping any encryption and descriptor.
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

Bytes RandomBytes(Random& random, size_t count)
{
    Bytes bytes(count);
    int style = static_cast<int>(random.Below(3));
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = style == 0 ? static_cast<uint8_t>(random.Next()) : style == 1 ? static_cast<uint8_t>('a' + i % 7)
                                                                                 : static_cast<uint8_t>(i * 7);
    }
    return bytes;
}

std::string NameVariant(const std::string& name, Random& random)
{
    switch (random.Below(6)) {
    case 0: {
        std::string upper = name;
        for (char& c : upper) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c >= 'A' && c <= 'Z' ? c + 32 : c);
        }
        return upper;
    }
    case 1:
        return "./" + name;
    case 2:
        return name + "/";
    case 3: {
        std::string backslashed = name;
        std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
        return backslashed;
    }
    case 4:
        return name + ".";
    default:
        return name;
    }
}

void Encrypt(Entry& entry, Random& random, bool aes)
{
    Bytes plain;
    uint16_t method = 0;
    if (IsEncrypted(entry) || !PlainData(entry, plain, method)) {
        return;
    }
    zip::SecretBytes password = Password();
    if (!aes) {
        uint16_t flags = static_cast<uint16_t>(Get(entry.central, kCentralFlags, 2) | zip::kFlagEncrypted);
        SetBoth(entry, kCentralFlags, kLocalFlags, flags, 2);
        Bytes sealed(zip::kPkwareHeaderSize);
        for (auto& b : sealed) {
            b = static_cast<uint8_t>(random.Next());
        }
        sealed.back() = (flags & zip::kFlagDataDescriptor) ? static_cast<uint8_t>(Get(entry.local, 11, 1))
                                                           : static_cast<uint8_t>(Get(entry.central, kCentralCrc + 3, 1));
        sealed.insert(sealed.end(), entry.data.begin(), entry.data.end());
        zip::PkwareCipher cipher(password);
        cipher.Encrypt(sealed.data(), sealed.size());
        entry.data.swap(sealed);
        SetBoth(entry, kCentralPacked, kLocalPacked, entry.data.size(), 4);
        return;
    }
    uint8_t strength = static_cast<uint8_t>(1 + random.Below(3));
    size_t saltSize = zip::AesSaltSize(strength);
    Bytes sealed(saltSize + 2);
    for (size_t i = 0; i < saltSize; ++i) {
        sealed[i] = static_cast<uint8_t>(random.Next());
    }
    zip::AesCtrCipher cipher;
    if (!cipher.Create(password, strength, sealed.data(), sealed.data() + saltSize)) {
        return;
    }
    Bytes inner = entry.data;
    uint8_t code[zip::kAesMacSize];
    if (!cipher.Encrypt(inner.data(), inner.size()) || !cipher.Code(code)) {
        return;
    }
    sealed.insert(sealed.end(), inner.begin(), inner.end());
    sealed.insert(sealed.end(), code, code + sizeof code);
    uint16_t version = random.OneIn(2) ? zip::kAesVersion1 : zip::kAesVersion2;
    Bytes block;
    Append(block, version, 2);
    block.push_back('A');
    block.push_back('E');
    block.push_back(strength);
    Append(block, method, 2);
    DropBlocks(entry.extra, zip::kExtraAes);
    DropBlocks(entry.localExtra, zip::kExtraAes);
    AddBlock(entry.extra, zip::kExtraAes, block);
    AddBlock(entry.localExtra, zip::kExtraAes, block);
    SetBoth(entry, kCentralMethod, kLocalMethod, zip::kMethodAes, 2);
    if (version == zip::kAesVersion2) {
        SetBoth(entry, kCentralCrc, kLocalCrc, 0, 4);
    }
    entry.data.swap(sealed);
    SetBoth(entry, kCentralPacked, kLocalPacked, entry.data.size(), 4);
}

Bytes ExtraBlockFor(Random& random, const Entry& entry, uint16_t& id)
{
    Bytes data;
    switch (random.Below(6)) {
    case 0:
        id = zip::kExtraZip64;
        for (size_t i = 0, n = 1 + random.Below(3); i < n; ++i) {
            Append(data, random.OneIn(2) ? entry.data.size() : random.Next() >> random.Below(64), 8);
        }
        break;
    case 1:
        id = zip::kExtraNtfs;
        Append(data, 0, 4);
        Append(data, 1, 2);
        Append(data, 24, 2);
        for (int i = 0; i < 3; ++i) {
            Append(data, random.Next() >> random.Below(8), 8);
        }
        if (random.OneIn(3)) {
            data.resize(random.Below(data.size() + 8));
        }
        break;
    case 2:
        id = zip::kExtraAes;
        Append(data, 1 + random.Below(3), 2);
        data.push_back('A');
        data.push_back('E');
        data.push_back(static_cast<uint8_t>(random.Below(5)));
        Append(data, random.OneIn(2) ? 8 : random.Below(100), 2);
        if (random.OneIn(4)) {
            data.resize(random.Below(data.size()));
        }
        break;
    case 3: {
        id = zip::kExtraUnicodePath;
        data.push_back(random.OneIn(4) ? 2 : 1);
        const std::string& name = random.OneIn(2) ? entry.name : random.Pick(fuzzbytes::HostileNames());
        uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(entry.name.data()), static_cast<uInt>(entry.name.size())));
        Append(data, random.OneIn(5) ? crc ^ 1 : crc, 4);
        data.insert(data.end(), name.begin(), name.end());
        break;
    }
    case 4:
        id = static_cast<uint16_t>(random.Next());
        data = RandomBytes(random, random.Skewed(64));
        break;
    default:
        id = static_cast<uint16_t>(random.Pick(std::vector<uint16_t>{0x5455, 0x7875, 0x000d, 0x0017, 0xcafe}));
        data = RandomBytes(random, random.Skewed(40));
        break;
    }
    return data;
}

// Marks the sizes (and sometimes the offset) of the central header and the
// sizes of the local one for Zip64, with the values in Zip64 blocks.
void MarkZip64(Entry& entry, Random& random)
{
    uint64_t size = Get(entry.central, kCentralSize, 4);
    uint64_t packed = Get(entry.central, kCentralPacked, 4);
    if (size == kMarker || packed == kMarker) {
        return;
    }
    bool offset = random.OneIn(2) && Get(entry.central, kCentralOffset, 4) != kMarker;
    DropBlocks(entry.extra, zip::kExtraZip64);
    DropBlocks(entry.localExtra, zip::kExtraZip64);
    Bytes central;
    Append(central, size, 8);
    Append(central, packed, 8);
    if (offset) {
        Append(central, 0, 8);  // the writer puts the offset in
        Put(entry.central, kCentralOffset, kMarker, 4);
    }
    AddBlock(entry.extra, zip::kExtraZip64, central);
    Bytes local;
    Append(local, size, 8);
    Append(local, packed, 8);
    AddBlock(entry.localExtra, zip::kExtraZip64, local);
    SetBoth(entry, kCentralSize, kLocalSize, kMarker, 4);
    SetBoth(entry, kCentralPacked, kLocalPacked, kMarker, 4);
}

void ToggleDescriptor(Entry& entry, Random& random)
{
    uint16_t flags = static_cast<uint16_t>(Get(entry.central, kCentralFlags, 2));
    if (flags & zip::kFlagDataDescriptor) {
        SetBoth(entry, kCentralFlags, kLocalFlags, flags & ~zip::kFlagDataDescriptor, 2);
        entry.descriptor.clear();
        return;
    }
    SetBoth(entry, kCentralFlags, kLocalFlags, flags | zip::kFlagDataDescriptor, 2);
    entry.descriptor.clear();
    if (random.OneIn(2)) {
        Append(entry.descriptor, zip::kDataDescriptorSignature, 4);
    }
    Append(entry.descriptor, Get(entry.central, kCentralCrc, 4), 4);
    int width = random.OneIn(4) ? 8 : 4;
    Append(entry.descriptor, entry.data.size(), width);
    Append(entry.descriptor, Get(entry.central, kCentralSize, 4), width);
    // Streaming writers leave the local header's values zero.
    if (random.OneIn(2)) {
        Put(entry.local, kLocalCrc, 0, 4);
        Put(entry.local, kLocalPacked, 0, 4);
        Put(entry.local, kLocalSize, 0, 4);
    }
}

bool MutateEntry(Archive& archive, Entry& entry, Random& random)
{
    switch (random.Below(16)) {
    case 0:
    case 1: {
        std::string name = random.OneIn(3) ? NameVariant(entry.name, random) : random.Pick(fuzzbytes::HostileNames());
        entry.name = name;
        entry.localName = name;
        return true;
    }
    case 2:
        (random.OneIn(2) ? entry.name : entry.localName) = random.Pick(fuzzbytes::HostileNames());
        return true;
    case 3: {
        Entry copy = entry;
        copy.name = copy.localName = random.OneIn(2) ? entry.name : NameVariant(entry.name, random);
        archive.entries.insert(archive.entries.begin() + static_cast<long>(random.Below(archive.entries.size() + 1)),
                               copy);
        return true;
    }
    case 4: {
        Bytes plain;
        uint16_t method = 0;
        if (IsEncrypted(entry) || !PlainData(entry, plain, method)) {
            return false;
        }
        if (method == zip::kMethodDeflate) {
            Bytes inflated;
            if (!Inflate(plain.data(), plain.size(), inflated)) {
                return false;
            }
            SetData(entry, zip::kMethodStored, inflated, inflated);
        } else {
            Bytes packed;
            if (!RawDeflate(plain, packed)) {
                return false;
            }
            SetData(entry, zip::kMethodDeflate, plain, packed);
        }
        return true;
    }
    case 5: {
        Bytes plain = RandomBytes(random, random.Skewed(70000));
        Bytes packed = plain;
        bool deflated = random.OneIn(2) && RawDeflate(plain, packed);
        SetData(entry, deflated ? zip::kMethodDeflate : zip::kMethodStored, plain, deflated ? packed : plain);
        return true;
    }
    case 6: {
        uint16_t id = 0;
        Bytes data = ExtraBlockFor(random, entry, id);
        Bytes& extra = random.OneIn(3) ? entry.localExtra : entry.extra;
        AddBlock(extra, id, data);
        if (random.OneIn(6) && !extra.empty()) {
            extra.resize(extra.size() - 1 - random.Below(std::min<size_t>(extra.size(), 6)));
        }
        return true;
    }
    case 7:
        (random.OneIn(2) ? entry.extra : entry.localExtra).clear();
        return true;
    case 8:
        ToggleDescriptor(entry, random);
        return true;
    case 9:
        MarkZip64(entry, random);
        return true;
    case 10:
        Encrypt(entry, random, random.OneIn(8));
        return true;
    case 11:
        if (random.OneIn(2)) {
            entry.comment = random.OneIn(2) ? std::string() : random.Pick(fuzzbytes::HostileNames());
        } else {
            archive.comment = random.OneIn(2) ? std::string() : std::string(random.Skewed(300), 'c');
        }
        return true;
    case 12: {
        uint16_t method = static_cast<uint16_t>(random.Pick(std::vector<uint16_t>{0, 1, 6, 8, 9, 12, 14, 93, 95, 98, 99}));
        if (random.OneIn(2)) {
            SetBoth(entry, kCentralMethod, kLocalMethod, method, 2);
        } else {
            Put(random.OneIn(2) ? entry.central : entry.local, random.OneIn(2) ? kCentralMethod : kLocalMethod, method,
                2);
        }
        return true;
    }
    case 13:
        Put(entry.central, 4, random.Next(), 2);
        Put(entry.central, 6, random.Pick(std::vector<uint16_t>{10, 20, 45, 51, 63, 0xFFFF}), 2);
        Put(entry.local, 4, random.Pick(std::vector<uint16_t>{10, 20, 45, 51, 63, 0xFFFF}), 2);
        return true;
    case 14:
        Put(entry.central, 38,
            random.Pick(std::vector<uint32_t>{0x10, 0x01, 0x20, 0x07, 0x81A40000, 0x41ED0010, 0xA1FF0000, 0xFFFFFFFF,
                                              static_cast<uint32_t>(random.Next())}),
            4);
        return true;
    default:
        if (entry.name.empty() || entry.name.back() != '/') {
            entry.name += '/';
            entry.localName = entry.name;
        }
        SetData(entry, zip::kMethodStored, Bytes(), Bytes());
        return true;
    }
}

}  // namespace

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

bool MutateStructure(Archive& archive, Random& random)
{
    if (archive.end.size() != 22) {
        return false;
    }
    if (archive.entries.empty() || random.OneIn(12)) {
        switch (random.Below(4)) {
        case 0:
            if (archive.zip64Record.empty()) {
                archive.zip64Record.assign(56, 0);
                Put(archive.zip64Record, 0, zip::kZip64EndRecordSignature, 4);
                Put(archive.zip64Record, 12, 45, 2);
                Put(archive.zip64Record, 14, 45, 2);
                archive.locator.assign(20, 0);
                Put(archive.locator, 0, zip::kZip64LocatorSignature, 4);
                Put(archive.locator, 16, 1, 4);
                if (random.OneIn(2)) {
                    Put(archive.end, 16, kMarker, 4);
                }
            } else {
                archive.zip64Record.clear();
                archive.locator.clear();
            }
            return true;
        case 1:
            archive.prefix.insert(archive.prefix.begin(), random.Skewed(600), 'P');
            return true;
        case 2:
            if (archive.entries.size() >= 2) {
                std::swap(archive.entries[random.Below(archive.entries.size())],
                          archive.entries[random.Below(archive.entries.size())]);
                return true;
            }
            return false;
        default:
            if (!archive.entries.empty()) {
                archive.entries.erase(archive.entries.begin() + static_cast<long>(random.Below(archive.entries.size())));
                return true;
            }
            return false;
        }
    }
    Entry& entry = archive.entries[random.Below(archive.entries.size())];
    return MutateEntry(archive, entry, random);
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
