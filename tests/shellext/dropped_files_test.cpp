// Reading the file list of a drop: sound lists in both name forms, and
// blocks and media that must be refused without reading past their end.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "common/handles.h"
#include "shellext/dropped_files.h"
#include "support/drop_data.h"

namespace {

std::vector<std::wstring> Texts(const StringList& list)
{
    std::vector<std::wstring> texts;
    for (int i = 0; i < list.Count(); ++i) {
        texts.push_back(list[i].c_str());
    }
    return texts;
}

TEST(DroppedFiles, ReadsWideAndCodePageLists)
{
    std::vector<std::wstring> paths{L"C:\\data\\報告書.txt", L"C:\\data\\img"};
    StringList read(false);
    Bytes wide = FileListBlock(paths);
    ASSERT_TRUE(ParseFileList(wide.data(), wide.size(), read));
    EXPECT_EQ(paths, Texts(read));
    Bytes ansi = FileListBlock(paths, false);
    ASSERT_TRUE(ParseFileList(ansi.data(), ansi.size(), read));
    EXPECT_EQ(paths, Texts(read));
}

TEST(DroppedFiles, RefusesBlocksThatDoNotHoldASoundList)
{
    StringList read(false);
    Bytes sound = FileListBlock({L"C:\\a.txt"});

    EXPECT_FALSE(ParseFileList(sound.data(), sizeof(DROPFILES) - 1, read)) << "shorter than its header";
    EXPECT_FALSE(ParseFileList(nullptr, 100, read));

    Bytes outside = sound;
    outside[0] = static_cast<uint8_t>(sound.size());
    EXPECT_FALSE(ParseFileList(outside.data(), outside.size(), read)) << "list starting past the end";
    Bytes inside = sound;
    inside[0] = 4;
    EXPECT_FALSE(ParseFileList(inside.data(), inside.size(), read)) << "list starting inside the header";

    // Without its closing empty name the list would be read past the block.
    Bytes open = sound;
    open.resize(open.size() - 2);
    EXPECT_FALSE(ParseFileList(open.data(), open.size(), read));
    Bytes unterminated = sound;
    unterminated.resize(unterminated.size() - 4);
    EXPECT_FALSE(ParseFileList(unterminated.data(), unterminated.size(), read));
    EXPECT_EQ(0, read.Count());

    Bytes empty = FileListBlock({});
    EXPECT_FALSE(ParseFileList(empty.data(), empty.size(), read)) << "a list without a file";
}

TEST(DroppedFiles, MediaThatAreNotGlobalMemoryAreRefusedAndGivenBack)
{
    StringList read(false);
    struct Case {
        DropMedium medium;
        bool accepted;
    } cases[] = {{kGlobalMedium, true}, {kNullGlobalMedium, false}, {kStreamMedium, false}};
    for (const Case& c : cases) {
        DropData* data = DropData::WithBlock(FileListBlock({L"C:\\a.txt"}), c.medium);
        EXPECT_TRUE(OffersFileList(data));
        EXPECT_EQ(c.accepted, ReadDroppedFiles(data, read)) << c.medium;
        EXPECT_EQ(1, data->HandedOut()) << c.medium;
        EXPECT_EQ(1, data->GivenBack()) << c.medium;
        data->Release();
    }
    DropData* text = DropData::WithTextOnly();
    EXPECT_FALSE(OffersFileList(text));
    EXPECT_FALSE(ReadDroppedFiles(text, read));
    EXPECT_EQ(0, text->HandedOut());
    text->Release();
    EXPECT_FALSE(ReadDroppedFiles(nullptr, read));
}

}  // namespace
