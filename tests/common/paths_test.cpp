#include <gtest/gtest.h>

#include <shobjidl.h>

#include "common/handles.h"
#include "common/paths.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"

namespace {

std::string U(const WString& text) { return Utf8(text.c_str()); }

TEST(Paths, ParentJoinAndParts)
{
    EXPECT_EQ("C:\\", U(ParentDir(L"C:\\a")));
    EXPECT_EQ("C:\\", U(ParentDir(L"C:\\")));
    EXPECT_EQ("", U(ParentDir(L"name")));
    EXPECT_EQ("C:\\a\\b", U(ParentDir(L"C:\\a\\b\\c.txt")));
    EXPECT_EQ("C:\\x", U(JoinPath(L"C:\\", L"x")));
    EXPECT_EQ("C:\\d\\x", U(JoinPath(L"C:\\d", L"x")));
    EXPECT_EQ("b\\c", U(ExtensionPart(L"a.b\\c")));
    EXPECT_EQ("", U(ExtensionPart(L"noext")));
    EXPECT_EQ("c.txt", U(FileNamePart(L"C:\\a\\c.txt")));
    EXPECT_EQ("archive.tar", U(BaseNamePart(L"C:\\d.x\\archive.tar.gz")));
    EXPECT_EQ("plain", U(BaseNamePart(L"C:\\d.x\\plain")));
    EXPECT_TRUE(IsDriveRoot(L"C:\\"));
    EXPECT_FALSE(IsDriveRoot(L"C:"));
    EXPECT_FALSE(IsDriveRoot(L"C:\\a"));
}

TEST(Paths, UnquoteRemovesTheQuotesAndNothingElse)
{
    EXPECT_EQ("C:\\a b", U(Unquote(L"  \"C:\\a b\" ")));
    // A quote that is never closed takes no other unit with it.
    EXPECT_EQ("abcd", U(Unquote(L"\"abcd")));
    EXPECT_EQ("", U(Unquote(L" \" ")));
    EXPECT_EQ("", U(Unquote(L"\"\"")));
    EXPECT_EQ("plain", U(Unquote(L" plain ")));
}

TEST(Paths, SplitsAndBuildsCommandLines)
{
    WString program;
    WString arguments;
    SplitCommandLine(program, arguments, L"\"C:\\Program Files\\Z\\ZPKMain.exe\"   C:\\d\\a.zip ");
    EXPECT_EQ("C:\\Program Files\\Z\\ZPKMain.exe", U(program));
    EXPECT_EQ("C:\\d\\a.zip", U(arguments));

    // The arguments may follow the closing quote without a blank.
    SplitCommandLine(program, arguments, L"\"C:\\Z\\ZPKSet.exe\"set");
    EXPECT_EQ("C:\\Z\\ZPKSet.exe", U(program));
    EXPECT_EQ("set", U(arguments));

    SplitCommandLine(program, arguments, L"ZPKSet.exe set");
    EXPECT_EQ("ZPKSet.exe", U(program));
    EXPECT_EQ("set", U(arguments));

    SplitCommandLine(program, arguments, L"ZPKSet.exe");
    EXPECT_EQ("ZPKSet.exe", U(program));
    EXPECT_EQ("", U(arguments));

    EXPECT_EQ("\"C:\\a b\\p.exe\" x", U(BuildCommandLine(L"C:\\a b\\p.exe", L"x")));
    EXPECT_EQ("C:\\p.exe", U(BuildCommandLine(L"C:\\p.exe", L"")));
}

class CompactPathTest : public testing::Test {
protected:
    void SetUp() override
    {
        dc_ = CreateCompatibleDC(nullptr);
        ASSERT_NE(nullptr, dc_);
        SelectObject(dc_, GetStockObject(DEFAULT_GUI_FONT));
    }
    void TearDown() override { DeleteDC(dc_); }
    int Width(const wchar_t* text)
    {
        SIZE size{};
        GetTextExtentPoint32W(dc_, text, static_cast<int>(wcslen(text)), &size);
        return size.cx;
    }
    HDC dc_ = nullptr;
};

TEST_F(CompactPathTest, KeepsTheHeadAndDropsLeadingFolders)
{
    const wchar_t* path = L"C:\\first\\second\\third\\file.txt";
    EXPECT_EQ(U(path), U(CompactPath(dc_, path, Width(path) + 1)));
    int fits = Width(L"C:\\...\\third\\file.txt") + 1;
    EXPECT_EQ("C:\\...\\third\\file.txt", U(CompactPath(dc_, path, fits)));
    // When nothing fits, the file name alone.
    EXPECT_EQ("...\\file.txt", U(CompactPath(dc_, path, 1)));

    const wchar_t* unc = L"\\\\server\\share\\dir\\deeper\\f.txt";
    int uncFits = Width(L"\\\\server\\share\\...\\f.txt") + 1;
    EXPECT_EQ("\\\\server\\share\\...\\f.txt", U(CompactPath(dc_, unc, uncFits)));
}

TEST_F(CompactPathTest, RefusesPathsWithoutDriveOrShare)
{
    EXPECT_EQ("不正なファイル名", U(CompactPath(dc_, L"relative\\dir\\file.txt", 1)));
    EXPECT_EQ("不正なファイル名", U(CompactPath(dc_, L"\\\\server", 1)));
}

TEST(Paths, CreatesDirectoryTreesAndListsThem)
{
    ScratchFolder scratch;
    WString deep = scratch / L"a\\b\\c";
    EXPECT_TRUE(CreateDirectoryTree(deep, true));
    EXPECT_TRUE(IsDirectory(deep));
    EXPECT_FALSE(CreateDirectoryTree(deep, true)) << "an existing path fails, as CreateDirectoryW does";
    EXPECT_FALSE(CreateDirectoryTree(scratch / L"x\\y", false));
    EXPECT_FALSE(CreateDirectoryTree(L"Q:\\no\\such\\drive", true));

    ASSERT_TRUE(WriteFileText(scratch / L"a\\f.txt", "x"));
    SetFileAttributesW((scratch / L"a\\f.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    AttrStringList list(true);
    list.Insert(L"stale", 0);
    ASSERT_TRUE(ListDirectory(scratch / L"a", list, L"*"));
    ASSERT_EQ(2, list.Count());
    EXPECT_EQ("b", U(list.Name(0)));
    EXPECT_TRUE(list.ValueAt(0) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ("f.txt", U(list.Name(1)));
    EXPECT_TRUE(list.ValueAt(1) & FILE_ATTRIBUTE_READONLY);

    // A file is no folder to list, and the list is left as it was.
    EXPECT_FALSE(ListDirectory(scratch / L"a\\f.txt", list, L"*"));
    EXPECT_EQ(2, list.Count());
    // A search that cannot start leaves the list as it was, too.
    EXPECT_FALSE(ListDirectory(scratch / L"a", list, L"*.none"));
    EXPECT_EQ(2, list.Count());
}

TEST(Paths, CreatesShortcutsThatPointAtTheTarget)
{
    ScopedComInit com;
    ScratchFolder scratch;
    WString target = scratch / L"program.exe";
    ASSERT_TRUE(WriteFileText(target, "MZ"));
    WString link = scratch / L"program.lnk";
    ASSERT_TRUE(CreateShortcut(target, link, L"set", true));

    ComPtr<IShellLinkW> loaded;
    ASSERT_TRUE(SUCCEEDED(
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, loaded.ReceiveVoid())));
    ComPtr<IPersistFile> file;
    ASSERT_TRUE(SUCCEEDED(loaded->QueryInterface(IID_IPersistFile, file.ReceiveVoid())));
    ASSERT_TRUE(SUCCEEDED(file->Load(link.c_str(), STGM_READ)));
    wchar_t path[MAX_PATH] = {};
    wchar_t arguments[MAX_PATH] = {};
    wchar_t folder[MAX_PATH] = {};
    loaded->GetPath(path, MAX_PATH, nullptr, 0);
    loaded->GetArguments(arguments, MAX_PATH);
    loaded->GetWorkingDirectory(folder, MAX_PATH);
    EXPECT_EQ(0, lstrcmpiW(target.c_str(), path));
    EXPECT_STREQ(L"set", arguments);
    EXPECT_EQ(0, lstrcmpiW(scratch.Path().c_str(), folder));
}

TEST(Paths, SpecialFoldersResolveToFileSystemPaths)
{
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(Utf8(current), U(SpecialFolderPath(-1)));
    WString desktop = SpecialFolderPath(0x0010);
    EXPECT_FALSE(desktop.IsEmpty());
    EXPECT_EQ(U(JoinPath(desktop, L"a.zip")), U(SpecialFolderPath(0x0010, L"a.zip")));
}

}  // namespace
