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
#include "tools/fuzz/zip_model_parts.h"

namespace fuzzzip {

namespace {

using fuzzbytes::Append;
using fuzzbytes::Put;

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

}  // namespace fuzzzip
