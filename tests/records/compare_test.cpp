// The comparison of two tables built in memory.
#include <gtest/gtest.h>

#include "records/compare.h"
#include "records/contact_columns.h"

namespace records {
namespace {

using records_testing::kContact;

Table Contacts(std::vector<Record> rows, std::vector<std::string> key = {}) {
    return Table{kContact, std::move(key), std::move(rows)};
}

TEST(RecordCompare, MatchesByPrimaryKeyElseIdElseWholeRecord) {
    std::vector<Record> before = {{int64_t{1}, "Ann", "x", int64_t{1}},
                                  {int64_t{2}, "Bob", "y", int64_t{2}},
                                  {int64_t{3}, "Cy", "z", int64_t{3}}};
    std::vector<Record> after = {{int64_t{3}, "Cy", "z", int64_t{3}},
                                 {int64_t{2}, "Bob", "Y", Null{}},
                                 {int64_t{4}, "Dee", "w", int64_t{4}}};
    for (const auto& key : {std::vector<std::string>{"id"}, std::vector<std::string>{}}) {
        const Comparison c = Compare(Contacts(before, key), Contacts(after));
        EXPECT_EQ(c.matchedBy, key.empty() ? Comparison::MatchedBy::IdColumn : Comparison::MatchedBy::PrimaryKey);
        EXPECT_EQ(c.onlyInFirst, std::vector<size_t>{0});
        EXPECT_EQ(c.onlyInSecond, std::vector<size_t>{2});
        ASSERT_EQ(c.changed.size(), 1u);
        EXPECT_EQ(c.changed[0].first, 1u);
        EXPECT_EQ(c.changed[0].second, 1u);
        EXPECT_EQ(c.changed[0].fields, (std::vector<std::string>{"Notes", "Phone"}));
    }
    // Without ID: whole records, each copy of a duplicate counted.
    Table a{{{"Name", Kind::Text}}, {}, {{"Ann"}, {"Ann"}, {"Bob"}}};
    Table b{{{"name", Kind::Text}}, {}, {{"Bob"}, {"Ann"}, {"bob"}}};
    const Comparison whole = Compare(a, b);
    EXPECT_EQ(whole.matchedBy, Comparison::MatchedBy::WholeRecord);
    EXPECT_EQ(whole.onlyInFirst, std::vector<size_t>{1});
    EXPECT_EQ(whole.onlyInSecond, std::vector<size_t>{2});
    EXPECT_TRUE(whole.changed.empty());
}

TEST(RecordCompare, CommonColumnsOnlyAndANullKeyIdentifiesNothing) {
    Table first{{{"ID", Kind::Integer}, {"Name", Kind::Text}, {"Fax", Kind::Text}}, {},
                {{int64_t{1}, "Ann", "1"}, {Null{}, "Bob", "2"}, {Null{}, "Cy", "3"}}};
    Table second{{{"Email", Kind::Text}, {"name", Kind::Text}, {"id", Kind::Integer}}, {},
                 {{"a@x", "Ann", int64_t{1}}, {"b@x", "Bob", Null{}}, {"c@x", "Cyd", Null{}}}};
    const Comparison c = Compare(first, second);
    EXPECT_EQ(c.common, (std::vector<std::string>{"ID", "Name"}));
    EXPECT_EQ(c.onlyInFirstColumns, std::vector<std::string>{"Fax"});
    EXPECT_EQ(c.onlyInSecondColumns, std::vector<std::string>{"Email"});
    EXPECT_TRUE(c.changed.empty());  // Ann's Fax and Email are not compared
    EXPECT_EQ(c.onlyInFirst, std::vector<size_t>{2});
    EXPECT_EQ(c.onlyInSecond, std::vector<size_t>{2});
    EXPECT_TRUE(Compare(first, first).NoDifference());
}

}  // namespace
}  // namespace records
