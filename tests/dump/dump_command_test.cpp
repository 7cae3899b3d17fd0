#include "tools/arctool/dump_command.h"
#include "common/paths.h"
#include "dump/dump_run.h"
#include "dump/dump_test_support.h"

namespace {

TEST(DumpFormatTest, OnlyTheCabExtensionGivesACabinetReport)
{
    EXPECT_EQ(kCabDump, ChooseDumpFormat(L"C:\\x\\archive.CAB"));
    EXPECT_EQ(kCabDump, ChooseDumpFormat(L"C:\\x\\archive.cab"));
    EXPECT_EQ(kZipDump, ChooseDumpFormat(L"C:\\x\\archive.ZIP"));
    EXPECT_EQ(kZipDump, ChooseDumpFormat(L"C:\\x\\archive.bin"));
    EXPECT_EQ(kZipDump, ChooseDumpFormat(L"C:\\x\\archive"));
    EXPECT_EQ(kZipDump, ChooseDumpFormat(L"C:\\x\\archive.cabinet"));
}

TEST_F(DumpTest, CommandAnswersTheShiftQuestionFromItsOption)
{
    Bytes shifted = Join({Bytes(100, 0), OneEntryZip()});
    ASSERT_TRUE(WriteFileBytes(zipPath_, shifted));
    EXPECT_EQ(0, RunDumpCommand(zipPath_, reportPath_, IDYES));
    EXPECT_NE(std::string::npos, Report().find("シフトサイズ = 100 0x64\n"));
    EXPECT_NE(std::string::npos, Report().find(Closing()));

    EXPECT_EQ(1, RunDumpCommand(zipPath_, reportPath_, IDNO));
    EXPECT_EQ(std::string::npos, Report().find("シフトサイズ"));
    // Without an option the question is answered No.
    EXPECT_EQ(1, RunDumpCommand(zipPath_, reportPath_, 0));
    EXPECT_EQ(std::string::npos, Report().find("シフトサイズ"));
    // None of it reached the test's own boxes.
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(DumpTest, CommandChoosesTheFormatByExtension)
{
    // The same cabinet bytes under two names: a .CAB name gives a cabinet
    // report, a .bin name a ZIP report that finds no end record.
    Bytes cab = ByteBuilder()
                    .U32(0x4643534D).U32(0).U32(36).U32(0).U32(36).U32(0)  // header: signature .. coffFiles
                    .U8(3).U8(1).U16(0).U16(0).U16(0).U16(0).U16(0)       // no units, no files
                    .Get();
    WString upper = folder_ / L"empty.CAB";
    WString bin = folder_ / L"empty.bin";
    ASSERT_TRUE(WriteFileBytes(upper, cab));
    ASSERT_TRUE(WriteFileBytes(bin, cab));
    EXPECT_EQ(0, RunDumpCommand(upper, reportPath_, 0));
    EXPECT_EQ(Header(upper) +
                  "ヘッダー\n"
                  "キャビネットファイルサイズ：36、バージョン：1.3\n"
                  "圧縮単位の数：0、ファイルの数：0\n"
                  "ファイル No.1 の位置：0x24\n"
                  "キャビネット共通ＩＤ：0、キャビネットファイル番号：0\n\n" +
                  Closing(upper),
              Report());
    EXPECT_EQ(1, RunDumpCommand(bin, reportPath_, 0));
    EXPECT_EQ(Header(bin) + "*** ERROR *** End Of Central Dir. 署名を見つけられません\n", Report());
}

TEST_F(DumpTest, CommandRefusesMissingArchiveAndWritesNothing)
{
    EXPECT_EQ(2, RunDumpCommand(folder_ / L"nothing.zip", reportPath_, IDYES));
    EXPECT_FALSE(PathExists(reportPath_));
    EXPECT_EQ(2, RunDumpCommand(folder_.Path(), reportPath_, IDYES));
    EXPECT_FALSE(PathExists(reportPath_));
}

}  // namespace
