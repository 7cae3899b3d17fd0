// Cabinets whose data blocks are damaged: nothing damaged reaches the
// cabinet library's decoders, every operation that would decode or copy the
// unit refuses with the unit and block named, and the cabinet stays as it was.
#include <gtest/gtest.h>

#include <functional>

#include "archive/cab_test_support.h"
#include "archive/cabfile.h"
#include "common/paths.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"

namespace {

// Two units: the first of two blocks (its file spans them), the second of one.
std::vector<CabTestFile> TwoUnits()
{
    std::string big(40000, 'b');
    for (size_t i = 0; i < big.size(); i += 7) {
        big[i] = static_cast<char>('a' + i % 26);
    }
    return {{"big.txt", big, 0}, {"small.txt", "small", 0}, {"other\\sound.txt", "sound", 1}};
}

CabTestLayout TwoUnitLayout(uint8_t dataReserve)
{
    CabTestLayout layout;
    layout.folders = 2;
    layout.reservePresent = dataReserve != 0;
    layout.dataReserve = dataReserve;
    return layout;
}

struct BlockDamage {
    const char* what;
    std::function<void(Bytes&, size_t firstBlock, size_t reserve)> apply;
    // Found when the directory is read (block headers) or only when the
    // unit is checked before decoding (block data).
    bool foundOnOpen;
    const wchar_t* error;
};

std::vector<BlockDamage> Damages()
{
    return {
        {"data changed under a checksum",
         [](Bytes& b, size_t block, size_t reserve) {
             b[block + 8 + reserve + 100] ^= 0x55;
             b[block + 8 + reserve + 101] ^= 0x55;
         },
         false, L"データブロックのチェックサムが一致しません at CFDATA 圧縮単位 = 0, ブロック = 0"},
        {"reserve bytes changed under a checksum",
         [](Bytes& b, size_t block, size_t reserve) {
             if (reserve > 0) {
                 b[block + 8] ^= 0x01;
             } else {
                 b[block + 8 + 5] ^= 0x01;
             }
         },
         false, L"データブロックのチェックサムが一致しません at CFDATA 圧縮単位 = 0, ブロック = 0"},
        {"cbUncomp above 32768",
         [](Bytes& b, size_t block, size_t) {
             b[block + 6] = 0x01;
             b[block + 7] = 0x80;
         },
         true, L"データブロックの大きさが不正です at CFDATA 圧縮単位 = 0, ブロック = 0"},
        {"cbData above 32768 + 6144",
         [](Bytes& b, size_t block, size_t) {
             b[block + 4] = 0x01;
             b[block + 5] = 0x98;
         },
         true, L"データブロックの大きさが不正です at CFDATA 圧縮単位 = 0, ブロック = 0"},
    };
}

class CabBlockCheckTest : public CabinetTest {
protected:
    // The cabinet with the damage applied to the first block of unit 0.
    Bytes Damaged(const BlockDamage& damage, uint8_t dataReserve)
    {
        CabTestOffsets offsets;
        Bytes bytes = BuildStoredCabinet(TwoUnits(), TwoUnitLayout(dataReserve), &offsets);
        damage.apply(bytes, offsets.unitStarts[0], dataReserve);
        return bytes;
    }
    bool OutputIsEmpty()
    {
        AttrStringList items(false);
        return !(ListDirectory(scratch_ / L"out", items, L"*") && items.Count() > 0);
    }
    PrivateSettings settings_;
};

}  // namespace

TEST_F(CabBlockCheckTest, ExtractionOfADamagedUnitIsRefusedNamingUnitAndBlock)
{
    for (uint8_t reserve : {uint8_t(0), uint8_t(4)}) {
        for (const BlockDamage& damage : Damages()) {
            SCOPED_TRACE(std::string(damage.what) + ", block reserve " + std::to_string(reserve));
            Bytes before = Damaged(damage, reserve);
            WString path = Write(before);
            PromptRecorder prompts;
            prompts.Answer(IDOK);
            for (const wchar_t* entry : {L"", L"small.txt", L"big.txt"}) {
                SCOPED_TRACE(Utf8(entry));
                CCabFile cabinet(path);
                EXPECT_FALSE(cabinet.Extract(scratch_ / L"out", entry, false));
                EXPECT_STREQ(cabinet.ErrorText().c_str(), damage.error);
                cabinet.ClearErrorText();
                EXPECT_TRUE(OutputIsEmpty());
                RemoveTree(scratch_ / L"out");
            }
            EXPECT_EQ(ReadFileBytes(path), before);
        }
    }
}

TEST_F(CabBlockCheckTest, SoundUnitOfADamagedCabinetStillExtracts)
{
    Bytes before = Damaged(Damages()[0], 0);
    WString path = Write(before);
    CCabFile cabinet(path);
    ASSERT_TRUE(cabinet.Extract(scratch_ / L"out", L"other\\sound.txt", false)) << Utf8(cabinet.ErrorText().c_str());
    Bytes text = ReadFileBytes(scratch_ / L"out\\sound.txt");
    EXPECT_EQ(std::string(text.begin(), text.end()), "sound");
    ASSERT_TRUE(cabinet.Extract(scratch_ / L"out2", L"other\\", false)) << Utf8(cabinet.ErrorText().c_str());
    EXPECT_TRUE(PathExists(scratch_ / L"out2\\other\\sound.txt"));
}

TEST_F(CabBlockCheckTest, DeleteFromADamagedUnitLeavesTheCabinetUntouched)
{
    for (const BlockDamage& damage : Damages()) {
        SCOPED_TRACE(damage.what);
        Bytes before = Damaged(damage, 0);
        WString path = Write(before);
        PromptRecorder prompts;
        prompts.Answer(IDOK);
        {
            CCabFile cabinet(path);
            // A damaged header is refused at once; damaged data when the
            // kept file of the unit would be extracted again.
            EXPECT_EQ(cabinet.Delete(L"small.txt"), !damage.foundOnOpen);
        }
        EXPECT_EQ(prompts.LastText(), damage.error);
        EXPECT_EQ(ReadFileBytes(path), before);
        EXPECT_FALSE(PathExists(scratch_ / L"~t.cab"));
    }
}

TEST_F(CabBlockCheckTest, AddToADamagedCabinetLeavesItUntouched)
{
    WString fresh = scratch_ / L"new\\fresh.txt";
    CreateDirectoryTree(ParentDir(fresh), true);
    ASSERT_TRUE(WriteFileText(fresh, "fresh"));
    for (const BlockDamage& damage : Damages()) {
        SCOPED_TRACE(damage.what);
        Bytes before = Damaged(damage, 0);
        WString path = Write(before);
        PromptRecorder prompts;
        prompts.Answer(IDOK);
        {
            CCabFile cabinet(path);
            EXPECT_FALSE(cabinet.Add(fresh, WString(), 102));
            EXPECT_STREQ(cabinet.ErrorText().c_str(), damage.error);
        }
        EXPECT_EQ(ReadFileBytes(path), before);
        EXPECT_FALSE(PathExists(scratch_ / L"~tempadd.cab"));
        EXPECT_FALSE(PathExists(scratch_ / L"~t.cab"));
    }
}

TEST_F(CabBlockCheckTest, BlockPastTheEndOrMissingBlocksAreRefused)
{
    struct Case {
        const char* what;
        std::function<void(Bytes&, const CabTestOffsets&)> apply;
        const wchar_t* error;
    };
    std::vector<Case> cases = {
        {"file cut inside the block of unit 1",
         [](Bytes& b, const CabTestOffsets& o) { b.resize(o.unitStarts[1] + 8 + 2); },
         L"ファイルの外を指す位置があります at CFDATA 圧縮単位 = 1, ブロック = 0"},
        {"unit 0 claims more blocks than follow it",
         [](Bytes& b, const CabTestOffsets& o) {
             // Unit 0 says 200 blocks; walking them leaves the file.
             b[o.firstFolder + 4] = 200;
         },
         L"ファイルの外を指す位置があります at CFDATA 圧縮単位 = 0, ブロック = 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CabTestOffsets offsets;
        Bytes bytes = BuildStoredCabinet(TwoUnits(), TwoUnitLayout(0), &offsets);
        c.apply(bytes, offsets);
        WString path = Write(bytes);
        PromptRecorder prompts;
        prompts.Answer(IDOK);
        {
            CCabFile cabinet(path);
            EXPECT_STREQ(cabinet.ErrorText().c_str(), c.error);
            EXPECT_FALSE(cabinet.Extract(scratch_ / L"out", L"small.txt", false));
            EXPECT_FALSE(cabinet.Delete(L"small.txt"));
        }
        EXPECT_TRUE(OutputIsEmpty());
        EXPECT_EQ(ReadFileBytes(path), bytes);
    }
}

// The case that crashed the cabinet library: an MSZIP unit of two blocks
// whose first block's compressed data was changed under its checksum.
TEST_F(CabBlockCheckTest, DamagedMszipDataNeverReachesTheDecoder)
{
    std::string text;
    for (int i = 0; text.size() < 70000; ++i) {
        text += "line " + std::to_string(i * 7919 % 10007) + " of the compressed file\r\n";
    }
    WString source = scratch_ / L"src\\data.txt";
    CreateDirectoryTree(ParentDir(source), true);
    ASSERT_TRUE(WriteFileText(source, text));
    WString path = scratch_ / L"m.cab";
    {
        CCabFile cabinet(path);
        ASSERT_TRUE(cabinet.SilentCompress(path, scratch_ / L"src")) << Utf8(cabinet.ErrorText().c_str());
    }
    Bytes bytes = ReadFileBytes(path);
    CabDirectory directory = ReadDirectory(bytes);
    ASSERT_EQ(directory.units.size(), 1u);
    ASSERT_EQ(directory.units[0].type & 0x0F, 1);
    ASSERT_GE(directory.units[0].blocks, 2);
    size_t block = directory.units[0].start;
    ASSERT_NE(GetU32(bytes, block), 0u) << "the library wrote no checksum";
    bytes[block + 8 + 20] ^= 0xFF;
    bytes[block + 8 + 21] ^= 0xFF;
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        CCabFile cabinet(path);
        EXPECT_FALSE(cabinet.Extract(scratch_ / L"out", WString(), false));
        EXPECT_STREQ(cabinet.ErrorText().c_str(),
                     L"データブロックのチェックサムが一致しません at CFDATA 圧縮単位 = 0, ブロック = 0");
        cabinet.ClearErrorText();
        EXPECT_FALSE(cabinet.Extract(scratch_ / L"out", L"data.txt", false));
        cabinet.ClearErrorText();
    }
    EXPECT_TRUE(OutputIsEmpty());
    EXPECT_EQ(ReadFileBytes(path), bytes);
}
