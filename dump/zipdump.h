// The structural report of a ZIP archive: from the end record back to the
// central directory and on to every local header, with every field, every
// disagreement between the copies of an entry's fields, and the byte regions
// of all records. It finds a central directory that bytes prepended to the
// archive have shifted, after asking.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/zip_records.h"
#include "dump/arcdump.h"

enum ARA_ZIPRECORDTYPE {
    kZipEndRecord = 0,
    kZipLocator = 1,
    kZip64EndRecord = 2,
    kZipCentralDir = 3,
    kZipLocalHeader = 4,
    kZipFileData = 5,
    kZipDataDescriptor = 6,
};

// What an extra field says about an entry. The sizes and the offset start as
// the header's 32-bit values; a Zip64 block replaces those that are all ones.
struct ZipExtraValues {
    uint64_t size = 0;
    uint64_t packedSize = 0;
    uint64_t headerOffset = 0;
    bool hasZip64 = false;
    bool hasTimes = false;
    FILETIME lastWrite{};
    FILETIME lastAccess{};
    FILETIME creation{};
};

class CZipDump : public CArcDump<ARA_ZIPRECORDTYPE> {
public:
    CZipDump(const WString& archivePath, const WString& reportPath);
    bool Dump() override;

    bool Zip64() const { return zip64_; }
    int64_t Shift() const { return shift_; }

private:
    struct Entry {
        zip::CentralHeader header;
        std::string name;
        ZipExtraValues values;
    };

    bool DumpEndRecords();
    bool DumpZip64Records(uint64_t locatorOffset);
    // The directory of a forced Zip64 archive without Zip64 end records,
    // when it lies directly before the end record.
    bool DirectoryBeforeEndRecord(const zip::EndRecord& record, uint64_t recordOffset);
    bool FindCentralDirectory();
    bool DumpCentralHeaders();
    bool DumpLocalHeader(size_t t);
    // Lists the blocks of an extra field when a report line is wanted and
    // takes the Zip64 values (the offset only when offsetAllowed) and the NTFS
    // times. False when a block is malformed.
    bool DumpExtraField(const uint8_t* bytes, size_t length, uint32_t size32, uint32_t packed32, uint32_t offset32,
                        ZipExtraValues& values, bool offsetAllowed, bool write);
    bool DumpDataDescriptor(uint64_t dataStart, const Entry& entry, size_t t, bool wide);
    void WriteSizeLine(const wchar_t* title, uint64_t value);
    // The name line of a central header, decoded as the engine reads it.
    void WriteEntryName(const std::string& stored, uint16_t flags, const std::vector<uint8_t>& extra);
    // The encryption flags of a central header, and the AES block's values.
    void WriteEncryption(uint16_t flags);
    void WriteAesBlock(const uint8_t* data, size_t available);
    void WriteTimes(const ZipExtraValues& values);

    bool zip64_ = false;
    uint32_t entryCount_ = 0;
    uint64_t centralDirSize_ = 0;
    uint64_t centralDirOffset_ = 0;
    // The end record, or the Zip64 end record in a Zip64 archive: the central
    // directory lies directly before it.
    uint64_t directoryEnd_ = 0;
    int64_t shift_ = 0;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, size_t> entryIndex_;
};
