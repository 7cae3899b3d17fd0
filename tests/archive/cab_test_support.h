// Shared pieces of the cabinet tests: helpers that read a cabinet's
// records back from its bytes.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/cab_builder.h"
#include "common/wstring.h"
#include "support/private_settings.h"
#include "support/test_files.h"

struct CabFileRecord {
    std::string name;
    uint32_t size;
    uint16_t folder;
    uint16_t attribs;
};

struct CabUnitRecord {
    uint32_t start;
    uint16_t blocks;
    uint16_t type;
};

// The directory of a cabinet without reserve areas or set names.
struct CabDirectory {
    uint16_t flags = 0;
    std::vector<CabUnitRecord> units;
    std::vector<CabFileRecord> files;
};
CabDirectory ReadDirectory(const Bytes& cabinet, size_t folderTable = 36);

// The raw bytes (headers and data) of all data blocks of one unit.
Bytes UnitBytes(const Bytes& cabinet, const CabUnitRecord& unit);

std::vector<std::wstring> ListNames(class CArcFile& archive);

// Tests on cabinets written into a scratch folder of their own.
class CabinetTest : public testing::Test {
protected:
    WString Write(const Bytes& bytes, const wchar_t* name = L"t.cab")
    {
        WString path = scratch_ / name;
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    ScratchFolder scratch_;
};
