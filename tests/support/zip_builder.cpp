#include "support/zip_builder.h"

#include "archive/le_bytes.h"
#include "archive/zip_records.h"

namespace {

uint32_t CrcByte(uint32_t crc, uint8_t byte)
{
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
        crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

}  // namespace

uint32_t ZipCrc(const std::string& data)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc = CrcByte(crc, byte);
    }
    return ~crc;
}

namespace {

struct PkwareKeys {
    explicit PkwareKeys(const std::string& password)
    {
        for (unsigned char c : password) {
            Update(c);
        }
    }
    void Update(uint8_t plain)
    {
        keys[0] = CrcByte(keys[0], plain);
        keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
        keys[2] = CrcByte(keys[2], static_cast<uint8_t>(keys[1] >> 24));
    }
    uint8_t KeyByte() const
    {
        uint32_t temp = (keys[2] | 2) & 0xFFFF;
        return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
    }
    uint32_t keys[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

}  // namespace

std::string ZipCryptoEncrypt(const std::string& password, const std::string& data, uint8_t check,
                             const std::string& decoy)
{
    // The first 11 header bytes are random in real archives; any will do,
    // and with a decoy they are chosen so that the decoy's key also finds
    // the check byte, as one wrong password in 256 does.
    for (uint32_t seed = 0;; ++seed) {
        std::string plain = std::string("0123456789A") + static_cast<char>(check) + data;
        for (int i = 0; i < 4; ++i) {
            plain[static_cast<size_t>(i)] = static_cast<char>(seed >> (8 * i));
        }
        PkwareKeys keys(password);
        std::string out;
        for (unsigned char c : plain) {
            out += static_cast<char>(c ^ keys.KeyByte());
            keys.Update(c);
        }
        if (decoy.empty()) {
            return out;
        }
        PkwareKeys wrong(decoy);
        uint8_t last = 0;
        for (size_t i = 0; i < 12; ++i) {
            last = static_cast<uint8_t>(static_cast<uint8_t>(out[i]) ^ wrong.KeyByte());
            wrong.Update(last);
        }
        if (last == check) {
            return out;
        }
    }
}

namespace {

uint16_t Get16(const Bytes& b, size_t at) { return LoadU16(b.data() + at); }

uint32_t Get32(const Bytes& b, size_t at) { return LoadU32(b.data() + at); }

// The fields that both headers hold in the same order, from the version
// needed to the extra field's length.
ByteBuilder& SharedHeaderFields(ByteBuilder& b, const ZipHeader& h)
{
    return b.U16(h.versionNeeded)                        // version needed to extract
        .U16(h.flags)                                    // general purpose flags
        .U16(h.method)                                   // compression method
        .U16(h.dosTime)                                  // DOS time
        .U16(h.dosDate)                                  // DOS date
        .U32(h.crc)                                      // CRC-32
        .U32(h.packedSize)                               // compressed size
        .U32(h.size)                                     // uncompressed size
        .U16(static_cast<uint16_t>(h.name.size()))       // name length
        .U16(static_cast<uint16_t>(h.extra.size()));     // extra field length
}

}  // namespace

Bytes ZipLocalHeader(const ZipHeader& h)
{
    ByteBuilder b;
    b.U32(zip::kLocalHeaderSignature);  // signature
    return SharedHeaderFields(b, h)
        .Text(h.name)  // name
        .Raw(h.extra)  // extra field
        .Get();
}

Bytes ZipCentralHeader(const ZipHeader& h)
{
    ByteBuilder b;
    b.U32(zip::kCentralHeaderSignature)  // signature
        .U16(h.versionMadeBy);           // version made by
    return SharedHeaderFields(b, h)
        .U16(static_cast<uint16_t>(h.comment.size()))  // comment length
        .U16(h.diskStart)                              // disk number start
        .U16(h.internalAttributes)                     // internal attributes
        .U32(h.externalAttributes)                     // external attributes
        .U32(h.headerOffset)                           // local header offset
        .Text(h.name)                                  // name
        .Raw(h.extra)                                  // extra field
        .Text(h.comment)                               // comment
        .Get();
}

Bytes ZipExtraBlock(uint16_t id, const Bytes& data, int claimedSize)
{
    return ByteBuilder()
        .U16(id)                                                                          // block id
        .U16(static_cast<uint16_t>(claimedSize >= 0 ? claimedSize : static_cast<int>(data.size())))  // data size
        .Raw(data)
        .Get();
}

Bytes Zip64Extra(std::initializer_list<uint64_t> values)
{
    ByteBuilder data;
    for (uint64_t value : values) {
        data.U64(value);
    }
    return ZipExtraBlock(zip::kExtraZip64, data.Get());
}

Bytes NtfsExtra(uint64_t written, uint64_t accessed, uint64_t created)
{
    return ZipExtraBlock(zip::kExtraNtfs, ByteBuilder()
                                              .U32(0)         // reserved
                                              .U16(1)         // attribute tag 1: times
                                              .U16(24)        // its size
                                              .U64(written)   // last write
                                              .U64(accessed)  // last access
                                              .U64(created)   // creation
                                              .Get());
}

Bytes UnicodePathExtra(const std::string& storedName, const std::string& utf8Name)
{
    return ZipExtraBlock(0x7075, ByteBuilder()         // Info-ZIP Unicode Path
                                     .U8(1)                    // version
                                     .U32(ZipCrc(storedName))  // CRC-32 of the stored name
                                     .Text(utf8Name)           // the name in UTF-8
                                     .Get());
}

Bytes ZipDataDescriptor(uint32_t crc, uint64_t packedSize, uint64_t size, bool withSignature, DescriptorSizes sizes)
{
    ByteBuilder b;
    if (withSignature) {
        b.U32(zip::kDataDescriptorSignature);  // signature
    }
    b.U32(crc);  // CRC-32
    if (sizes == DescriptorSizes::kWide) {
        b.U64(packedSize).U64(size);  // compressed and uncompressed size, 8 bytes each
    } else {
        b.U32(static_cast<uint32_t>(packedSize)).U32(static_cast<uint32_t>(size));  // 4 bytes each
    }
    return b.Get();
}

Bytes Zip64EndRecord(uint64_t entries, uint64_t directorySize, uint64_t directoryOffset, uint64_t recordSize)
{
    return ByteBuilder()
        .U32(zip::kZip64EndRecordSignature)  // signature
        .U64(recordSize)                      // size of the rest of the record
        .U16(45)                              // version made by
        .U16(45)                              // version needed
        .U32(0)                               // this disk
        .U32(0)                               // disk of the central directory
        .U64(entries)                         // entries on this disk
        .U64(entries)                         // total entries
        .U64(directorySize)                   // central directory size
        .U64(directoryOffset)                 // central directory offset
        .Get();
}

Bytes Zip64Locator(uint64_t recordOffset)
{
    return ByteBuilder()
        .U32(zip::kZip64LocatorSignature)  // signature
        .U32(0)                             // disk of the Zip64 end record
        .U64(recordOffset)                  // Zip64 end record offset
        .U32(1)                             // disks
        .Get();
}

Bytes ZipEndRecord(uint16_t entries, uint32_t directorySize, uint32_t directoryOffset)
{
    return ByteBuilder()
        .U32(zip::kEndRecordSignature)  // signature
        .U16(0)                          // number of this disk
        .U16(0)                          // disk of the central directory
        .U16(entries)                    // entries on this disk
        .U16(entries)                    // total entries
        .U32(directorySize)              // central directory size
        .U32(directoryOffset)            // central directory offset
        .U16(0)                          // comment length
        .Get();
}

Bytes BuildZip(const std::vector<ZipTestEntry>& entries, std::vector<uint32_t>* offsets, int endCount)
{
    ByteBuilder b;
    std::vector<ZipHeader> headers;
    std::vector<uint32_t> at;
    for (const ZipTestEntry& e : entries) {
        ZipHeader h;
        h.versionNeeded = e.localVersionNeeded ? e.localVersionNeeded : e.versionNeeded;
        h.flags = e.flags;
        h.method = e.method;
        h.dosTime = e.dosTime;
        h.dosDate = e.dosDate;
        h.crc = e.crc >= 0 ? static_cast<uint32_t>(e.crc) : ZipCrc(e.data);
        h.packedSize = static_cast<uint32_t>(e.data.size());
        h.size = e.uncompressedSize >= 0 ? static_cast<uint32_t>(e.uncompressedSize) : h.packedSize;
        h.name = e.name;
        h.extra = e.localExtra;
        at.push_back(static_cast<uint32_t>(b.Size()));
        b.Raw(ZipLocalHeader(h)).Text(e.data);
        h.versionNeeded = e.versionNeeded;
        h.extra = e.centralExtra;
        h.externalAttributes = e.attributes;
        h.headerOffset = e.offsetOverride >= 0 ? static_cast<uint32_t>(e.offsetOverride) : at.back();
        headers.push_back(h);
    }
    uint32_t directory = static_cast<uint32_t>(b.Size());
    for (const ZipHeader& h : headers) {
        b.Raw(ZipCentralHeader(h));
    }
    uint32_t size = static_cast<uint32_t>(b.Size()) - directory;
    uint16_t count = static_cast<uint16_t>(endCount >= 0 ? endCount : static_cast<int>(entries.size()));
    b.Raw(ZipEndRecord(count, size, directory));
    if (offsets) {
        *offsets = at;
    }
    return b.Get();
}

std::vector<ZipCentralRecord> ReadZipDirectory(const Bytes& archive)
{
    std::vector<ZipCentralRecord> records;
    if (archive.size() < 22) {
        return records;
    }
    size_t end = archive.size() - 22;
    uint16_t count = Get16(archive, end + 10);
    size_t at = Get32(archive, end + 16);
    for (uint16_t i = 0; i < count && at + 46 <= archive.size(); ++i) {
        uint16_t nameLength = Get16(archive, at + 28);
        uint16_t extraLength = Get16(archive, at + 30);
        uint16_t commentLength = Get16(archive, at + 32);
        ZipCentralRecord record;
        record.versionNeeded = Get16(archive, at + 6);
        record.flags = Get16(archive, at + 8);
        record.name.assign(archive.begin() + at + 46, archive.begin() + at + 46 + nameLength);
        record.extra.assign(archive.begin() + at + 46 + nameLength,
                            archive.begin() + at + 46 + nameLength + extraLength);
        records.push_back(record);
        at += 46 + nameLength + extraLength + commentLength;
    }
    return records;
}

ZipTestEntry EncryptedZipEntry(const std::string& name, const std::string& plain, const std::string& password,
                               uint16_t flags, const std::string& decoy)
{
    uint32_t crc = ZipCrc(plain);
    ZipTestEntry entry{name, ZipCryptoEncrypt(password, plain, static_cast<uint8_t>(crc >> 24), decoy)};
    entry.crc = crc;
    entry.uncompressedSize = static_cast<int64_t>(plain.size());
    entry.flags = flags;
    return entry;
}
