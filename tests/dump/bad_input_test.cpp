// Archives that lie about their lengths, counts and offsets: the report ends
// where the data ends, with the line of the failed read or seek.
#include "dump/dump_test_support.h"
#include "dump/zipdump.h"

namespace {

class BadInputTest : public DumpTest {
protected:
    // The report after its header, when the dump stopped early.
    std::string ZipTail(const Bytes& archive)
    {
        EXPECT_FALSE(DumpZip(archive));
        return AfterHeader(Header());
    }
    std::string CabTail(const Bytes& archive)
    {
        EXPECT_FALSE(DumpCab(archive));
        return AfterHeader(CabHeader());
    }
    std::string AfterHeader(const std::string& header)
    {
        std::string report = Report();
        EXPECT_EQ(header, report.substr(0, header.size()));
        EXPECT_EQ(std::string::npos, report.find("情報出力終了"));
        return report.substr(std::min(header.size(), report.size()));
    }
    static bool EndsWith(const std::string& text, const std::string& tail)
    {
        return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    }
};

void PutU32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void PutU16(Bytes& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// The one-entry archive: local 0..39, data 39..44, central 44..99, end 99..121.
const size_t kCentral = 44;
const size_t kEnd = 99;

TEST_F(BadInputTest, EmptyOneByteAndTruncatedZipEndAtTheMissingEndRecord)
{
    const std::string missing = "*** ERROR *** End Of Central Dir. 署名を見つけられません\n";
    EXPECT_EQ(missing, ZipTail(Bytes()));
    EXPECT_EQ(missing, ZipTail(Bytes(1, 'P')));
    Bytes cut = OneEntryZip();
    cut.resize(110);
    EXPECT_EQ(missing, ZipTail(cut));
}

TEST_F(BadInputTest, EndRecordCommentPastTheEndIsRefused)
{
    Bytes archive = OneEntryZip();
    PutU16(archive, kEnd + 20, 500);  // comment length beyond the file
    EXPECT_EQ("*** ERROR *** EndOfCentralDir コメント領域不十分\n", ZipTail(archive));
}

TEST_F(BadInputTest, ZipCountsAndOffsetsPastTheEndStopAtTheFailedRead)
{
    Bytes archive = OneEntryZip();
    PutU16(archive, kEnd + 8, 1000);  // entries on this disk
    PutU16(archive, kEnd + 10, 1000);  // total entries: only one header is there
    EXPECT_TRUE(EndsWith(ZipTail(archive), "ファイル名：hello.txt\n\n"
                                           "*** ERROR *** Read Error code = 38 Read Length = 22 at CentralDir\n"));

    archive = OneEntryZip();
    PutU32(archive, kEnd + 16, 0x10000);  // central directory offset past the end
    EXPECT_TRUE(EndsWith(ZipTail(archive), "*** ERROR *** Read Error code = 38 Read Length = 0 at Find CentralDir1\n"));

    archive = OneEntryZip();
    PutU16(archive, kCentral + 28, 60000);  // name length past the end
    EXPECT_TRUE(EndsWith(ZipTail(archive), "*** ERROR *** Read Error code = 38 Read Length = 31 at FileName\n"));

    archive = OneEntryZip();
    PutU32(archive, kCentral + 42, 0x7FFFFFF0);  // local header offset past the end
    EXPECT_TRUE(EndsWith(ZipTail(archive), "*** ERROR *** Read Error code = 38 Read Length = 0 at LocalHeader\n"));

    archive = OneEntryZip();
    PutU16(archive, 28, 200);  // local extra length past the end
    EXPECT_TRUE(EndsWith(ZipTail(archive), "*** ERROR *** Read Error code = 38 Read Length = 82 at ExtraField\n"));
}

TEST_F(BadInputTest, DescriptorBeyondTheEndStopsTheReport)
{
    HandMadeZipEntry e;
    e.flags = 0x0008;
    Bytes local = ZipLocalHeader(e, 0, 0, 0);
    Bytes central = ZipCentralHeader(e, 0, 0xFFFFFFF0, 5);  // compressed size far past the end
    Bytes archive = Join({local, Bytes(5, 'x'), central, ZipEndRecord(1, 55, 44)});
    EXPECT_TRUE(EndsWith(ZipTail(archive), "Data Descriptor 有り\n"
                                           "*** ERROR *** Read Error code = 38 Read Length = 0 at DataDescriptor\n"));
}

TEST_F(BadInputTest, Zip64RecordsNamingPlacesPastTheEndStopTheReport)
{
    Bytes body = Join({ZipLocalHeader(HandMadeZipEntry()), Bytes{'h', 'e', 'l', 'l', 'o'},
                       ZipCentralHeader(HandMadeZipEntry(), 0)});  // 0..99
    Bytes locator = Zip64Locator(0x7FFFFFFF);  // the Zip64 end record past the end
    Bytes archive = Join({body, locator, ZipEndRecord(1, 0xFFFFFFFF, 0xFFFFFFFF)});
    EXPECT_TRUE(EndsWith(ZipTail(archive),
                         "Zip64 End Of Central Dir. 位置：0x7fffffff\n\n"
                         "*** ERROR *** Read Error code = 38 Read Length = 0 at Z64EndOfCentralDir\n"));

    // Without the locator a Zip64 end record cannot be found at all.
    archive = Join({body, ZipEndRecord(1, 0xFFFFFFFF, 0xFFFFFFFF)});
    EXPECT_TRUE(EndsWith(ZipTail(archive), "*** ERROR *** Z64EndOfCentralDirLoc 署名を見つけられません\n"));

    // Extensible data that would run into the locator.
    // The record claims 1000 bytes of extensible data that are not there.
    Bytes zip64End = Zip64EndRecord(1, 55, 44, 44 + 1000);
    locator = Zip64Locator(99);
    archive = Join({body, zip64End, locator, ZipEndRecord(1, 0xFFFFFFFF, 0xFFFFFFFF)});
    EXPECT_TRUE(EndsWith(ZipTail(archive), "*** ERROR *** Z64EndOfCentralDir Extend Data OverFlow\n"));
}

TEST_F(BadInputTest, ExtraBlocksClaimingMoreThanTheFieldHoldsAreNotReadBeyondIt)
{
    HandMadeZipEntry e;
    // An NTFS times block of data size 32, but only 8 bytes follow: reserved,
    // tag and size, all zero.
    Bytes ntfs = ZipExtraBlock(0x000a, Bytes(8, 0), 32);
    Bytes central = ZipCentralHeader(e, 0, 5, 5, ntfs);
    Bytes archive = Join({ZipLocalHeader(e), Bytes(5, 'x'), central,
                          ZipEndRecord(1, static_cast<uint32_t>(central.size()), 44)});
    EXPECT_TRUE(EndsWith(ZipTail(archive), "HeaderID：0xa Length = 32\n"
                                           "*** ERROR *** ExtraField 日時データ(HeaderID:0x000a)不整合\n"));

    // A Zip64 block of data size 100, but only the uncompressed size follows.
    Bytes zip64 = ZipExtraBlock(0x0001, ByteBuilder().U64(5).Get(), 100);
    central = ZipCentralHeader(e, 0, 0xFFFFFFFF, 0xFFFFFFFF, zip64);
    archive = Join({ZipLocalHeader(e), Bytes(5, 'x'), central,
                    ZipEndRecord(1, static_cast<uint32_t>(central.size()), 44)});
    EXPECT_TRUE(EndsWith(ZipTail(archive), "HeaderID：0x1 Length = 100\n"
                                           "*** ERROR *** ExtraField サイズデータ(HeaderID:0x0001)不足\n"));
}

TEST_F(BadInputTest, EmptyOneByteAndForeignFilesAsCabinet)
{
    EXPECT_EQ("*** ERROR *** Read Error code = 38 Read Length = 0 at CFHEADER\n", CabTail(Bytes()));
    EXPECT_EQ("*** ERROR *** Read Error code = 38 Read Length = 1 at CFHEADER\n", CabTail(Bytes(1, 'M')));
    EXPECT_EQ("*** ERROR *** *.cab ファイルではありません\n", CabTail(OneEntryZip()));
}

// A cabinet of one unit and one file: header 0..36, unit 36..44, file
// record "a.txt" 44..66, block 66..79.
Bytes SmallCab()
{
    return ByteBuilder()
        .U32(0x4643534D).U32(0).U32(79).U32(0).U32(44).U32(0)  // signature, sizes, coffFiles
        .U8(3).U8(1).U16(1).U16(1).U16(0).U16(0).U16(0)       // version, cFolders, cFiles, flags, set
        .U32(66).U16(1).U16(0)                                // unit: block at 66, one block, stored
        .U32(5).U32(0).U16(0).U16(0x5A21).U16(0x6000).U16(0x20).Text("a.txt").U8(0)  // file record
        .U32(0x6c696502).U16(5).U16(5).Text("hello")          // data block
        .Get();
}

TEST_F(BadInputTest, CabinetCountsAndOffsetsPastTheEndStopAtTheFailedRead)
{
    Bytes cab = SmallCab();
    PutU16(cab, 26, 1000);  // cFolders: five records fit before the end, the sixth is cut
    EXPECT_TRUE(EndsWith(CabTail(cab), "圧縮単位 No.6\n*** ERROR *** Read Error code = 38 Read Length = 3 at CFFOLDER\n"));

    cab = SmallCab();
    PutU16(cab, 28, 1000);  // cFiles: the second record would be the 13 bytes of the data block
    EXPECT_TRUE(EndsWith(CabTail(cab), "ファイル No.2\n*** ERROR *** Read Error code = 38 Read Length = 13 at CFFILE\n"));

    cab = SmallCab();
    PutU32(cab, 16, 0x7FFFFFFF);  // coffFiles past the end
    EXPECT_TRUE(EndsWith(CabTail(cab), "ファイル No.1\n*** ERROR *** Read Error code = 38 Read Length = 0 at CFFILE\n"));

    cab = SmallCab();
    PutU32(cab, 36, 0x12345678);  // coffCabStart past the end
    EXPECT_TRUE(EndsWith(CabTail(cab), "圧縮単位 No.1 のデーター\n"
                                       "*** ERROR *** Read Error code = 38 Read Length = 0 at CFDATA\n"));

    cab = SmallCab();
    PutU16(cab, 70, 60000);  // cbData past the end
    EXPECT_TRUE(EndsWith(CabTail(cab), "*** ERROR *** Read Error code = 38 Read Length = 5 at DATA\n"));

    cab = SmallCab();
    cab.resize(36);
    PutU16(cab, 30, 0x0001);  // previous cabinet names announced, none there
    EXPECT_TRUE(EndsWith(CabTail(cab), "*** ERROR *** Read Error code = 38 Read Length = 0 at PREV_CABINET\n"));
}

TEST_F(BadInputTest, ArchiveInUseIsStatedWithoutAnyBox)
{
    ASSERT_TRUE(WriteFileBytes(zipPath_, OneEntryZip()));
    HANDLE locked = CreateFileW(zipPath_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    bool completed;
    {
        CZipDump dump(zipPath_, reportPath_);
        completed = dump.Dump();
    }
    CloseHandle(locked);
    EXPECT_FALSE(completed);
    EXPECT_EQ(Header() + PathUtf8(zipPath_) + "\nアーカイブファイル使用中\n" +
                  "*** ERROR *** SetPointer Error code = 6 at EndOfCentralDir\n",
              Report());
    EXPECT_EQ(0u, prompts_.Count());
}

}  // namespace
