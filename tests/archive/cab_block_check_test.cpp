// Cabinets whose data blocks are damaged: nothing damaged reaches the
// cabinet library's decoders, every operation that would decode or copy the
// unit refuses with the unit and block named, and the cabinet stays as it was.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <functional>

#include "archive/cab_records.h"
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
        // Without a checksum nothing else tells; the library would write
        // the blocks before it and stop inside the file.
        {"stored block giving less than its data, without a checksum",
         [](Bytes& b, size_t block, size_t) {
             std::fill(b.begin() + static_cast<std::ptrdiff_t>(block), b.begin() + static_cast<std::ptrdiff_t>(block) + 4,
                       0);
             uint16_t less = static_cast<uint16_t>(GetU16(b, block + 4) - 1);
             b[block + 6] = static_cast<uint8_t>(less);
             b[block + 7] = static_cast<uint8_t>(less >> 8);
         },
         true, L"データブロックの大きさが不正です at CFDATA 圧縮単位 = 0, ブロック = 0"},
    };
}

// What zlib itself makes of one MSZIP block's data ("CK" and raw deflate)
// after the unit's output before it: the decoded bytes when the deflate
// stream ends within the data, else nothing.
std::string ReferenceDecode(const uint8_t* data, size_t size, const std::string& before)
{
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    size_t history = std::min<size_t>(before.size(), 0x8000);
    if (history > 0) {
        inflateSetDictionary(&z, reinterpret_cast<const Bytef*>(before.data() + before.size() - history),
                             static_cast<uInt>(history));
    }
    std::string out(0x10000, '\0');
    z.next_in = const_cast<Bytef*>(data + 2);
    z.avail_in = static_cast<uInt>(size - 2);
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    inflateEnd(&z);
    return ended ? out : std::string();
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

// A file that claims more than its unit holds would make the library stop
// inside it when the unit's data runs out, having written a part that is
// not the file: the claim is refused before the library is started.
TEST_F(CabBlockCheckTest, AFileClaimingMoreThanItsUnitHoldsIsRefusedBeforeAnythingIsWritten)
{
    CabTestOffsets offsets;
    Bytes bytes = BuildStoredCabinet(TwoUnits(), TwoUnitLayout(0), &offsets);
    size_t record = offsets.fileRecords[0];
    ASSERT_EQ(GetU32(bytes, record), 40000u) << "big.txt comes first";
    bytes[record + 2] = 0x01;  // 40000 + 65536 bytes
    WString path = Write(bytes);
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    for (const wchar_t* entry : {L"", L"big.txt"}) {
        SCOPED_TRACE(Utf8(entry));
        CCabFile cabinet(path);
        EXPECT_FALSE(cabinet.Extract(scratch_ / L"out", entry, false));
        EXPECT_STREQ(cabinet.ErrorText().c_str(), L"big.txt\nファイルの外を指す位置があります at CFFILE");
        cabinet.ClearErrorText();
        EXPECT_TRUE(OutputIsEmpty());
    }
    EXPECT_EQ(ReadFileBytes(path), bytes);
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

// Found by seeded damage: two bytes of one column of the checksum's words
// changed alike leave the checksum as it was, and the cabinet library's
// MSZIP decoder wrote out of bounds on the changed data. Only decoding the
// unit first finds such a change.
TEST_F(CabBlockCheckTest, MszipDataChangedUnderAMatchingChecksumIsRefusedNamingUnitAndBlock)
{
    std::string big;
    for (int i = 0; big.size() < 40000; ++i) {
        big += "line " + std::to_string(i * 7919 % 613) + " of the compressed file\r\n";
    }
    big.resize(40000);
    std::vector<CabTestFile> files = {{"big.txt", big, 0}, {"small.txt", "small", 0}};
    CabTestLayout layout;
    layout.reservePresent = true;
    layout.headerReserve = 20;
    CabTestOffsets offsets;
    Bytes sound = BuildMszipCabinet(files, layout, &offsets);
    size_t first = offsets.unitStarts[0];
    size_t second = first + 8 + GetU16(sound, first + 4);
    uint16_t secondSize = GetU16(sound, second + 4);
    std::string firstOutput = big.substr(0, 0x8000);
    // The second block refers back into the first, so the sound cabinet
    // extracts only when the check decodes with the first block's output.
    ASSERT_NE(ReferenceDecode(&sound[second + 8], secondSize, std::string()), big.substr(0x8000) + "small");
    {
        CCabFile cabinet(Write(sound, L"sound.cab"));
        ASSERT_TRUE(cabinet.Extract(scratch_ / L"sound", WString(), false)) << Utf8(cabinet.ErrorText().c_str());
        Bytes extracted = ReadFileBytes(scratch_ / L"sound\\big.txt");
        EXPECT_EQ(std::string(extracted.begin(), extracted.end()), big);
    }

    Bytes damaged = sound;
    damaged[second + 8 + 40] ^= 0x24;
    damaged[second + 8 + 44] ^= 0x24;
    ASSERT_EQ(cab::BlockChecksum(secondSize, GetU16(damaged, second + 6), nullptr, 0, &damaged[second + 8]),
              GetU32(damaged, second))
        << "the change is not seen by the checksum";
    ASSERT_NE(ReferenceDecode(&damaged[second + 8], secondSize, firstOutput).size(), GetU16(damaged, second + 6))
        << "zlib decodes the changed block to its cbUncomp bytes";
    WString path = Write(damaged);
    const wchar_t* error = L"データブロックの圧縮データが壊れています at CFDATA 圧縮単位 = 0, ブロック = 1";
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    for (const wchar_t* entry : {L"", L"small.txt"}) {
        SCOPED_TRACE(Utf8(entry));
        CCabFile cabinet(path);
        EXPECT_FALSE(cabinet.Extract(scratch_ / L"out", entry, false));
        EXPECT_STREQ(cabinet.ErrorText().c_str(), error);
        cabinet.ClearErrorText();
        EXPECT_TRUE(OutputIsEmpty());
    }
    {
        CCabFile cabinet(path);
        EXPECT_TRUE(cabinet.Delete(L"small.txt"));
    }
    EXPECT_EQ(prompts.LastText(), error);
    EXPECT_EQ(ReadFileBytes(path), damaged);
    EXPECT_FALSE(PathExists(scratch_ / L"~t.cab"));
}
