#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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

namespace {

// Small copies share pieces of memory; pushed blocks and large copies in
// between must neither be written into nor move a copy.
TEST(DataList, InterleavedPushesCopiesAndLargeCopiesKeepTheirBytes)
{
    CDataList blocks;
    std::vector<std::vector<uint8_t>> expected;
    for (int i = 0; i < 3000; ++i) {
        size_t size = i % 7 == 0 ? 5000 : static_cast<size_t>(i % 50);
        std::vector<uint8_t> bytes(size);
        for (size_t b = 0; b < size; ++b) {
            bytes[b] = static_cast<uint8_t>(i + b);
        }
        if (i % 5 == 0) {
            uint8_t* owned = new uint8_t[size > 0 ? size : 1];
            memcpy(owned, bytes.data(), size);
            ASSERT_EQ(i, blocks.Push(owned, static_cast<int>(size)));
        } else {
            ASSERT_EQ(i, blocks.Append(bytes.data(), static_cast<int>(size)));
        }
        expected.push_back(bytes);
    }
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(blocks.Size(i), static_cast<int>(expected[i].size()));
        ASSERT_NE(blocks.Block(i), nullptr);
        EXPECT_EQ(0, memcmp(blocks.Block(i), expected[i].data(), expected[i].size())) << "block " << i;
    }
}

}  // namespace
