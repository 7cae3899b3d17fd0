#include "support/zip_builder.h"

#include "archive/zip_records.h"

uint32_t ZipCrc(const std::string& data)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

Bytes UnicodePathExtra(const std::string& storedName, const std::string& utf8Name)
{
    return ByteBuilder()
        .U16(0x7075)                                        // Info-ZIP Unicode Path
        .U16(static_cast<uint16_t>(5 + utf8Name.size()))    // block size
        .U8(1)                                              // version
        .U32(ZipCrc(storedName))                            // CRC-32 of the stored name
        .Text(utf8Name)                                     // the name in UTF-8
        .Get();
}

Bytes BuildZip(const std::vector<ZipTestEntry>& entries, std::vector<uint32_t>* offsets, int endCount)
{
    ByteBuilder b;
    std::vector<uint32_t> at;
    for (const ZipTestEntry& e : entries) {
        at.push_back(static_cast<uint32_t>(b.Size()));
        uint32_t crc = e.crc ? e.crc : ZipCrc(e.data);
        uint32_t size = e.uncompressedSize ? e.uncompressedSize : static_cast<uint32_t>(e.data.size());
        b.U32(zip::kLocalHeaderSignature)                                  // local header
            .U16(e.localVersionNeeded ? e.localVersionNeeded : e.versionNeeded)  // version needed
            .U16(e.flags)                                                  // flags
            .U16(e.method)                                                 // method
            .U16(e.dosTime)                                                // DOS time
            .U16(e.dosDate)                                                // DOS date
            .U32(crc)                                                      // CRC-32
            .U32(static_cast<uint32_t>(e.data.size()))                     // compressed size
            .U32(size)                                                     // uncompressed size
            .U16(static_cast<uint16_t>(e.name.size()))                     // name length
            .U16(static_cast<uint16_t>(e.localExtra.size()))               // extra length
            .Text(e.name)
            .Raw(e.localExtra)
            .Text(e.data);
    }
    uint32_t directory = static_cast<uint32_t>(b.Size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const ZipTestEntry& e = entries[i];
        uint32_t crc = e.crc ? e.crc : ZipCrc(e.data);
        uint32_t size = e.uncompressedSize ? e.uncompressedSize : static_cast<uint32_t>(e.data.size());
        uint32_t offset = e.offsetOverride >= 0 ? static_cast<uint32_t>(e.offsetOverride) : at[i];
        b.U32(zip::kCentralHeaderSignature)                      // central header
            .U16(20)                                             // made by
            .U16(e.versionNeeded)                                // needed
            .U16(e.flags)                                        // flags
            .U16(e.method)                                       // method
            .U16(e.dosTime)                                      // DOS time
            .U16(e.dosDate)                                      // DOS date
            .U32(crc)                                            // CRC-32
            .U32(static_cast<uint32_t>(e.data.size()))           // compressed size
            .U32(size)                                           // uncompressed size
            .U16(static_cast<uint16_t>(e.name.size()))           // name length
            .U16(static_cast<uint16_t>(e.centralExtra.size()))   // extra length
            .U16(0)                                              // comment length
            .U16(0)                                              // disk start
            .U16(0)                                              // internal attributes
            .U32(e.attributes)                                   // external attributes
            .U32(offset)                                         // local header offset
            .Text(e.name)
            .Raw(e.centralExtra);
    }
    uint32_t size = static_cast<uint32_t>(b.Size()) - directory;
    uint16_t count = static_cast<uint16_t>(endCount >= 0 ? endCount : static_cast<int>(entries.size()));
    b.U32(zip::kEndRecordSignature)  // end record
        .U16(0)                       // this disk
        .U16(0)                       // directory disk
        .U16(count)                   // entries on disk
        .U16(count)                   // total entries
        .U32(size)                    // directory size
        .U32(directory)               // directory offset
        .U16(0);                      // comment length
    if (offsets) {
        *offsets = at;
    }
    return b.Get();
}

namespace {

uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

uint32_t Get32(const Bytes& b, size_t at) { return Get16(b, at) | static_cast<uint32_t>(Get16(b, at + 2)) << 16; }

}  // namespace

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
