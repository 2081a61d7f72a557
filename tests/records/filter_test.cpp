// The filter, on tables built in memory.
#include <gtest/gtest.h>

#include <random>

#include "records/filter.h"
#include "records/contact_columns.h"

namespace records {
namespace {

using records_testing::kContact;

TEST(RecordFilter, FindsTextInTextColumnsAsNamesCompare) {
    const std::vector<Record> rows = {
        {int64_t{1}, "Émile Zola", "ab", int64_t{5551234}},
        {int64_t{2}, "STRASSE", std::string("x\xff"), Null{}},
        {int64_t{3}, Null{}, "b", int64_t{1}},
        {int64_t{4}, "straße", "", int64_t{2}},
    };
    TextIndex index;
    for (const Record& row : rows) index.Add(kContact, row);
    const std::vector<uint32_t> all{0, 1, 2, 3};
    struct Case {
        const char* text;
        std::vector<uint32_t> expected;
    } cases[] = {
        {"", all},
        {"émile", {0}},       // folded outside ASCII
        {"ab", {0}},          // "b" of the next cell does not join "a"
        {"555", {}},          // numbers are not text columns
        {"b", {0, 2}},
        {"STRASSE", {1}},     // "ß" is not "SS"
        {"Straße", {3}},
        {"\xff", {1}},        // an invalid byte finds itself
        {"\xef\xbf\xbf", {}}, // and nothing else
    };
    for (const Case& c : cases) {
        EXPECT_EQ(index.Matching(c.text), c.expected) << c.text;
        EXPECT_EQ(index.Matching(c.text, &all), c.expected) << c.text;
        const Finder finder(c.text);
        std::vector<uint32_t> brute;
        for (uint32_t n = 0; n < rows.size(); ++n)
            if (finder.InRecord(kContact, rows[n])) brute.push_back(n);
        EXPECT_EQ(brute, c.expected) << c.text;
    }
    const std::vector<uint32_t> some{2, 3};
    EXPECT_EQ(index.Matching("b", &some), std::vector<uint32_t>{2});
}

TEST(RecordFilter, OnePassAgreesWithRecordByRecordOnManyRecords) {
    std::mt19937 random(7);
    const char letters[] = "aAbB\xc3\xa9\xc3\x89";  // a A b B é É
    TextIndex index;
    std::vector<Record> rows;
    for (int n = 0; n < 2000; ++n) {
        Record row{int64_t{n}, std::string(), Null{}, int64_t{0}};
        for (int k = random() % 5; k > 0; --k) {
            const int pick = random() % 6;
            std::get<std::string>(row[1]) += pick < 4 ? std::string(1, letters[pick]) : std::string(letters + 4 + (pick - 4) * 2, 2);
        }
        if (random() % 3 == 0) row[2] = std::string("b");
        rows.push_back(row);
        index.Add(kContact, row);
    }
    for (const char* text : {"ab", "BA", "éa", "bé", "aaa", "b"}) {
        const Finder finder(text);
        std::vector<uint32_t> brute;
        for (uint32_t n = 0; n < rows.size(); ++n)
            if (finder.InRecord(kContact, rows[n])) brute.push_back(n);
        EXPECT_EQ(index.Matching(text), brute) << text;
    }
}

}  // namespace
}  // namespace records
