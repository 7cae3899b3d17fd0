// Helpers of the report tests: expected reports written as readable UTF-8
// text and compared with the report's Shift-JIS CR LF bytes, and the small
// ZIP archives of one hand-made entry.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/wstring.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"
#include "support/zip_builder.h"

// UTF-8 text as the report holds it: code page 932, CR LF line ends.
std::string ToReportBytes(const std::string& utf8);
// Report bytes back as UTF-8 with LF line ends, for readable comparisons.
std::string FromReportBytes(const std::string& bytes);
std::string PathUtf8(const WString& path);

// A scratch folder with an archive and its report; runs the dumps.
class DumpTest : public testing::Test {
protected:
    DumpTest();
    // Writes the archive bytes, dumps them, returns what Dump() answered.
    bool DumpZip(const Bytes& archive);
    bool DumpCab(const Bytes& archive);
    // The report as UTF-8 text with LF line ends.
    std::string Report() const;
    std::string RawReport() const;
    // The first lines every report starts with, and the closing line.
    std::string Header(const WString& path) const;
    std::string Header() const { return Header(zipPath_); }
    std::string CabHeader() const { return Header(cabPath_); }
    std::string Closing(const WString& path) const;
    std::string Closing() const { return Closing(zipPath_); }
    std::string CabClosing() const { return Closing(cabPath_); }
    // Compares the whole report, as text and then byte for byte.
    void ExpectReport(const std::string& expectedUtf8) const;
    // Compares the last lines of the report as text.
    void ExpectReportEnd(const std::string& expectedUtf8) const;

    ScratchFolder folder_;
    WString zipPath_;
    WString cabPath_;
    WString reportPath_;
    PromptRecorder prompts_;
};

// The entry of the hand-made ZIP archives: "hello.txt" holding "hello",
// stored, dated 2025/01/01 12:00:00 local time.
struct HandMadeZipEntry : ZipHeader {
    HandMadeZipEntry();
    std::string data = "hello";
};
const char kEntryTime[] = "2025/01/01(水)12:00:00";

// The entry's local header with the CRC, sizes and extra field given.
Bytes ZipLocalHeader(const HandMadeZipEntry& e, uint32_t crc, uint32_t packedSize, uint32_t size,
                     const Bytes& extra = Bytes());
Bytes ZipLocalHeader(const HandMadeZipEntry& e);
// The entry's central header at that local header offset, with the sizes,
// extra field and version made by given.
Bytes ZipCentralHeader(const HandMadeZipEntry& e, uint32_t headerOffset, uint32_t packedSize, uint32_t size,
                       const Bytes& extra = Bytes(), uint16_t versionMadeBy = 20);
Bytes ZipCentralHeader(const HandMadeZipEntry& e, uint32_t headerOffset);
// A stored one-entry archive of that entry, its extra field in both
// headers, nothing around it.
Bytes OneEntryZip(const HandMadeZipEntry& e = HandMadeZipEntry());
Bytes Join(std::initializer_list<Bytes> parts);
