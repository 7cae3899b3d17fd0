#include <vector>

#include "dump/arcdump.h"
#include "dump/dump_test_support.h"

namespace {

enum TestRecordType {
    kTestHeader = 0,
    kTestBlock = 1,
};

struct TestRegion {
    TestRecordType type;
    uint64_t offset;
    uint64_t length;
    int number;
};

// Registers the regions it is given and runs the region check.
class RegionDump : public CArcDump<TestRecordType> {
public:
    RegionDump(const WString& archive, const WString& report, std::vector<TestRegion> regions)
        : CArcDump(archive, report), regions_(std::move(regions))
    {
    }
    bool Dump() override
    {
        static const WString names[] = {L"ヘッダー", L"ブロック No.%d の中身"};
        for (const TestRegion& r : regions_) {
            AddRegion(r.type, r.offset, r.length, r.number);
        }
        SetRecordTypeNames(names, 2);
        RegionCheck();
        return true;
    }

private:
    std::vector<TestRegion> regions_;
};

class RegionCheckTest : public DumpTest {
protected:
    // The report's lines after the header, for a file of the given size.
    std::string Check(size_t fileSize, std::vector<TestRegion> regions)
    {
        EXPECT_TRUE(WriteFileBytes(zipPath_, Bytes(fileSize, 0)));
        {
            RegionDump dump(zipPath_, reportPath_, std::move(regions));
            dump.Dump();
        }
        std::string report = Report();
        std::string header = Header();
        EXPECT_EQ(header, report.substr(0, header.size()));
        return report.substr(std::min(header.size(), report.size()));
    }
};

TEST_F(RegionCheckTest, RegionsCoveringEveryByteOnceGiveOnlyTheClosingLine)
{
    EXPECT_EQ(Closing(), Check(100, {{kTestHeader, 0, 36, -1}, {kTestBlock, 36, 64, 0}}));
    // The order of registration does not matter.
    EXPECT_EQ(Closing(), Check(100, {{kTestBlock, 36, 64, 0}, {kTestHeader, 0, 36, -1}}));
}

TEST_F(RegionCheckTest, SharedBytesGiveOneOverlapLineForTheSharedAreaOnly)
{
    EXPECT_EQ("*** ERROR *** 重複書込領域 0x1e - 0x24：ブロック No.1 の中身 開始 - ヘッダー 終了\n" + Closing(),
              Check(100, {{kTestHeader, 0, 36, -1}, {kTestBlock, 30, 70, 0}}));
}

TEST_F(RegionCheckTest, UnclaimedBytesAtStartMiddleAndEndAreNamed)
{
    EXPECT_EQ("*** WARNING *** 不明領域 0x00 - 0x04：ファイルの先頭 - ヘッダー 開始\n"
              "*** WARNING *** 不明領域 0x28 - 0x30：ヘッダー 終了 - ブロック No.2 の中身 開始\n"
              "*** WARNING *** 不明領域 0x40 - 0x64：ブロック No.2 の中身 終了 - ファイルの末尾\n" +
                  Closing(),
              Check(100, {{kTestHeader, 4, 36, -1}, {kTestBlock, 48, 16, 1}}));
}

TEST_F(RegionCheckTest, OffsetsArePaddedToTheDigitsOfTheFileSize)
{
    EXPECT_EQ("*** WARNING *** 不明領域 0x0024 - 0x1234：ヘッダー 終了 - ファイルの末尾\n" + Closing(),
              Check(0x1234, {{kTestHeader, 0, 0x24, -1}}));
}

TEST_F(RegionCheckTest, NumberedRecordWithoutPlaceholderGetsNumberSuffix)
{
    // A record of number 2 of a type without "%d" is labelled "No.3".
    EXPECT_EQ("*** WARNING *** 不明領域 0x0a - 0x14：ヘッダー No.3 終了 - ファイルの末尾\n" + Closing(),
              Check(20, {{kTestHeader, 0, 10, 2}}));
}

TEST_F(RegionCheckTest, RegionRunningPastTheEndLeavesNoUpsideDownLine)
{
    EXPECT_EQ(Closing(), Check(50, {{kTestHeader, 0, 80, -1}}));
}

TEST_F(RegionCheckTest, ReportFileIsReplacedAndArchiveMissingIsStated)
{
    ASSERT_TRUE(WriteFileText(reportPath_, std::string(5000, 'z')));
    WString missing = folder_ / L"missing.zip";
    {
        RegionDump dump(missing, reportPath_, {});
    }
    EXPECT_EQ(Header(missing) + "OpenArc Error = 2\n", Report());
}

}  // namespace
