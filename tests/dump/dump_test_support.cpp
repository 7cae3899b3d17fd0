#include "dump/dump_test_support.h"

#include "dump/cabdump.h"
#include "dump/zipdump.h"

namespace {

std::string Convert(const std::string& text, UINT from, UINT to)
{
    if (text.empty()) {
        return std::string();
    }
    int units = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(units, L'\0');
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), &wide[0], units);
    int bytes = WideCharToMultiByte(to, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string result(bytes, '\0');
    WideCharToMultiByte(to, 0, wide.data(), units, &result[0], bytes, nullptr, nullptr);
    return result;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace

std::string ToReportBytes(const std::string& utf8) { return ReplaceAll(Convert(utf8, CP_UTF8, 932), "\n", "\r\n"); }

std::string FromReportBytes(const std::string& bytes) { return ReplaceAll(Convert(bytes, 932, CP_UTF8), "\r\n", "\n"); }

std::string PathUtf8(const WString& path) { return Utf8(path.c_str()); }

DumpTest::DumpTest()
    : zipPath_(folder_ / L"test.zip"), cabPath_(folder_ / L"test.cab"), reportPath_(folder_ / L"test.txt")
{
}

bool DumpTest::DumpZip(const Bytes& archive)
{
    EXPECT_TRUE(WriteFileBytes(zipPath_, archive));
    CZipDump dump(zipPath_, reportPath_);
    return dump.Dump();
}

bool DumpTest::DumpCab(const Bytes& archive)
{
    EXPECT_TRUE(WriteFileBytes(cabPath_, archive));
    CCabDump dump(cabPath_, reportPath_);
    return dump.Dump();
}

std::string DumpTest::RawReport() const
{
    Bytes bytes = ReadFileBytes(reportPath_);
    return std::string(bytes.begin(), bytes.end());
}

std::string DumpTest::Report() const { return FromReportBytes(RawReport()); }

std::string DumpTest::Header(const WString& path) const
{
    return "ZPKSet.exe Ver.2.22\nファイル名：" + PathUtf8(path) + "\n\n";
}

std::string DumpTest::Closing(const WString& path) const { return PathUtf8(path) + " 情報出力終了\n"; }

void DumpTest::ExpectReport(const std::string& expectedUtf8) const
{
    std::string raw = RawReport();
    EXPECT_EQ(expectedUtf8, FromReportBytes(raw));
    if (expectedUtf8 == FromReportBytes(raw)) {
        EXPECT_EQ(ToReportBytes(expectedUtf8), raw) << "the report is not Shift-JIS with CR LF line ends";
    }
}

void DumpTest::ExpectReportEnd(const std::string& expectedUtf8) const
{
    std::string report = Report();
    ASSERT_GE(report.size(), expectedUtf8.size()) << report;
    EXPECT_EQ(expectedUtf8, report.substr(report.size() - expectedUtf8.size()));
}

HandMadeZipEntry::HandMadeZipEntry()
{
    name = "hello.txt";
    versionNeeded = 10;
    crc = 0x3610a686;
    dosTime = 0x6000;  // 12:00:00
    dosDate = 0x5A21;  // 2025-01-01
}

Bytes ZipLocalHeader(const HandMadeZipEntry& e, uint32_t crc, uint32_t packedSize, uint32_t size, const Bytes& extra)
{
    ZipHeader h = e;
    h.crc = crc;
    h.packedSize = packedSize;
    h.size = size;
    h.extra = extra;
    return ZipLocalHeader(h);
}

Bytes ZipLocalHeader(const HandMadeZipEntry& e)
{
    uint32_t size = static_cast<uint32_t>(e.data.size());
    return ZipLocalHeader(e, e.crc, size, size, e.extra);
}

Bytes ZipCentralHeader(const HandMadeZipEntry& e, uint32_t headerOffset, uint32_t packedSize, uint32_t size,
                       const Bytes& extra, uint16_t versionMadeBy)
{
    ZipHeader h = e;
    h.versionMadeBy = versionMadeBy;
    h.packedSize = packedSize;
    h.size = size;
    h.extra = extra;
    h.headerOffset = headerOffset;
    return ZipCentralHeader(h);
}

Bytes ZipCentralHeader(const HandMadeZipEntry& e, uint32_t headerOffset)
{
    uint32_t size = static_cast<uint32_t>(e.data.size());
    return ZipCentralHeader(e, headerOffset, size, size, e.extra);
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes OneEntryZip(const HandMadeZipEntry& e)
{
    Bytes local = ZipLocalHeader(e);
    Bytes data(e.data.begin(), e.data.end());
    Bytes central = ZipCentralHeader(e, 0);
    Bytes end = ZipEndRecord(1, static_cast<uint32_t>(central.size()),
                             static_cast<uint32_t>(local.size() + data.size()));
    return Join({local, data, central, end});
}
