#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history/pages.h"

namespace {

using history::PackList;
using history::UnpackList;

TEST(PageList, EveryListComesBackAsPacked) {
    std::vector<int64_t> many;
    for (int64_t id = 1; id <= 20000; ++id) many.push_back(id % 7 == 0 ? 5 : id);
    const std::vector<std::vector<int64_t>> lists = {
        {},
        {1},
        {1, 2, 3, 4},
        {9, 3, 9, 3, 1},                        // steps back as well as forward
        {int64_t{1} << 40, 1, int64_t{1} << 62}, // steps wider than 32 bits
        many,
    };
    for (const auto& ids : lists) {
        std::vector<int64_t> back{99};
        ASSERT_TRUE(UnpackList(PackList(ids), back)) << ids.size();
        EXPECT_EQ(back, ids);
    }
}

TEST(PageList, BytesThatAreNoListAreRefused) {
    const std::string good = PackList({1, 2, 3});
    std::vector<int64_t> ids;
    for (const std::string& bad : {std::string(), std::string("not a frame"), good.substr(0, good.size() - 2),
                                   PackList({0}), PackList({5, -10})})
        EXPECT_FALSE(UnpackList(bad, ids)) << bad.size();
}

TEST(PageCodec, PagesComeBackAndDamageIsSeen) {
    history::PageCodec codec;
    std::string random(4096, '\0');
    uint32_t x = 12345;
    for (char& c : random) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
    for (const std::string& page : {std::string(4096, '\0'), std::string(2048, 'a'), random, std::string("short")}) {
        bool packed = false;
        const std::string stored = codec.Pack(page, packed);
        EXPECT_LE(stored.size(), page.size());
        std::string back;
        ASSERT_TRUE(codec.Unpack(stored, packed, page.size(), back));
        EXPECT_EQ(back, page);
        // Another size than the page's, or a flipped byte, is a damaged page.
        EXPECT_FALSE(codec.Unpack(stored, packed, page.size() + 1, back));
        if (packed) {
            std::string flipped = stored;
            flipped[flipped.size() / 2] ^= 0x5a;
            if (codec.Unpack(flipped, packed, page.size(), back)) {
                EXPECT_NE(back, page);
            }
        }
    }
}

TEST(PageSize, FromTheJetVersionByte) {
    std::string jet3(0x80, '\1'), jet4(0x80, '\0');
    jet3[0x14] = 0;
    jet4[0x14] = 1;
    EXPECT_EQ(history::PageSizeOf(jet3), 2048u);
    EXPECT_EQ(history::PageSizeOf(jet4), 4096u);
    EXPECT_EQ(history::PageSizeOf(std::string(0x10, '\0')), 4096u);
}

}  // namespace
