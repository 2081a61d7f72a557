#include "common/vbvalue.h"

#include <gtest/gtest.h>

#include "vb/error.h"

namespace {

int Number(const ports::Value& v) {
    try {
        common::CLng(v);
        return 0;
    } catch (const vb::Error& e) {
        return e.Number();
    }
}

TEST(CLng, ConvertsWhatFitsAndRefusesTheRest) {
    EXPECT_EQ(common::CLng(int64_t{1234}), 1234);
    EXPECT_EQ(common::CLng(int64_t{2147483647}), 2147483647);
    EXPECT_EQ(common::CLng(int64_t{-2147483647 - 1}), -2147483647 - 1);
    EXPECT_EQ(common::CLng(2.5), 2);  // half to even, as Visual Basic rounds
    EXPECT_EQ(common::CLng(3.5), 4);
    EXPECT_EQ(common::CLng(std::string(" 42 ")), 42);
    EXPECT_EQ(Number(int64_t{2147483648}), 6);
    EXPECT_EQ(Number(int64_t{-2147483649}), 6);
    EXPECT_EQ(Number(1e12), 6);
    EXPECT_EQ(Number(ports::Null{}), 94);
    EXPECT_EQ(Number(std::string("12 rows")), 13);
    EXPECT_EQ(Number(std::string("")), 13);
}

TEST(TextOf, NullIsEmptyAndTextIsKeptAsStored) {
    EXPECT_EQ(common::TextOf(ports::Null{}), "");
    EXPECT_EQ(common::TextOf(std::string("  D:\\Data ")), "  D:\\Data ");
    EXPECT_EQ(common::TextOf(int64_t{-7}), "-7");
    EXPECT_EQ(common::Trim("   "), "");
    EXPECT_EQ(common::Trim("\t a \t"), "\t a \t");  // only spaces are trimmed
}

// Currency is exact: its text and its rounding come from the scaled integer.
TEST(Currency, TextAndRoundingComeFromTheExactAmount) {
    struct Case {
        int64_t scaled;
        const char* text;
        int32_t rounded;
    };
    for (const Case& c : {Case{185000, "18.5", 18}, Case{195000, "19.5", 20}, Case{-25000, "-2.5", -2},
                          Case{-35000, "-3.5", -4}, Case{-1, "-0.0001", 0}, Case{123456789, "12345.6789", 12346},
                          Case{0, "0", 0}}) {
        EXPECT_EQ(common::TextOf(ports::Currency{c.scaled}), c.text) << c.scaled;
        EXPECT_EQ(common::CLng(ports::Currency{c.scaled}), c.rounded) << c.scaled;
    }
    EXPECT_EQ(common::TextOf(ports::Currency{INT64_MIN}), "-922337203685477.5808");
    EXPECT_EQ(Number(ports::Currency{int64_t{1} << 50}), 6);
    EXPECT_EQ(common::CLng(ports::YesNo{true}), -1);
    EXPECT_EQ(common::TextOf(ports::YesNo{false}), "False");
    EXPECT_EQ(Number(ports::Bytes{"12"}), 13);
}

}  // namespace
