// The one name rule of both engines: a table of names that Windows cannot
// hold below a destination, run through hand-built ZIP archives and
// cabinets alike.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "archive/cab_builder.h"
#include "archive/cabfile.h"
#include "archive/entry_names.h"
#include "archive/zipfile.h"
#include "common/paths.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"
#include "support/zip_builder.h"

namespace {

struct NameCase {
    const wchar_t* name;  // with backslashes, as the engines list it
    NameFault fault;
};

const NameCase kNames[] = {
    {L"con", NameFault::kDeviceName},
    {L"CON", NameFault::kDeviceName},
    {L"nul.txt", NameFault::kDeviceName},
    {L"Aux", NameFault::kDeviceName},
    {L"com1", NameFault::kDeviceName},
    {L"lpt1.log", NameFault::kDeviceName},
    {L"PRN.tar.gz", NameFault::kDeviceName},
    {L"com9 .txt", NameFault::kDeviceName},
    {L"clock$", NameFault::kDeviceName},
    {L"CONOUT$.txt", NameFault::kDeviceName},
    {L"dir\\con\\x.txt", NameFault::kDeviceName},
    {L"LPT3\\x.txt", NameFault::kDeviceName},
    {L"..\\x.txt", NameFault::kLeavesFolder},
    {L"a\\..\\..\\x.txt", NameFault::kLeavesFolder},
    {L"a\\...\\x.txt", NameFault::kLeavesFolder},
    {L"a\\. \\x.txt", NameFault::kLeavesFolder},
    {L"x:stream.txt", NameFault::kLeavesFolder},
    {L"q?.txt", NameFault::kInvalidCharacter},
    {L"a\\pipe|.txt", NameFault::kInvalidCharacter},
    {L"console.txt", NameFault::kNone},
    {L"com10.txt", NameFault::kNone},
    {L"nullify.txt", NameFault::kNone},
    {L"lpt.txt", NameFault::kNone},
    {L"auxiliary\\x.txt", NameFault::kNone},
    {L"a..b\\..c.txt", NameFault::kNone},
};

// One engine, seen through the archive object.
struct Engine {
    const char* kind;
    WString (*write)(const ScratchFolder& scratch, const std::string& storedName);
    CArcFile* (*open)(const WString& path);
};

WString WriteZip(const ScratchFolder& scratch, const std::string& storedName)
{
    std::string name = storedName;
    for (char& c : name) {
        c = c == '\\' ? '/' : c;
    }
    WString path = scratch / L"n.zip";
    EXPECT_TRUE(WriteFileBytes(path, BuildZip({{"fine.txt", "fine"}, {name, "lost"}})));
    return path;
}

WString WriteCab(const ScratchFolder& scratch, const std::string& storedName)
{
    WString path = scratch / L"n.cab";
    EXPECT_TRUE(WriteFileBytes(path, BuildStoredCabinet({{"fine.txt", "fine", 0}, {storedName, "lost", 0}})));
    return path;
}

CArcFile* OpenZip(const WString& path) { return new CZipFile(path, ZlibBesideProgram()); }
CArcFile* OpenCab(const WString& path) { return new CCabFile(path); }

std::vector<std::wstring> ItemsIn(const WString& folder)
{
    AttrStringList items(false);
    ListDirectory(folder, items, L"*");
    std::vector<std::wstring> names;
    for (int i = 0; i < items.Count(); ++i) {
        names.push_back(items.Name(i).c_str());
    }
    return names;
}

const Engine kEngines[] = {{"zip", WriteZip, OpenZip}, {"cab", WriteCab, OpenCab}};

}  // namespace

TEST(EntryNameRule, ClassifiesTheTable)
{
    for (const NameCase& c : kNames) {
        EXPECT_EQ(CheckEntryName(c.name), c.fault) << Utf8(c.name);
        // Slashes separate as backslashes do.
        EXPECT_EQ(CheckEntryName(WString(c.name).ReplaceAll(L'\\', L'/')), c.fault) << Utf8(c.name);
    }
    for (const wchar_t* bad : {L"", L"\\abs", L"/abs", L"C:x", L"c:\\x", L"\\\\srv\\s\\x", L"a\\\\b", L"..", L"tab\t"}) {
        EXPECT_NE(CheckEntryName(bad), NameFault::kNone) << Utf8(bad);
    }
    // A "." component names the folder it stands in; a name of nothing else
    // is the destination itself.
    for (const wchar_t* here : {L".\\x.txt", L"a\\.\\b.txt", L"./docs/", L"a\\."}) {
        EXPECT_EQ(CheckEntryName(here), NameFault::kNone) << Utf8(here);
    }
    for (const wchar_t* itself : {L".", L".\\", L"./.", L"./../x"}) {
        EXPECT_EQ(CheckEntryName(itself), NameFault::kLeavesFolder) << Utf8(itself);
    }
    // A folder entry ends with one separator.
    EXPECT_EQ(CheckEntryName(L"a\\b\\"), NameFault::kNone);
    EXPECT_EQ(CheckEntryName(L"a\\nul\\"), NameFault::kDeviceName);
    EXPECT_EQ(RefusedNameText(L"d/con/x.txt", NameFault::kDeviceName),
              L"d\\con\\x.txt\nWindows のデバイス名と同じ名前のため展開できません");
}

// The name a file is written by is the one Windows creates: the mark of
// origin, the listing and the checks must all use it.
TEST(EntryNameRule, CurrentFolderComponentsAreDroppedAndOthersMappedAsWindowsCreatesThem)
{
    const std::pair<const wchar_t*, const wchar_t*> kCases[] = {
        {L"./docs/readme.txt", L"docs/readme.txt"},
        {L"./", L""},
        {L".", L""},
        {L"././a/./b/.", L"a/b/"},
        {L".\\x", L"x"},
        {L"run.bat.", L"run.bat"},
        {L"setup.exe ", L"setup.exe"},
        {L"tools. ./x.txt. . ", L"tools/x.txt"},
        {L"docs /", L"docs/"},
        {L"..a/.b", L"..a/.b"},
        // Components of nothing but dots and blanks, and empty ones, stay
        // for the rule to refuse.
        {L"../x", L"../x"},
        {L"a/.../. /.x", L"a/.../. /.x"},
        {L".//x", L"/x"},
        {L"/./x", L"/x"},
    };
    for (const auto& c : kCases) {
        std::vector<wchar_t> units(c.first, c.first + wcslen(c.first));
        MapEntryName(units);
        EXPECT_EQ(std::wstring(units.begin(), units.end()), c.second) << Utf8(c.first);
    }
}

TEST(EntryNameRule, BothEnginesRefuseTheSameNamesAndExtractTheOthers)
{
    for (const Engine& engine : kEngines) {
        for (const NameCase& c : kNames) {
            SCOPED_TRACE(std::string(engine.kind) + " " + Utf8(c.name));
            ScratchFolder scratch;
            WString path = engine.write(scratch, WString(c.name).ToAnsi().c_str());
            WString out = scratch / L"out";
            CreateDirectoryTree(out, true);
            std::unique_ptr<CArcFile> archive(engine.open(path));
            ASSERT_FALSE(archive->HasError()) << Utf8(archive->ErrorText().c_str());
            WString leaf = FileNamePart(c.name);
            if (c.fault == NameFault::kNone) {
                EXPECT_TRUE(archive->Extract(out, c.name, false)) << Utf8(archive->ErrorText().c_str());
                EXPECT_EQ(ReadFileBytes(JoinPath(out, leaf)), (Bytes{'l', 'o', 's', 't'}));
                EXPECT_TRUE(archive->Extract(out, WString(), false)) << Utf8(archive->ErrorText().c_str());
                EXPECT_TRUE(PathExists(JoinPath(out, c.name)));
                continue;
            }
            // The entry alone: refused, named, nothing written. (A device
            // name always "exists", so the folder's listing tells.)
            EXPECT_FALSE(archive->Extract(out, c.name, false));
            EXPECT_EQ(archive->ErrorText(), RefusedNameText(c.name, c.fault));
            archive->ClearErrorText();
            EXPECT_EQ(ItemsIn(out), std::vector<std::wstring>{});
            // The whole archive: refused with the same reason, naming the
            // entry or (ZIP lists folders as entries) the folder that holds
            // the refused component.
            EXPECT_FALSE(archive->Extract(out, WString(), false));
            WString text = archive->ErrorText();
            archive->ClearErrorText();
            int lineEnd = text.FindChar(L'\n');
            ASSERT_GT(lineEnd, 0) << Utf8(text.c_str());
            WString named = text.Left(lineEnd);
            EXPECT_TRUE(WString(c.name).StartsWith(named.c_str())) << Utf8(text.c_str());
            EXPECT_EQ(text, RefusedNameText(named, c.fault));
            // The cabinet's files come in record order: the sound one before.
            for (const std::wstring& item : ItemsIn(out)) {
                EXPECT_EQ(item, L"fine.txt");
            }
        }
    }
}
