#include "dump/dump_test_support.h"

namespace {

// The central header block of the standard entry at a local header offset.
std::string CentralBlock(uint32_t headerOffset, const char* flags = "0x0")
{
    char offset[32];
    snprintf(offset, sizeof offset, "%x", headerOffset);
    return std::string("Central Dir. index = 0\n") + "Method：0 更新日時：" + kEntryTime + "\n" +
           "CRC32 0x3610a686\n"
           "圧縮後サイズ：5 0x5\n"
           "圧縮前サイズ：5 0x5\n"
           "内部属性 0x0 属性 0x20\n"
           "Local Header の位置 0x" + offset + "\n" +
           "Version:0x14 NeededVersion:0xa Flag:" + flags + "\n" +
           "FileNameLength:9 ExtraFieldLength:0 FileCommentLength:0\n"
           "ファイル名：hello.txt\n\n";
}

TEST_F(DumpTest, IntactStoredZipHasOnlyTheClosingLineAfterItsRecords)
{
    ASSERT_TRUE(DumpZip(OneEntryZip()));
    // local header 0..39, data 39..44, central directory 44..99, end record 99..121
    ExpectReport(Header() +
                 "End Of Central Dir. 位置：0x63\n"
                 "ファイル数：1\n"
                 "Central Dir. の開始位置：0x2c\n"
                 "Central Dir. のサイズ：55\n\n" +
                 CentralBlock(0) +
                 "Local Header index = 0\n"
                 "位置：0x0\n"
                 "ファイル名：hello.txt\n\n" +
                 Closing());
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(DumpTest, FindsCentralDirectoryShiftedByPrependedBytesAfterYes)
{
    Bytes archive = Join({Bytes(100, 0x4D), OneEntryZip()});
    prompts_.Answer(IDYES);
    prompts_.Answer(IDOK);
    ASSERT_TRUE(DumpZip(archive));
    ExpectReport(Header() +
                 "End Of Central Dir. 位置：0xc7\n"
                 "ファイル数：1\n"
                 "Central Dir. の開始位置：0x2c\n"
                 "Central Dir. のサイズ：55\n\n"
                 "*** ERROR *** 先頭の Central Dir. 署名を見つけられません。\n"
                 "先頭の Central Dir. 署名を見つけました。シフトサイズ = 100 0x64\n" +
                 CentralBlock(100) +
                 "Local Header index = 0\n"
                 "位置：0x64\n"
                 "ファイル名：hello.txt\n\n"
                 "*** WARNING *** 不明領域 0x00 - 0x64：ファイルの先頭 - Local Header No.1 開始\n" +
                 Closing());
    ASSERT_EQ(2u, prompts_.Count());
    EXPECT_EQ(L"先頭の Central Dir. 署名を見つけられません。\nシフトしているかもしれません。探しますか？",
              prompts_.Prompts()[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), prompts_.Prompts()[0].buttons);
    EXPECT_EQ(L"先頭の Central Dir. 署名を見つけました。", prompts_.Prompts()[1].text);
}

TEST_F(DumpTest, ShiftedZipStopsWhenTheUserAnswersNo)
{
    prompts_.Answer(IDNO);
    EXPECT_FALSE(DumpZip(Join({Bytes(100, 0x4D), OneEntryZip()})));
    std::string report = Report();
    EXPECT_NE(std::string::npos, report.find("*** ERROR *** 先頭の Central Dir. 署名を見つけられません。\n"));
    EXPECT_EQ(std::string::npos, report.find("Central Dir. index"));
    EXPECT_EQ(std::string::npos, report.find("情報出力終了"));
}

TEST_F(DumpTest, ShiftSearchThatFindsNothingShowsAnErrorBox)
{
    // The central directory is not where the end record says, nor directly
    // before the end record: its size is wrong as well.
    Bytes archive = OneEntryZip();
    archive[archive.size() - 10] = 40;  // central directory size 55 -> 40
    archive[archive.size() - 6] = 0x20;  // central directory offset 44 -> 32
    prompts_.Answer(IDYES);
    prompts_.Answer(IDOK);
    EXPECT_FALSE(DumpZip(archive));
    ASSERT_EQ(2u, prompts_.Count());
    EXPECT_EQ(L"先頭の Central Dir. 署名を探せませんでした。", prompts_.Prompts()[1].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), prompts_.Prompts()[1].icon);
}

TEST_F(DumpTest, ReportsCrcThatDiffersBetweenLocalAndCentralHeader)
{
    HandMadeZipEntry e;
    Bytes local = ZipLocalHeader(e, 0x12345678, 5, 5);
    Bytes central = ZipCentralHeader(e, 0);
    ASSERT_TRUE(DumpZip(Join({local, Bytes{'h', 'e', 'l', 'l', 'o'}, central, ZipEndRecord(1, 55, 44)})));
    ExpectReport(Header() +
                 "End Of Central Dir. 位置：0x63\n"
                 "ファイル数：1\n"
                 "Central Dir. の開始位置：0x2c\n"
                 "Central Dir. のサイズ：55\n\n" +
                 CentralBlock(0) +
                 "Local Header index = 0\n"
                 "位置：0x0\n"
                 "*** ERROR *** CRC32 が Central Dir. と Local Header で異なる\n"
                 "CRC32：0x12345678\n"
                 "ファイル名：hello.txt\n\n" +
                 Closing());
}

TEST_F(DumpTest, DataDescriptorWithoutSignatureIsTwelveBytes)
{
    HandMadeZipEntry e;
    e.flags = 0x0008;
    Bytes local = ZipLocalHeader(e, 0, 0, 0);
    Bytes data{'h', 'e', 'l', 'l', 'o'};
    Bytes descriptor = ZipDataDescriptor(0x3610a686, 5, 5, false);  // no signature before the CRC-32
    Bytes central = ZipCentralHeader(e, 0);
    // local 0..39, data 39..44, descriptor 44..56, central 56..111, end 111..133
    ASSERT_TRUE(DumpZip(Join({local, data, descriptor, central, ZipEndRecord(1, 55, 56)})));
    ExpectReport(Header() +
                 "End Of Central Dir. 位置：0x6f\n"
                 "ファイル数：1\n"
                 "Central Dir. の開始位置：0x38\n"
                 "Central Dir. のサイズ：55\n\n" +
                 CentralBlock(0, "0x8") +
                 "Local Header index = 0\n"
                 "位置：0x0\n"
                 "Data Descriptor 有り\n"
                 "Data Descriptor 署名無し\n"
                 "ファイル名：hello.txt\n\n" +
                 Closing());
}

TEST_F(DumpTest, DataDescriptorDisagreeingWithCentralHeaderIsReported)
{
    HandMadeZipEntry e;
    e.flags = 0x0008;
    Bytes local = ZipLocalHeader(e, 0, 0, 7);  // uncompressed size set although a descriptor follows
    Bytes data{'h', 'e', 'l', 'l', 'o'};
    // The CRC-32 and the uncompressed size are not the central ones.
    Bytes descriptor = ZipDataDescriptor(0xCAFEF00D, 5, 6);
    Bytes central = ZipCentralHeader(e, 0);
    ASSERT_TRUE(DumpZip(Join({local, data, descriptor, central, ZipEndRecord(1, 55, 60)})));
    std::string expected =
        "Data Descriptor 有り\n"
        "*** ERROR *** Data Descriptor があるのに Local Header の 圧縮前サイズ がゼロでない\n"
        "圧縮前サイズ：7 0x7\n"
        "Data Descriptor 署名有り\n"
        "*** ERROR *** 圧縮前サイズ が Central Dir. と Data Descriptor で異なる\n"
        "圧縮前サイズ：6 0x6\n"
        "*** ERROR *** CRC32 が Central Dir. と Data Descriptor で異なる\n"
        "CRC32：0xcafef00d\n"
        "ファイル名：hello.txt\n\n" +
        Closing();
    ExpectReportEnd(expected);
}

TEST_F(DumpTest, Zip64BlockEightBytesTooLongGivesWarningAndGoesOn)
{
    HandMadeZipEntry e;
    e.versionNeeded = 45;
    Bytes zip64 = Zip64Extra({5, 5, 0});  // the two sizes and 8 bytes nobody asked for
    Bytes local = ZipLocalHeader(e);
    Bytes data{'h', 'e', 'l', 'l', 'o'};
    Bytes central = ZipCentralHeader(e, 0, 0xFFFFFFFF, 0xFFFFFFFF, zip64, 45);
    // local 0..39, data 39..44, central 44..127, end 127..149
    ASSERT_TRUE(DumpZip(Join({local, data, central, ZipEndRecord(1, 83, 44)})));
    ExpectReport(Header() +
                 "End Of Central Dir. 位置：0x7f\n"
                 "ファイル数：1\n"
                 "Central Dir. の開始位置：0x2c\n"
                 "Central Dir. のサイズ：83\n\n"
                 "Central Dir. index = 0\n"
                 "Method：0 更新日時：" + std::string(kEntryTime) + "\n" +
                 "CRC32 0x3610a686\n"
                 "圧縮後サイズ：4294967295 0xffffffff\n"
                 "圧縮前サイズ：4294967295 0xffffffff\n"
                 "内部属性 0x0 属性 0x20\n"
                 "Local Header の位置 0x0\n"
                 "Version:0x2d NeededVersion:0x2d Flag:0x0\n"
                 "FileNameLength:9 ExtraFieldLength:28 FileCommentLength:0\n"
                 "ファイル名：hello.txt\n"
                 "HeaderID：0x1 Length = 24\n"
                 "*** WARNING *** ExtraField サイズデータ(HeaderID:0x0001)過剰\n"
                 "圧縮後サイズ：5 0x5\n"
                 "圧縮前サイズ：5 0x5\n\n"
                 "Local Header index = 0\n"
                 "位置：0x0\n"
                 "ファイル名：hello.txt\n\n" +
                 Closing());
}

TEST_F(DumpTest, Zip64BlockTooShortStopsTheReport)
{
    HandMadeZipEntry e;
    Bytes zip64 = Zip64Extra({5});  // only one of the two sizes
    Bytes central = ZipCentralHeader(e, 0, 0xFFFFFFFF, 0xFFFFFFFF, zip64);
    EXPECT_FALSE(DumpZip(Join({ZipLocalHeader(e), Bytes(5, 'x'), central, ZipEndRecord(1, 67, 44)})));
    std::string tail = "HeaderID：0x1 Length = 8\n*** ERROR *** ExtraField サイズデータ(HeaderID:0x0001)不足\n";
    ExpectReportEnd(tail);
}

TEST_F(DumpTest, LocalSizesOfAllOnesAreComparedThroughTheirZip64Values)
{
    // A local header that keeps its sizes in a Zip64 block while the central
    // header has the plain 32-bit values (a writer that did not know the size
    // in advance) is not a disagreement.
    HandMadeZipEntry e;
    e.versionNeeded = 45;
    Bytes zip64 = Zip64Extra({5, 5});  // uncompressed and compressed size
    Bytes local = ZipLocalHeader(e, e.crc, 0xFFFFFFFF, 0xFFFFFFFF, zip64);
    Bytes central = ZipCentralHeader(e, 0);
    uint32_t dataEnd = static_cast<uint32_t>(local.size() + 5);
    ASSERT_TRUE(DumpZip(Join({local, Bytes{'h', 'e', 'l', 'l', 'o'}, central, ZipEndRecord(1, 55, dataEnd)})));
    std::string report = Report();
    EXPECT_EQ(std::string::npos, report.find("*** ERROR")) << report;
    EXPECT_NE(std::string::npos, report.find("ファイル名：hello.txt\nHeaderID：0x1 Length = 16\n\n")) << report;

    // A Zip64 value that really differs is still reported, with that value.
    Bytes wrong = Zip64Extra({9, 5});  // uncompressed size 9, not the central 5
    local = ZipLocalHeader(e, e.crc, 0xFFFFFFFF, 0xFFFFFFFF, wrong);
    ASSERT_TRUE(DumpZip(Join({local, Bytes{'h', 'e', 'l', 'l', 'o'}, central, ZipEndRecord(1, 55, dataEnd)})));
    EXPECT_NE(std::string::npos,
              Report().find("*** ERROR *** 圧縮前サイズ が Central Dir. と Local Header で異なる\n圧縮前サイズ：9 0x9\n"));
}

TEST_F(DumpTest, WideDataDescriptorFollowsTheLocalZip64Block)
{
    // No Zip64 end records, but the local header carries a Zip64 block: the
    // descriptor's sizes are 8 bytes wide and it covers 24 bytes.
    HandMadeZipEntry e;
    e.flags = 0x0008;
    e.versionNeeded = 45;
    Bytes zip64 = Zip64Extra({0, 0});  // the sizes, not known yet
    Bytes local = ZipLocalHeader(e, 0, 0xFFFFFFFF, 0xFFFFFFFF, zip64);
    Bytes descriptor = ZipDataDescriptor(0x3610a686, 5, 5, true, DescriptorSizes::kWide);
    Bytes central = ZipCentralHeader(e, 0);
    uint32_t centralStart = static_cast<uint32_t>(local.size() + 5 + descriptor.size());
    ASSERT_TRUE(DumpZip(Join({local, Bytes{'h', 'e', 'l', 'l', 'o'}, descriptor, central,
                              ZipEndRecord(1, 55, centralStart)})));
    std::string report = Report();
    EXPECT_EQ(std::string::npos, report.find("*** ERROR")) << report;
    // Every byte is claimed once: the descriptor region is 24 bytes.
    EXPECT_EQ(std::string::npos, report.find("領域")) << report;
    EXPECT_NE(std::string::npos, report.find(Closing()));
}

TEST_F(DumpTest, DuplicateCentralNameIsReportedAndItsLocalHeaderLeftUnvisited)
{
    HandMadeZipEntry e;
    Bytes first = Join({ZipLocalHeader(e), Bytes{'h', 'e', 'l', 'l', 'o'}});   // 0..44
    Bytes second = Join({ZipLocalHeader(e), Bytes{'h', 'e', 'l', 'l', 'o'}});  // 44..88
    Bytes centrals = Join({ZipCentralHeader(e, 0), ZipCentralHeader(e, 44)});   // 88..198
    ASSERT_TRUE(DumpZip(Join({first, second, centrals, ZipEndRecord(2, 110, 88)})));
    std::string report = Report();
    EXPECT_NE(std::string::npos,
              report.find("ファイル名：hello.txt\n*** ERROR *** 重複したファイル名 hello.txt index1, 2 = 0,1\n\n"))
        << report;
    EXPECT_EQ(std::string::npos, report.find("Local Header index = 1"));
    std::string tail = "*** WARNING *** 不明領域 0x2c - 0x58：ファイル No.1 終了 - Central Dir. 開始\n" + Closing();
    ExpectReportEnd(tail);
}

TEST_F(DumpTest, LocalHeaderDisagreementsAreEachReportedWithTheLocalValue)
{
    HandMadeZipEntry e;
    HandMadeZipEntry other = e;
    other.versionNeeded = 20;
    other.flags = 0x0002;
    other.method = 8;
    other.dosTime = 0x6001;  // 12:00:02
    other.name = "hellO.txt";
    Bytes local = ZipLocalHeader(other, e.crc, 6, 5);
    ASSERT_TRUE(DumpZip(Join({local, Bytes(5, 'x'), ZipCentralHeader(e, 0), ZipEndRecord(1, 55, 44)})));
    std::string expected = std::string("Local Header index = 0\n") +
                           "位置：0x0\n"
                           "*** ERROR *** NeededVersion が Central Dir. と Local Header で異なる\n"
                           "NeededVersion：0x14\n"
                           "*** ERROR *** Flag が Central Dir. と Local Header で異なる\n"
                           "Flag：0x2\n"
                           "*** ERROR *** Method が Central Dir. と Local Header で異なる\n"
                           "Method：8\n"
                           "*** ERROR *** 更新日時 が Central Dir. と Local Header で異なる\n"
                           "更新日時：2025/01/01(水)12:00:02\n"
                           "*** ERROR *** 圧縮後サイズ が Central Dir. と Local Header で異なる\n"
                           "圧縮後サイズ：6 0x6\n"
                           "ファイル名：hellO.txt\n"
                           "*** ERROR *** ファイル名が　Central Dir. と Local Header で異なる\n\n";
    EXPECT_NE(std::string::npos, Report().find(expected)) << Report();
}

TEST_F(DumpTest, OverlappingEntriesGiveAnOverlapLine)
{
    // Two entries whose data are the same bytes: the second local header
    // lies inside the first entry's data.
    HandMadeZipEntry a;
    a.data = std::string(44, 'a');
    HandMadeZipEntry b;
    b.name = "other.txt";
    Bytes innerLocal = ZipLocalHeader(b);  // 39 bytes, placed at 40
    Bytes aData = Join({Bytes(1, 'a'), innerLocal, Bytes(4, 'a')});
    Bytes aLocal = ZipLocalHeader(a, a.crc, 44, 44);  // 0..39, data 39..83
    Bytes bData(5, 'b');                               // 83..88; b's data region is 79..84
    Bytes centrals = Join({ZipCentralHeader(a, 0, 44, 44), ZipCentralHeader(b, 40)});
    Bytes archive = Join({aLocal, aData, bData});
    uint32_t centralStart = static_cast<uint32_t>(archive.size());
    archive = Join({archive, centrals, ZipEndRecord(2, 110, centralStart)});
    ASSERT_TRUE(DumpZip(archive));
    std::string lines =
        "*** ERROR *** 重複書込領域 0x28 - 0x4f：Local Header No.2 開始 - Local Header No.2 終了\n"
        "*** ERROR *** 重複書込領域 0x4f - 0x53：ファイル No.2 開始 - ファイル No.1 終了\n"
        "*** WARNING *** 不明領域 0x54 - 0x58：ファイル No.2 終了 - Central Dir. 開始\n" +
        Closing();
    ExpectReportEnd(lines);
}

}  // namespace

namespace {

// The one-entry archive followed by Zip64 end records that name the
// directory at 44 with 55 bytes, and an end record with the given count.
Bytes WithZip64Records(uint16_t endRecordCount)
{
    Bytes body = Join({ZipLocalHeader(HandMadeZipEntry()), Bytes{'h', 'e', 'l', 'l', 'o'},
                       ZipCentralHeader(HandMadeZipEntry(), 0)});  // 0..99
    Bytes zip64End = Zip64EndRecord(1, 55, 44);  // 99..155
    Bytes locator = Zip64Locator(99);            // 155..175
    Bytes end = ZipEndRecord(endRecordCount, 55, 44);
    return Join({body, zip64End, locator, end});
}

TEST_F(DumpTest, Zip64RecordsAreFollowedWhereverALocatorPrecedesTheEndRecord)
{
    // Values that fit the end record, Zip64 records all the same.
    ASSERT_TRUE(DumpZip(WithZip64Records(1)));
    std::string report = Report();
    EXPECT_NE(std::string::npos, report.find("Central Dir. のサイズ：55\n\n"
                                             "Zip64 End Of Central Dir. Locator 位置：0x9b\n"
                                             "Zip64 End Of Central Dir. 位置：0x63\n\n"
                                             "Zip64 End Of Central Dir. 0x63\n"
                                             "ファイル個数：1\n"
                                             "Central Dir. の開始位置：0x2c\n"
                                             "Central Dir. のサイズ：55\n"
                                             "MadeVersion:45 NeededVersion:45\n\n"
                                             "Central Dir. index = 0\n"))
        << report;
    // All 197 bytes are claimed.
    EXPECT_EQ(std::string::npos, report.find("*** ")) << report;

    // An end record count of 0xFFFF stands for the Zip64 count.
    ASSERT_TRUE(DumpZip(WithZip64Records(0xFFFF)));
    report = Report();
    EXPECT_NE(std::string::npos, report.find("ファイル数：65535\n")) << report;
    EXPECT_NE(std::string::npos, report.find("ファイル個数：1\n")) << report;
    EXPECT_EQ(std::string::npos, report.find("*** ")) << report;
}

}  // namespace

TEST_F(DumpTest, NameLinesSayHowTheNameIsDecodedAndHowItIsSeen)
{
    struct Case {
        const char* what;
        std::string stored;
        uint16_t flags;
        const char* lines;
    };
    const std::vector<Case> cases = {
        {"flag bit 11", "\xE6\x97\xA5\xE6\x9C\xAC.txt", 0x0800,
         "ファイル名：日本.txt\nファイル名の文字コード：UTF-8 (Flag bit 11)\n"},
        {"raw UTF-8 that code page 932 cannot read", "\xE3\x81\x82.txt", 0,
         "ファイル名：あ.txt\nファイル名の文字コード：UTF-8\n"},
        {"code page 932", "\x95\x5C.txt", 0, "ファイル名：表.txt\n\n"},
        {"a \".\" component", "./docs/a.txt", 0, "ファイル名：./docs/a.txt\n展開時の名前：docs\\a.txt\n"},
        {"the top level itself", "./", 0, "ファイル名：./\n展開時の名前：（展開先フォルダー）\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HandMadeZipEntry e;
        e.name = c.stored;
        e.flags = c.flags;
        ASSERT_TRUE(DumpZip(OneEntryZip(e)));
        std::string report = Report();
        EXPECT_NE(report.find(std::string("Flag:0x") + (c.flags ? "800" : "0") + "\n"), std::string::npos) << report;
        EXPECT_NE(report.find(c.lines), std::string::npos) << report;
    }
}

TEST_F(DumpTest, EncryptionFlagsAndTheAesBlockAreDecodedWithoutErrorLines)
{
    struct Case {
        const char* what;
        uint16_t flags;
        uint16_t method;
        Bytes extra;
        const char* lines;
    };
    const std::vector<Case> cases = {
        {"traditional", 0x0001, 0, Bytes(), "ファイル名：hello.txt\n暗号化：あり (Flag bit 0)\n"},
        {"strong", 0x0041, 0, Bytes(), "ファイル名：hello.txt\n暗号化：強力な暗号化 (Flag bit 6)\n"},
        {"AES-256, AE-2, deflated", 0x0001, 99, ZipExtraBlock(0x9901, {2, 0, 'A', 'E', 3, 8, 0}),
         "暗号化：あり (Flag bit 0)\nHeaderID：0x9901 Length = 7\nAES 暗号化：AE-2 強度 3（256 ビット） 圧縮法 8\n"},
        {"unknown strength", 0x0001, 99, ZipExtraBlock(0x9901, {1, 0, 'A', 'E', 4, 0, 0}),
         "AES 暗号化：AE-1 強度 4（不明） 圧縮法 0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HandMadeZipEntry e;
        e.flags = c.flags;
        e.method = c.method;
        e.extra = c.extra;
        ASSERT_TRUE(DumpZip(OneEntryZip(e)));
        std::string report = Report();
        EXPECT_NE(report.find(c.lines), std::string::npos) << report;
        EXPECT_EQ(std::string::npos, report.find("*** ")) << report;
    }
}
