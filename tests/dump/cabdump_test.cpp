#include <vector>

#include "archive/cab_records.h"
#include "dump/dump_test_support.h"

namespace {

struct HandMadeCabFile {
    std::string name;
    uint32_t size;
    uint32_t offset;
    uint16_t folder;
};

// A cabinet of one stored unit with one data block, the file records as
// given: header 0..36, unit record 36..44, file records from 44, the block.
// csum 0 here means "compute it" only where the test says so.
Bytes OneUnitCab(const std::vector<HandMadeCabFile>& files, const std::string& data, uint32_t csum,
                 uint32_t cabinetSizeOverride = 0)
{
    uint32_t fileRecords = 0;
    for (const HandMadeCabFile& f : files) {
        fileRecords += 16 + static_cast<uint32_t>(f.name.size()) + 1;
    }
    uint32_t coffFiles = 36 + 8;
    uint32_t coffCabStart = coffFiles + fileRecords;
    uint32_t total = coffCabStart + 8 + static_cast<uint32_t>(data.size());
    ByteBuilder b;
    b.U32(0x4643534D)                                      // "MSCF"
        .U32(0)                                            // reserved
        .U32(cabinetSizeOverride ? cabinetSizeOverride : total)  // cbCabinet
        .U32(0)                                            // reserved
        .U32(coffFiles)                                    // coffFiles
        .U32(0)                                            // reserved
        .U8(3)                                             // minor version
        .U8(1)                                             // major version
        .U16(1)                                            // cFolders
        .U16(static_cast<uint16_t>(files.size()))          // cFiles
        .U16(0)                                            // flags
        .U16(0)                                            // setID
        .U16(0);                                           // iCabinet
    b.U32(coffCabStart)  // unit: first data block
        .U16(1)          // unit: one data block
        .U16(0);         // unit: stored
    for (const HandMadeCabFile& f : files) {
        b.U32(f.size)      // cbFile
            .U32(f.offset)  // uoffFolderStart
            .U16(f.folder)  // iFolder
            .U16(0x5A21)    // date 2025-01-01
            .U16(0x6000)    // time 12:00:00
            .U16(0x20)      // attribs: archive
            .Text(f.name)   // name
            .U8(0);         // its NUL
    }
    b.U32(csum)                                  // csum
        .U16(static_cast<uint16_t>(data.size()))  // cbData
        .U16(static_cast<uint16_t>(data.size()))  // cbUncomp
        .Text(data);                              // the stored bytes
    return b.Get();
}

std::string FileBlock(int number, const char* position, const char* name, const char* size, int unit,
                      const char* offset)
{
    return "ファイル No." + std::to_string(number) + "\n位置：0x" + position + "\nファイル名：" + name +
           "、圧縮前サイズ：" + size + "\n更新日時：" + kEntryTime + "、属性：0x20、アーカイブ\n" +
           "所属する圧縮単位 No." + std::to_string(unit) + "、圧縮単位中の当ファイルの位置（圧縮前）：" + offset +
           "\n\n";
}

const char kUnitBlock[] =
    "圧縮単位 No.1\n"
    "位置：0x24\n";

// "hello" stored: its words XOR 0x00050005 (cbUncomp, cbData).
const uint32_t kHelloSum = 0x6c696502;

TEST_F(DumpTest, CabinetWithCorrectChecksumsHasNoErrorAndNoRegionLine)
{
    ASSERT_TRUE(DumpCab(OneUnitCab({{"a.txt", 5, 0, 0}}, "hello", kHelloSum)));
    ExpectReport(CabHeader() +
                 "ヘッダー\n"
                 "キャビネットファイルサイズ：79、バージョン：1.3\n"
                 "圧縮単位の数：1、ファイルの数：1\n"
                 "ファイル No.1 の位置：0x2c\n"
                 "キャビネット共通ＩＤ：0、キャビネットファイル番号：0\n\n" +
                 kUnitBlock +
                 "圧縮単位 No.1 のデーターの位置：0x42\n"
                 "圧縮単位内のデータ数：1 圧縮方法：非圧縮\n\n" +
                 FileBlock(1, "2c", "a.txt", "5", 1, "0") +
                 "圧縮単位 No.1 のデーター\n"
                 "No.  1 位置：0x42 SUM：0x6c696502 圧縮前サイズ：    5 圧縮サイズ：    5\n"
                 "圧縮前サイズ合計：5、圧縮サイズ合計：5\n"
                 "所属ファイル：圧縮前の位置\n"
                 "a.txt：0 - 5\n\n" +
                 CabClosing());
}

TEST_F(DumpTest, CabinetSizeLargerThanTheFileIsReportedOnTheSizeLine)
{
    ASSERT_TRUE(DumpCab(OneUnitCab({{"a.txt", 5, 0, 0}}, "hello", kHelloSum, 1000)));
    EXPECT_NE(std::string::npos,
              Report().find("ヘッダー\nキャビネットファイルサイズ：1,000*** ERROR *** ファイルサイズ相違 実際 = 79\n"
                            "、バージョン：1.3\n"))
        << Report();
}

TEST_F(DumpTest, AlteredDataByteGivesChecksumOfTheStoredData)
{
    // "jello" under the checksum of "hello".
    ASSERT_TRUE(DumpCab(OneUnitCab({{"a.txt", 5, 0, 0}}, "jello", kHelloSum)));
    EXPECT_NE(std::string::npos,
              Report().find("No.  1 位置：0x42 SUM：0x6c696502 圧縮前サイズ：    5 圧縮サイズ：    5\n"
                            "*** ERROR *** SUM 不正 正しい値 = 0x6c696500\n"
                            "圧縮前サイズ合計：5"))
        << Report();
}

TEST_F(DumpTest, UnusedChecksumOfZeroIsStillCompared)
{
    ASSERT_TRUE(DumpCab(OneUnitCab({{"a.txt", 5, 0, 0}}, "hello", 0)));
    EXPECT_NE(std::string::npos, Report().find("*** ERROR *** SUM 不正 正しい値 = 0x6c696502\n")) << Report();
}

TEST_F(DumpTest, FilesOutOfOrderInsideAUnitGiveTheExpectedOffsets)
{
    // b.txt holds the first five bytes, a.txt the next five, but a.txt is
    // listed first.
    // "worl" ^ "dhel" ^ 0x6c6f ("lo") ^ 0x000a000a
    ASSERT_TRUE(DumpCab(OneUnitCab({{"a.txt", 5, 5, 0}, {"b.txt", 5, 0, 0}}, "worldhello", 0x001d6b76)));
    std::string report = Report();
    EXPECT_EQ(std::string::npos, report.find("SUM 不正")) << report;
    EXPECT_NE(std::string::npos, report.find("所属ファイル：圧縮前の位置\n"
                                             "*** ERROR *** 位置不正 正しい位置 = 0\n"
                                             "a.txt：5 - 5\n"
                                             "*** ERROR *** 位置不正 正しい位置 = 5\n"
                                             "b.txt：0 - 10\n\n"))
        << report;
    EXPECT_EQ(std::string::npos, report.find("合計サイズ不正"));
}

TEST_F(DumpTest, FileOfUnitNumberContinuedFromAnotherCabinetBelongsToNoUnit)
{
    ASSERT_TRUE(DumpCab(OneUnitCab({{"a.txt", 5, 0, 0}, {"x.txt", 7, 0, 65534}}, "hello", kHelloSum)));
    std::string report = Report();
    EXPECT_NE(std::string::npos, report.find("アーカイブ\n*** ERROR *** 所属する圧縮単位不正\n"
                                             "所属する圧縮単位 No.65535、圧縮単位中の当ファイルの位置（圧縮前）：0\n"))
        << report;
    EXPECT_NE(std::string::npos, report.find("所属ファイル：圧縮前の位置\na.txt：0 - 5\n\n")) << report;
    EXPECT_EQ(std::string::npos, report.find("x.txt："));
}

TEST_F(DumpTest, ThreeHundredByteCabinetWritesThreeDigitOffsets)
{
    // 36 header + 8 unit + 22 file record + 8 block header + 226 data = 300.
    // 56 equal words cancel out; the last two bytes give 0x7878.
    std::string data(226, 'x');
    Bytes cab = OneUnitCab({{"a.txt", 226, 0, 0}}, data, 0x7878 ^ 0x00e200e2);
    ASSERT_EQ(300u, cab.size());
    cab.push_back(0);  // one byte nobody claims
    cab[8] = 0x2d;     // cbCabinet 301
    cab[9] = 0x01;
    ASSERT_TRUE(DumpCab(cab));
    std::string report = Report();
    EXPECT_NE(std::string::npos, report.find("No.  1 位置：0x042 SUM：0x00e2789a 圧縮前サイズ：  226 圧縮サイズ：  226\n"
                                             "圧縮前サイズ合計：226、圧縮サイズ合計：226\n"))
        << report;
    EXPECT_NE(std::string::npos,
              report.find("*** WARNING *** 不明領域 0x12c - 0x12d：圧縮単位 No.1 のデーター 終了 - ファイルの末尾\n" +
                          CabClosing()))
        << report;
}

TEST_F(DumpTest, CabinetReserveAndSetNamesAreListedAndClaimed)
{
    ByteBuilder b;
    b.U32(0x4643534D)   // "MSCF"
        .U32(0)         // reserved
        .U32(0)         // cbCabinet, patched below
        .U32(0)         // reserved
        .U32(0)         // coffFiles, patched below
        .U32(0)         // reserved
        .U8(3)          // minor version
        .U8(1)          // major version
        .U16(1)         // cFolders
        .U16(1)         // cFiles
        .U16(0x0007)    // flags: previous and next cabinet, reserve present
        .U16(0x1234)    // setID
        .U16(1)         // iCabinet
        .U16(2)         // cbCFHeader
        .U8(1)          // cbCFFolder
        .U8(2)          // cbCFData
        .U8(0xAB)       // header reserve
        .U8(0xCD)
        .Text("p.cab").U8(0)    // previous cabinet
        .Text("d1").U8(0)       // its disk
        .Text("n.cab").U8(0);   // next cabinet
    b.Text("d3").U8(0);         // its disk
    size_t unitAt = b.Size();
    b.U32(0)         // coffCabStart, patched below
        .U16(1)      // one block
        .U16(0x1503)  // LZX, window 21
        .U8(0xEE);   // unit reserve
    size_t filesAt = b.Size();
    b.U32(5).U32(0).U16(0).U16(0x5A21).U16(0x6000).U16(0xA1).Text("a.txt").U8(0);  // UTF-8 name, read-only
    size_t blockAt = b.Size();
    const uint8_t reserve[2] = {0x11, 0x22};
    b.U32(cab::BlockChecksum(5, 5, reserve, 2, "hello"))  // csum over header, reserve and data
        .U16(5)
        .U16(5)
        .U8(0x11)
        .U8(0x22)
        .Text("hello");
    b.PatchU32(8, static_cast<uint32_t>(b.Size()));
    b.PatchU32(16, static_cast<uint32_t>(filesAt));
    b.PatchU32(unitAt, static_cast<uint32_t>(blockAt));
    ASSERT_TRUE(DumpCab(b.Get()));
    std::string report = Report();
    EXPECT_NE(std::string::npos, report.find("追加データ等のフラグ：0x7\n"
                                             "追加データのサイズ　ヘッダー：2、圧縮単位：1、データ：2\n"
                                             "ヘッダー追加データー：0xabcd\n"
                                             "前キャビネットファイル名：p.cab\n"
                                             "前ディスク名：d1\n"
                                             "後キャビネットファイル名：n.cab\n"
                                             "後ディスク名：d3\n\n"))
        << report;
    EXPECT_NE(std::string::npos, report.find("圧縮方法：LZX(圧縮優先) レベル：21\n圧縮単位追加データー：0xee\n"));
    EXPECT_NE(std::string::npos, report.find("属性：0xa1、読み取り専用、アーカイブ、UTF8\n"));
    EXPECT_NE(std::string::npos, report.find("データー単位追加データー：0x1122\n圧縮前サイズ合計"));
    // Reserve bytes take part in the block checksum, every byte is claimed.
    EXPECT_EQ(std::string::npos, report.find("*** ERROR")) << report;
    EXPECT_EQ(std::string::npos, report.find("領域")) << report;
}

}  // namespace
