// Reading a cabinet's directory: the header check, the file-record walk
// into the sorted entry list, the listing with derived folders, and the
// information about one entry.
#include <cstdio>
#include <cstring>
#include <vector>

#include "archive/cab_layout.h"
#include "archive/cabfile.h"
#include "common/dos_time.h"
#include "common/paths.h"

using namespace cablayout;

namespace {

uint64_t FileSizeOf(HANDLE file)
{
    LARGE_INTEGER size{};
    return GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

// Offset of the first folder record: after the header, its reserve fields
// and reserved area, and the names of the previous and next cabinets of a
// set. False when those names run past the end of the file.
bool FolderTableOffset(CArcFile& archive, HANDLE file, const cab::Header& header, const cab::ReserveSizes& reserve,
                       uint64_t fileSize, uint64_t& offset)
{
    offset = sizeof(cab::Header);
    if (header.flags & cab::kFlagReservePresent) {
        offset += sizeof(cab::ReserveSizes) + reserve.cbCFHeader;
    }
    return SkipSetNames(archive, file, header, offset) && offset <= fileSize;
}

}  // namespace

CCabFileEnum::CCabFileEnum(const WString& archivePath, bool keepWorkFolder) : CArcFile(archivePath, keepWorkFolder)
{
    if (!HasError() && PathExists(archivePath)) {
        ReadDirectory();
    }
}

void CCabFileEnum::MarkDamaged(const WString& reason)
{
    damaged_ = true;
    modifiable_ = false;
    SetErrorText(reason);
}

void CCabFileEnum::ReadDirectory()
{
    ScopedFile file(OpenArchive());
    if (!file) {
        return;
    }
    uint64_t fileSize = FileSizeOf(file.Get());
    DWORD got = 0;
    if (!ReadBlock(file.Get(), &header_, sizeof header_, "CFHEADER", &got)) {
        return;
    }
    if (got != sizeof header_ || header_.signature != cab::kSignature) {
        header_ = cab::Header{};
        SetErrorText(kNotCabinet);
        return;
    }
    cab::ReserveSizes reserve{};
    if (header_.flags & cab::kFlagReservePresent) {
        if (!ReadBlock(file.Get(), &reserve, sizeof reserve, "CFHEADERRESERVE")) {
            return;
        }
        if (reserve.cbCFFolder != 0 || reserve.cbCFData != 0) {
            modifiable_ = false;
        }
    }
    if (header_.coffFiles > fileSize) {
        MarkDamaged(WString(kOffsetOutside) + L"CFHEADER");
        return;
    }

    // The names are sorted once, all read, by precomputed keys: put into
    // the sorted list one by one, a cabinet of many thousand file records
    // would cost a shift of the list and a locale comparison per halving
    // step for each. Equal names keep the order of their records.
    SortKeys keys;
    uint64_t offset = header_.coffFiles;
    for (unsigned i = 0; i < header_.cFiles; ++i) {
        uint8_t record[sizeof(cab::File) + kNameWindow] = {};
        if (!SeekTo(file.Get(), offset, "CFFILE") || !ReadBlock(file.Get(), record, sizeof record, "CFFILE", &got)) {
            break;
        }
        cab::File fixed;
        memcpy(&fixed, record, sizeof fixed);
        WString name;
        uint32_t length = 0;
        if (got <= sizeof fixed ||
            !DecodeName(record + sizeof fixed, got - sizeof fixed, fixed.attribs, name, length)) {
            MarkDamaged(kBrokenName);
            break;
        }
        if (!IsValidFolderIndex(fixed.iFolder, header_)) {
            MarkDamaged(kFolderOutOfRange);
            break;
        }
        keys.Add(name.c_str(), name.Length());
        recordUnits_.push_back(fixed.iFolder);
        entries_.AppendInOrder(std::move(name), CabEntryRecord{length + 1, fixed.iFolder, fixed.uoffFolderStart,
                                                               fixed.cbFile});
        offset += length + 17;
    }
    std::vector<int> order(static_cast<size_t>(entries_.Count()));
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<int>(i);
    }
    std::vector<char> equalToPrevious;
    keys.Sort(order, equalToPrevious);
    entries_.Reorder(order);
    if (damaged_ || HasError()) {
        return;
    }

    // Units whose records point outside the file, or whose blocks are larger
    // than the format allows, would make extraction and merging misbehave.
    uint64_t folderOffset = 0;
    if (!FolderTableOffset(*this, file.Get(), header_, reserve, fileSize, folderOffset)) {
        MarkDamaged(WString(kOffsetOutside) + L"CFHEADER");
        return;
    }
    uint32_t folderSize = sizeof(cab::Folder) + reserve.cbCFFolder;
    for (unsigned i = 0; i < header_.cFolders; ++i) {
        cab::Folder folder{};
        WString fault;
        if (!SeekTo(file.Get(), folderOffset + static_cast<uint64_t>(i) * folderSize, "CFFOLDER") ||
            !ReadBlock(file.Get(), &folder, sizeof folder, "CFFOLDER", &got)) {
            modifiable_ = false;
            return;
        }
        if (got != sizeof folder) {
            MarkDamaged(WString(kOffsetOutside) + L"CFFOLDER");
            return;
        }
        if (!CheckDataBlocks(*this, file.Get(), fileSize, i, folder, reserve.cbCFData, BlockCheck::kExtents, nullptr,
                             fault)) {
            MarkDamaged(fault);
            return;
        }
        units_.push_back(folder);
    }
    dataReserve_ = reserve.cbCFData;
}

bool CCabFileEnum::GetEntryNames(StringList& names)
{
    BusyCursor busy(*this, kListCursor);
    names.Clear();
    for (int i = 0; i < entries_.Count(); ++i) {
        names.Insert(entries_.Name(i));
    }
    StringList seen(true);
    for (int i = 0; i < entries_.Count(); ++i) {
        const WString& name = entries_.Name(i);
        for (int at = name.FindChar(L'\\'); at >= 0; at = name.FindChar(L'\\', at + 1)) {
            WString folder = name.Left(at + 1);
            if (seen.Find(folder) < 0) {
                seen.Insert(folder);
                names.Insert(folder);
            }
        }
    }
    return true;
}

namespace {

// (packed ÷ unpacked) × size in single precision, as the estimate has
// always been computed; values that do not fit a signed 32-bit integer give
// 0x80000000. A unit without data holds only empty files, which take no room.
DWORD EstimatePackedSize(uint64_t packed, uint64_t unpacked, uint32_t size)
{
    if (unpacked == 0) {
        return 0;
    }
    float ratio = static_cast<float>(packed) / static_cast<float>(unpacked);
    float estimate = ratio * static_cast<float>(size);
    if (!(estimate >= -2147483648.0f && estimate < 2147483648.0f)) {
        return 0x80000000u;
    }
    return static_cast<DWORD>(static_cast<int32_t>(estimate));
}

}  // namespace

bool CCabFile::GetEntryInfo(const WString& entryPath, DWORD& size, DWORD& packedSize, FILETIME& lastWrite,
                            DWORD& attributes, StringList& lines)
{
    BusyCursor busy(*this, kListCursor);
    ScopedFile file(OpenArchive());
    if (!file) {
        return false;
    }
    cab::Header header{};
    DWORD got = 0;
    if (!ReadBlock(file.Get(), &header, sizeof header, "cfHeader", &got)) {
        return false;
    }
    if (got != sizeof header || header.signature != cab::kSignature) {
        SetErrorText(kNotCabinet);
        return false;
    }
    if (header.flags & (cab::kFlagPrevCabinet | cab::kFlagNextCabinet)) {
        SetErrorText(kCabinetSet);
        return false;
    }
    lines.Clear();
    if (entryPath.IsEmpty() && (header.flags & cab::kFlagReservePresent)) {
        cab::ReserveSizes reserve{};
        if (!ReadBlock(file.Get(), &reserve, sizeof reserve, "cfHeaderReserve")) {
            return false;
        }
        if (reserve.cbCFHeader != 0 || reserve.cbCFFolder != 0 || reserve.cbCFData != 0) {
            wchar_t line[100];
            swprintf(line, 100, L"追加データのサイズ\u3000ヘッダー：%d、圧縮単位：%d、データ：%d",
                     static_cast<int>(reserve.cbCFHeader), static_cast<int>(reserve.cbCFFolder),
                     static_cast<int>(reserve.cbCFData));
            lines.Insert(WString(line));
        }
    }

    uint64_t offset = header.coffFiles;
    cab::File found{};
    bool isFound = false;
    for (unsigned i = 0; i < header.cFiles && !isFound; ++i) {
        uint8_t record[sizeof(cab::File) + kNameWindow] = {};
        if (!SeekTo(file.Get(), offset, "CFFILE") || !ReadBlock(file.Get(), record, sizeof record, "CFFILE", &got)) {
            break;
        }
        WString name;
        uint32_t length = 0;
        memcpy(&found, record, sizeof found);
        if (got <= sizeof found || !DecodeName(record + sizeof found, got - sizeof found, found.attribs, name, length)) {
            break;
        }
        isFound = lstrcmpW(name.c_str(), entryPath.c_str()) == 0;
        offset += length + 17;
    }
    if (!isFound) {
        return false;
    }

    size = found.cbFile;
    packedSize = EstimateFromUnit(file.Get(), header, found);
    lastWrite = DosDateTimeToUtc(found.date, found.time);
    attributes = found.attribs & cab::kFileAttributeMask;
    return true;
}

DWORD CCabFile::EstimateFromUnit(HANDLE file, const cab::Header& header, const cab::File& entry)
{
    const DWORD kUnknown = static_cast<DWORD>(-1);
    uint64_t folderTable = sizeof(cab::Header);
    cab::ReserveSizes reserve{};
    DWORD got = 0;
    if (header.flags & cab::kFlagReservePresent) {
        if (!SeekTo(file, sizeof(cab::Header), "CFHEADERRESERVE") ||
            !ReadBlock(file, &reserve, sizeof reserve, "CFHEADERRESERVE", &got) || got != sizeof reserve) {
            return kUnknown;
        }
        folderTable = 40 + reserve.cbCFHeader;
    }
    if (entry.iFolder >= header.cFolders) {
        return kUnknown;
    }
    cab::Folder folder{};
    uint64_t at = folderTable + static_cast<uint64_t>(entry.iFolder) * (reserve.cbCFFolder + 8u);
    if (!SeekTo(file, at, "CFFOLDER") || !ReadBlock(file, &folder, sizeof folder, "CFFOLDER", &got) ||
        got != sizeof folder) {
        return kUnknown;
    }
    uint64_t packed = 0;
    uint64_t unpacked = 0;
    if (!UnitTotals(file, folder, reserve.cbCFData, packed, unpacked)) {
        return kUnknown;
    }
    return EstimatePackedSize(packed, unpacked, entry.cbFile);
}

bool CCabFile::UnitTotals(HANDLE file, const cab::Folder& folder, uint8_t dataReserve, uint64_t& packed,
                          uint64_t& unpacked)
{
    packed = 0;
    unpacked = 0;
    uint64_t at = folder.coffCabStart;
    for (unsigned i = 0; i < folder.cCFData; ++i) {
        cab::DataBlock block{};
        DWORD got = 0;
        if (!SeekTo(file, at, "CFDATA") || !ReadBlock(file, &block, sizeof block, "CFDATA", &got) ||
            got != sizeof block) {
            return false;
        }
        packed += block.cbData;
        unpacked += block.cbUncomp;
        at += dataReserve + block.cbData + 8u;
    }
    return true;
}
