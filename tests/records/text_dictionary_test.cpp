// The dictionary of the texts one column of the window's records repeats.
#include "records/text_dictionary.h"

#include <gtest/gtest.h>

#include <string>

namespace records {
namespace {

// Texts that repeat are kept for every record that holds them; texts that
// do not stop being kept once the dictionary holds kMany of them, and from
// then on no record gets an entry, not even for a text it holds; a record
// that put nothing has none, and a text too long to look up is not kept.
TEST(TextDictionary, KeepsRepeatedTextsAndStopsTakingUniqueOnes) {
    TextDictionary cities, mails;
    for (uint32_t n = 0; n < 10000; n += (n == 6000 ? 2 : 1)) {
        EXPECT_TRUE(cities.Put(n, n % 3 != 0 ? "Berlin" : "Zürich")) << n;
        EXPECT_EQ(mails.Put(n, "mail" + std::to_string(n)), n < TextDictionary::kMany) << n;
    }
    ASSERT_NE(cities.Of(9999), nullptr);
    EXPECT_EQ(*cities.Of(9999), "Zürich");
    EXPECT_EQ(*cities.Of(9998), "Berlin");
    EXPECT_EQ(cities.Of(6001), nullptr);
    ASSERT_NE(mails.Of(10), nullptr);
    EXPECT_EQ(*mails.Of(10), "mail10");
    EXPECT_EQ(mails.Of(5000), nullptr);
    EXPECT_FALSE(mails.Put(10000, "mail10"));
    EXPECT_FALSE(cities.Put(10000, std::string(TextDictionary::kLongest + 1, 'x')));
    EXPECT_EQ(cities.Of(10000), nullptr);
}

}  // namespace
}  // namespace records
