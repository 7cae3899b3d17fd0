// The structural report shared by both archive formats: the report file and
// its header, reads and seeks that leave an error line in the report, and the
// register of byte regions that ends every report with an account of bytes
// no record claims and bytes two records claim. The format dumps derive from
// CArcDump over their record-type enumeration and walk their format.
#pragma once

#include <windows.h>
#include <cstdint>
#include <vector>

#include "common/handles.h"
#include "common/wstring.h"
#include "dump/report_stream.h"

enum MarkerKind {
    kRegionEnd = 0,
    kRegionStart = 1,
};

// One region boundary; typeIndex is the record type as a number.
struct RegionMarker {
    uint64_t offset;
    int kind;
    int typeIndex;
    // 0-based number of the record of its type, -1 for an unnumbered one.
    int number;
    // Order of arrival: among equal offsets and kinds the newest comes first.
    uint32_t sequence;
};

class ArcDumpBase {
public:
    // Writes the report header and opens the archive.
    ArcDumpBase(const WString& archivePath, const WString& reportPath);
    virtual ~ArcDumpBase();
    ArcDumpBase(const ArcDumpBase&) = delete;
    ArcDumpBase& operator=(const ArcDumpBase&) = delete;

    // Walks the archive and writes its report; true when the report was
    // completed with its region check.
    virtual bool Dump() = 0;

    bool ReportOpened() const { return report_.IsOpen(); }
    uint64_t FileSize() const { return fileSize_; }
    int HexWidth() const { return hexWidth_; }

protected:
    // Reads from the current position. A short read counts as success only
    // when allowed; got (optional) tells how many bytes arrived.
    bool Read(void* buffer, DWORD length, const char* label, bool shortAllowed = false, DWORD* got = nullptr);
    bool Seek(uint64_t offset, const char* label);
    void WriteReadError(DWORD code, DWORD got, const char* label);

    void AddMarkerIndex(uint64_t offset, int kind, int typeIndex, int number);
    void AddRegionIndex(int typeIndex, uint64_t offset, uint64_t length, int number);
    // The names of the record types, indexed by value; set before the check.
    void SetRecordTypeNames(const WString* names, int count);
    WString RegionLabel(const RegionMarker& marker) const;
    // Writes the unclaimed and overlapping areas and the closing line.
    void RegionCheck();

    const WString& ArchivePath() const { return archivePath_; }

    ReportStream report_;

private:
    void WriteRegionLine(const RegionMarker& from, const RegionMarker& to, bool overlap);

    ScopedFile archive_;
    WString archivePath_;
    uint64_t fileSize_ = 0;
    int hexWidth_ = 1;
    std::vector<RegionMarker> markers_;
    uint32_t sequence_ = 0;
    const WString* typeNames_ = nullptr;
    int typeNameCount_ = 0;
};

template <typename T>
class CArcDump : public ArcDumpBase {
public:
    using ArcDumpBase::ArcDumpBase;

protected:
    void AddMarker(uint64_t offset, int kind, T type, int number)
    {
        AddMarkerIndex(offset, kind, static_cast<int>(type), number);
    }
    void AddRegion(T type, uint64_t offset, uint64_t length, int number)
    {
        AddRegionIndex(static_cast<int>(type), offset, length, number);
    }
};
