#include <gtest/gtest.h>

#include <cstring>

#include "archive/datalist.h"

namespace {

TEST(DataList, OwnsPushedBlocksAndCopiesAppendedBytes)
{
    CDataList blocks;
    EXPECT_EQ(100, blocks.Capacity());
    uint8_t* owned = new uint8_t[3]{1, 2, 3};
    EXPECT_EQ(0, blocks.Push(owned, 3));
    uint8_t source[2] = {9, 8};
    EXPECT_EQ(1, blocks.Append(source, 2));
    source[0] = 0;
    EXPECT_EQ(owned, blocks.Block(0)) << "a pushed block is kept, not copied";
    EXPECT_EQ(9, blocks.Block(1)[0]) << "appended bytes are a copy";
    EXPECT_EQ(2, blocks.Size(1));
    EXPECT_EQ(2, blocks.Append(nullptr, 0));
    EXPECT_EQ(0, blocks.Size(2));
    EXPECT_EQ(nullptr, blocks.Block(-1));
    EXPECT_EQ(nullptr, blocks.Block(3));
    EXPECT_EQ(0, blocks.Size(3));
}

TEST(DataList, GrowsByAHundredAndKeepsEveryBlock)
{
    CDataList blocks;
    for (int i = 0; i < 250; ++i) {
        uint32_t value = static_cast<uint32_t>(i * 31);
        ASSERT_EQ(i, blocks.Append(&value, sizeof value));
    }
    EXPECT_EQ(300, blocks.Capacity());
    for (int i = 0; i < 250; ++i) {
        uint32_t value = 0;
        memcpy(&value, blocks.Block(i), sizeof value);
        EXPECT_EQ(static_cast<uint32_t>(i * 31), value);
    }
}

}  // namespace
