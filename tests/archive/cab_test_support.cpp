#include "archive/cab_test_support.h"

#include "archive/arcfile.h"
#include "common/stringlist.h"

CabDirectory ReadDirectory(const Bytes& cabinet, size_t folderTable)
{
    CabDirectory directory;
    directory.flags = GetU16(cabinet, 30);
    uint16_t folders = GetU16(cabinet, 26);
    uint16_t files = GetU16(cabinet, 28);
    for (uint16_t i = 0; i < folders; ++i) {
        size_t at = folderTable + 8u * i;
        directory.units.push_back({GetU32(cabinet, at), GetU16(cabinet, at + 4), GetU16(cabinet, at + 6)});
    }
    size_t at = GetU32(cabinet, 16);
    for (uint16_t i = 0; i < files; ++i) {
        CabFileRecord record;
        record.size = GetU32(cabinet, at);
        record.folder = GetU16(cabinet, at + 8);
        record.attribs = GetU16(cabinet, at + 14);
        record.name = reinterpret_cast<const char*>(&cabinet[at + 16]);
        at += 17 + record.name.size();
        directory.files.push_back(record);
    }
    return directory;
}

Bytes UnitBytes(const Bytes& cabinet, const CabUnitRecord& unit)
{
    size_t at = unit.start;
    for (uint16_t i = 0; i < unit.blocks; ++i) {
        at += 8 + GetU16(cabinet, at + 4);
    }
    return Bytes(cabinet.begin() + unit.start, cabinet.begin() + at);
}

std::vector<std::wstring> ListNames(CArcFile& archive)
{
    StringList names(false);
    archive.GetEntryNames(names);
    std::vector<std::wstring> result;
    for (int i = 0; i < names.Count(); ++i) {
        result.push_back(names[i].c_str());
    }
    return result;
}
