#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "archive/cabfile.h"
#include "archive/zipfile.h"
#include "common/paths.h"
#include "support/prompt_recorder.h"
#include "support/zip_builder.h"
#include "archive/cab_test_support.h"

namespace {

const wchar_t kStream[] = L":Zone.Identifier";

Bytes Utf16Text(const std::wstring& text, bool bigEndian = false, bool withMark = true)
{
    Bytes bytes;
    if (withMark) {
        bytes = bigEndian ? Bytes{0xFE, 0xFF} : Bytes{0xFF, 0xFE};
    }
    for (wchar_t unit : text) {
        uint8_t low = static_cast<uint8_t>(unit & 0xFF);
        uint8_t high = static_cast<uint8_t>(unit >> 8);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
}

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string MarkOf(const WString& path)
{
    Bytes bytes = ReadFileBytes(path + kStream);
    return std::string(bytes.begin(), bytes.end());
}

std::string ExpectedMark(int zone, const WString& archive)
{
    return "[ZoneTransfer]\r\nZoneId=" + std::to_string(zone) + "\r\nReferrerUrl=" +
           std::string(archive.ToAnsi().c_str()) + "\r\n";
}

class ZoneMarkTest : public CabinetTest {
protected:
    // The same two files, one of them read-only, in either format.
    WString Archive(bool cabinet, const wchar_t* name)
    {
        if (cabinet) {
            return Write(BuildStoredCabinet({{"docs\\a.txt", "alpha", 0}, {"locked.txt", "locked", 0, 0x21}}), name);
        }
        ZipTestEntry locked{"locked.txt", "locked"};
        locked.attributes = 0x21;
        return Write(BuildZip({{"docs/a.txt", "alpha"}, locked}), name);
    }
    std::unique_ptr<CArcFile> Open(bool cabinet, const WString& path)
    {
        if (cabinet) {
            return std::unique_ptr<CArcFile>(new CCabFile(path));
        }
        return std::unique_ptr<CArcFile>(new CZipFile(path, ZlibBesideProgram()));
    }
};

TEST_F(ZoneMarkTest, FilesTakenOutOfAnArchiveFromTheInternetKeepItsZone)
{
    for (bool cabinet : {false, true}) {
        SCOPED_TRACE(cabinet ? "cab" : "zip");
        // As browsers write it, and as UTF-16 with another section first.
        struct Mark {
            Bytes stream;
            int zone;
        } marks[] = {
            {[] {
                 std::string text = "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://example.com/a\r\n";
                 return Bytes(text.begin(), text.end());
             }(),
             3},
            {Utf16Text(L"[Other]\r\nZoneId=1\r\n[ZoneTransfer]\r\n  zoneid = 4 \r\n"), 4},
        };
        for (const Mark& mark : marks) {
            WString archive = Archive(cabinet, cabinet ? L"m.cab" : L"m.zip");
            ASSERT_TRUE(WriteFileBytes(archive + kStream, mark.stream));
            WString whole = scratch_ / L"whole";
            WString one = scratch_ / L"one";
            CreateDirectoryW(whole.c_str(), nullptr);
            CreateDirectoryW(one.c_str(), nullptr);
            {
                std::unique_ptr<CArcFile> reader = Open(cabinet, archive);
                ASSERT_TRUE(reader->Extract(whole, WString(), false)) << Utf8(reader->ErrorText().c_str());
                ASSERT_TRUE(reader->Extract(one, L"docs\\a.txt", false)) << Utf8(reader->ErrorText().c_str());
            }
            std::string expected = ExpectedMark(mark.zone, archive);
            EXPECT_EQ(MarkOf(whole + L"\\docs\\a.txt"), expected);
            EXPECT_EQ(MarkOf(whole + L"\\locked.txt"), expected) << "a read-only file is marked too";
            EXPECT_TRUE(GetFileAttributesW((whole + L"\\locked.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
            EXPECT_EQ(MarkOf(one + L"\\a.txt"), expected);
            EXPECT_EQ(ReadFileBytes(whole + L"\\docs\\a.txt"), Bytes({'a', 'l', 'p', 'h', 'a'}));
            CArcFile::RemovePath(whole);
            CArcFile::RemovePath(one);
            DeleteFileW((archive + kStream).c_str());
            DeleteFileW(archive.c_str());
        }
    }
}

TEST_F(ZoneMarkTest, ArchivesOfTheLocalZonesOrWithoutAZoneMarkNothing)
{
    const char* streams[] = {nullptr, "[ZoneTransfer]\r\nZoneId=2\r\n", "[Other]\r\nZoneId=3\r\n"};
    for (bool cabinet : {false, true}) {
        for (const char* stream : streams) {
            SCOPED_TRACE(stream ? stream : "no stream");
            WString archive = Archive(cabinet, cabinet ? L"l.cab" : L"l.zip");
            if (stream) {
                ASSERT_TRUE(WriteFileText(archive + kStream, stream));
            }
            WString out = scratch_ / L"out";
            CreateDirectoryW(out.c_str(), nullptr);
            {
                std::unique_ptr<CArcFile> reader = Open(cabinet, archive);
                ASSERT_TRUE(reader->Extract(out, WString(), false));
            }
            EXPECT_TRUE(PathExists(out + L"\\docs\\a.txt"));
            EXPECT_FALSE(PathExists(out + L"\\docs\\a.txt" + kStream));
            EXPECT_FALSE(PathExists(out + L"\\locked.txt" + kStream));
            CArcFile::RemovePath(out);
            DeleteFileW((archive + kStream).c_str());
            DeleteFileW(archive.c_str());
        }
    }
}

// Windows writes a mark in more ways than the plain one, a browser adds
// addresses that whoever serves the file chooses, and a mark that cannot be
// read must still warn.
TEST(ZoneMarkReading, ReadsEveryEncodingAndTakesAnUnreadableZoneForTheInternet)
{
    const std::string plain = "[ZoneTransfer]\r\nZoneId=3\r\n";
    const std::wstring wide = L"[ZoneTransfer]\r\nZoneId=4\r\n";
    struct Case {
        const char* what;
        Bytes stream;
        int zone;
    } cases[] = {
        {"UTF-8 with its byte order mark", TextBytes("\xEF\xBB\xBF" + plain), 3},
        {"UTF-16 big-endian", Utf16Text(wide, true), 4},
        {"UTF-16 without a mark", Utf16Text(wide, false, false), 4},
        {"UTF-16 big-endian without a mark", Utf16Text(wide, true, false), 4},
        {"addresses past 64 KiB", TextBytes(plain + "HostUrl=https://example.com/" + std::string(70000, 'a') + "\r\n"),
         3},
        {"something after the zone", TextBytes("[ZoneTransfer]\r\nZoneId=3 ;\r\n"), 3},
        {"letters after the zone", TextBytes("[ZoneTransfer]\r\nZoneId=3x\r\n"), 3},
        {"a local zone with more after it", TextBytes("[ZoneTransfer]\r\nZoneId=1x\r\n"), 3},
        {"a stricter zone with more after it", TextBytes("[ZoneTransfer]\r\nZoneId=4;\r\n"), 4},
        {"no number", TextBytes("[ZoneTransfer]\r\nZoneId=\r\n"), 3},
        {"no zone in the section", TextBytes("[ZoneTransfer]\r\nReferrerUrl=x\r\n"), 3},
    };
    ScratchFolder scratch;
    WString file = scratch / L"f.zip";
    ASSERT_TRUE(WriteFileText(file, "archive"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFileBytes(file + kStream, c.stream));
        EXPECT_EQ(ReadZoneMark(file).zoneId, c.zone);
    }
}

// Windows creates "run.bat." as run.bat; a mark written beside the stored
// name would land on another file, and the program that runs would carry
// none.
TEST_F(ZoneMarkTest, EntriesEndingInDotsOrBlanksAreMarkedAsTheFileWindowsWrites)
{
    for (bool cabinet : {false, true}) {
        SCOPED_TRACE(cabinet ? "cab" : "zip");
        WString archive = cabinet ? Write(BuildStoredCabinet({{"run.bat.", "@echo run", 0},
                                                             {"tools \\setup.exe ", "setup", 0}}),
                                          L"d.cab")
                                  : Write(BuildZip({{"run.bat.", "@echo run"}, {"tools /setup.exe ", "setup"}}),
                                          L"d.zip");
        ASSERT_TRUE(WriteFileText(archive + kStream, "[ZoneTransfer]\r\nZoneId=3\r\n"));
        WString whole = scratch_ / L"whole";
        WString one = scratch_ / L"one";
        std::vector<std::wstring> files;
        {
            std::unique_ptr<CArcFile> reader = Open(cabinet, archive);
            ASSERT_TRUE(reader->Extract(whole, WString(), false)) << Utf8(reader->ErrorText().c_str());
            for (const std::wstring& name : ListNames(*reader)) {
                if (name.back() != L'\\') {
                    files.push_back(name);
                    EXPECT_TRUE(reader->Extract(one, name.c_str(), false)) << Utf8(reader->ErrorText().c_str());
                }
            }
        }
        EXPECT_EQ(files, (std::vector<std::wstring>{L"run.bat", L"tools\\setup.exe"}));
        std::string expected = ExpectedMark(3, archive);
        for (const wchar_t* written : {L"whole\\run.bat", L"whole\\tools\\setup.exe", L"one\\run.bat",
                                       L"one\\setup.exe"}) {
            EXPECT_EQ(MarkOf(scratch_ / written), expected) << Utf8(written);
        }
        EXPECT_EQ(ReadFileBytes(whole + L"\\run.bat"), TextBytes("@echo run"));
        CArcFile::RemovePath(whole);
        CArcFile::RemovePath(one);
    }
}

// A deletion from a cabinet extracts the files it keeps into a work tree
// and compresses that tree again; marks there would become entries where a
// stream is a file of its own.
TEST_F(ZoneMarkTest, DeletingFromAMarkedCabinetPutsNoMarksIntoIt)
{
    WString archive = Write(BuildStoredCabinet({{"a.txt", "a", 0}, {"b.txt", "b", 0}, {"c.txt", "c", 0}}));
    ASSERT_TRUE(WriteFileText(archive + kStream, "[ZoneTransfer]\r\nZoneId=3\r\n"));
    {
        CCabFile cabinet(archive);
        ASSERT_TRUE(cabinet.Delete(L"b.txt"));
        ASSERT_TRUE(cabinet.CommitChanges()) << Utf8(cabinet.ErrorText().c_str());
    }
    CCabFile reader(archive);
    EXPECT_EQ(ListNames(reader), (std::vector<std::wstring>{L"a.txt", L"c.txt"}));
}

}  // namespace
