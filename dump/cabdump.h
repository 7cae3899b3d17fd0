// The structural report of a cabinet: header, reserve data, the names of the
// neighbouring cabinets of a set, the compression units, the file records and
// every data block with its checksum, and the byte regions of all of them.
// Unlike the reader it accepts cabinets of a set and reserve bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/cab_records.h"
#include "dump/arcdump.h"

enum ARA_CABRECORDTYPE {
    kCabHeader = 0,
    kCabReserve = 1,
    kCabPrevCabinet = 2,
    kCabNextCabinet = 3,
    kCabFile = 4,
    kCabFolder = 5,
    kCabFolderData = 6,
};

class CCabDump : public CArcDump<ARA_CABRECORDTYPE> {
public:
    CCabDump(const WString& archivePath, const WString& reportPath);
    bool Dump() override;

private:
    struct FileItem {
        WString name;
        uint16_t folder;
        uint32_t offset;
        uint32_t size;
    };

    bool DumpHeader();
    bool DumpSetNames(ARA_CABRECORDTYPE type, const char* label, const wchar_t* cabinetTitle,
                      const wchar_t* diskTitle);
    bool ReadSetName(const char* label, std::vector<char>& name);
    bool DumpFolders();
    bool DumpFiles();
    bool DumpFolderData(size_t k);
    void WriteVersionPart(uint8_t part);

    cab::Header header_{};
    cab::ReserveSizes reserve_{};
    uint64_t position_ = 0;
    std::vector<cab::Folder> folders_;
    std::vector<FileItem> files_;
    // Indexes into files_ of the files of each unit, in record order.
    std::vector<std::vector<size_t>> filesOfFolder_;
};
