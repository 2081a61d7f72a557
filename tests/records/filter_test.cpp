// The filter, on tables built in memory, and the store that holds the
// window's records and finds in them.
#include <gtest/gtest.h>

#include <random>

#include "records/contact_columns.h"
#include "records/filter.h"
#include "records/store.h"

namespace records {
namespace {

using records_testing::kContact;

// Find, through the store that holds the window's records, finds what the
// record-by-record rule finds: the store searches its text as it is.
TEST(RecordFilter, FindsTextInTextColumnsAsNamesCompare) {
    const std::vector<Record> rows = {
        {int64_t{1}, "Émile Zola", "ab", int64_t{5551234}},
        {int64_t{2}, "STRASSE", std::string("x\xff"), Null{}},
        {int64_t{3}, Null{}, "b", int64_t{1}},
        {int64_t{4}, "straße", "", int64_t{2}},
        {int64_t{5}, "kılıç", "ſun", int64_t{3}},
        // Past the sixteen bytes looked at together.
        {int64_t{6}, "Grüße aus ZÜRICH und Köln", "notes that run past sixteen bytes: KILIÇ", int64_t{4}},
    };
    RecordStore store(kContact);
    for (const Record& row : rows) store.Add(row);
    const std::vector<uint32_t> all{0, 1, 2, 3, 4, 5};
    struct Case {
        const char* text;
        std::vector<uint32_t> expected;
    } cases[] = {
        {"", all},
        {"émile", {0}},       // folded outside ASCII
        {"ab", {0}},          // "b" of the next cell does not join "a"
        {"555", {}},          // numbers are not text columns
        {"b", {0, 2, 5}},
        {"STRASSE", {1}},     // "ß" is not "SS"
        {"Straße", {3}},
        {"il", {0, 4, 5}},    // "ı" folds to "I"
        {"kılıç", {4, 5}},
        {"zürich", {5}},
        {"ße", {3, 5}},
        {"Ö", {5}},
        {"SUN", {4}},         // and "ſ" to "S"
        {"\xff", {1}},        // an invalid byte finds itself
        {"\xef\xbf\xbf", {}}, // and nothing else
    };
    for (const Case& c : cases) {
        EXPECT_EQ(store.Matching(c.text), c.expected) << c.text;
        EXPECT_EQ(store.Matching(c.text, &all), c.expected) << c.text;
        const Finder finder(c.text);
        std::vector<uint32_t> brute;
        for (uint32_t n = 0; n < rows.size(); ++n)
            if (finder.InRecord(kContact, rows[n])) brute.push_back(n);
        EXPECT_EQ(brute, c.expected) << c.text;
    }
    const std::vector<uint32_t> some{2, 3};
    EXPECT_EQ(store.Matching("b", &some), std::vector<uint32_t>{2});
}

TEST(RecordFilter, OnePassAgreesWithRecordByRecordOnManyRecords) {
    std::mt19937 random(7);
    const char letters[] = "aAbB\xc3\xa9\xc3\x89";  // a A b B é É
    RecordStore store(kContact), more(kContact);
    std::vector<Record> rows;
    for (int n = 0; n < 2000; ++n) {
        Record row{int64_t{n}, std::string(), Null{}, int64_t{0}};
        for (int k = random() % 5; k > 0; --k) {
            const int pick = random() % 6;
            std::get<std::string>(row[1]) += pick < 4 ? std::string(1, letters[pick]) : std::string(letters + 4 + (pick - 4) * 2, 2);
        }
        if (random() % 3 == 0) row[2] = std::string("b");
        rows.push_back(row);
        (n < 1000 ? store : more).Add(row);  // in two parts, joined as the window joins its batches
    }
    store.Append(std::move(more));
    for (const char* text : {"ab", "BA", "éa", "bé", "aaa", "b"}) {
        const Finder finder(text);
        std::vector<uint32_t> brute;
        for (uint32_t n = 0; n < rows.size(); ++n)
            if (finder.InRecord(kContact, rows[n])) brute.push_back(n);
        EXPECT_EQ(store.Matching(text), brute) << text;
        // Within few records (searched one by one) and within many (one
        // pass, then kept to those), the same as the rule finds there.
        for (const uint32_t every : {7u, 2u}) {
            std::vector<uint32_t> within, expected;
            for (uint32_t n = 0; n < rows.size(); n += every) within.push_back(n);
            std::copy_if(brute.begin(), brute.end(), std::back_inserter(expected),
                         [&](uint32_t n) { return n % every == 0; });
            EXPECT_EQ(store.Matching(text, &within), expected) << text << " within every " << every;
        }
    }
    EXPECT_EQ(store.Get(1500), rows[1500]);
}

// Each kind of cell comes back from the store as it went in.
TEST(RecordStoreTest, KeepsEveryKindOfCell) {
    const std::vector<Column> columns = {{"I", Kind::Integer}, {"T", Kind::Text},     {"D", Kind::Floating},
                                         {"C", Kind::Currency}, {"Y", Kind::YesNo},   {"W", Kind::DateTime},
                                         {"B", Kind::Bytes},    {"O", Kind::Other},   {"X", Kind::Text}};
    const std::vector<Record> rows = {
        {int64_t{INT64_MIN}, std::string("Zoë"), 0.1, Currency{-123456789}, YesNo{true},
         vb::DateTime{2024, 2, 29, 23, 59, 58}, Bytes{std::string("\0\xff\x01", 3)}, std::string("{GUID}"),
         std::string("bad \xff byte")},
        {int64_t{0}, std::string(), -0.0, Currency{INT64_MAX}, YesNo{false}, vb::DateTime{-657, 1, 1, 0, 0, 0},
         Bytes{}, Null{}, Null{}},
        {Null{}, Null{}, Null{}, Null{}, YesNo{false}, Null{}, Null{}, Null{}, std::string(70000, 'n')},
    };
    RecordStore store(columns);
    for (const Record& row : rows) store.Add(row);
    ASSERT_EQ(store.Size(), rows.size());
    for (size_t n = 0; n < rows.size(); ++n) EXPECT_EQ(store.Get(n), rows[n]) << n;
    EXPECT_EQ(store.Matching("BAD"), std::vector<uint32_t>{0});  // a text held aside is still found
}

// A column that repeats its texts keeps each once, one that does not soon
// stops keeping them, and long texts are kept packed; each record comes
// back as it went in,
// and Find finds what the record-by-record rule finds: in one store, and
// across the batches the window joins, before and after a column stops.
TEST(RecordStoreTest, RepeatedAndUniqueTextsComeBackAndAreFound) {
    const char* const cities[] = {"Zürich", "ZÜRICH", "Berlin", "København", "", "kılıç"};
    std::vector<Record> rows;
    RecordStore whole(kContact), joined(kContact), batch(kContact);
    for (int n = 0; n < 12000; ++n) {
        Record row{int64_t{n}, std::string(cities[n % 6]), "mail" + std::to_string(n * 7919 % 100003) + "@example.org",
                   Null{}};
        if (n % 5 == 0) row[1] = Null{};
        if (n == 7777) row[1] = std::string("Zürÿ");                 // held aside
        if (n % 1000 == 999) row[2] = std::string(24570 + n % 7, 'q') + "Tail kılıç " + std::to_string(n);  // packed
        rows.push_back(row);
        whole.Add(row);
        batch.Add(row);
        if (batch.Size() == 2500 || n + 1 == 12000) {
            joined.Append(batch);
            batch = RecordStore(kContact);
        }
    }
    for (const RecordStore* store : {&whole, &joined}) {
        ASSERT_EQ(store->Size(), rows.size());
        for (size_t n = 0; n < rows.size(); n += 7) ASSERT_EQ(store->Get(n), rows[n]) << n;
        EXPECT_EQ(store->Get(7777), rows[7777]);
        for (const char* text : {"zür", "RICH", "mail1", "99@", "qtail", "KILIÇ 9", "Q", "ı", "BENHAVN", "ZÜR\xff", "nowhere"}) {
            const Finder finder(text);
            std::vector<uint32_t> brute;
            for (uint32_t n = 0; n < rows.size(); ++n)
                if (finder.InRecord(kContact, rows[n])) brute.push_back(n);
            EXPECT_EQ(store->Matching(text), brute) << text;
            // Within many records (one pass) and within few (one by one).
            for (const uint32_t every : {3u, 7u}) {
                std::vector<uint32_t> within, expected;
                for (uint32_t n = 0; n < rows.size(); n += every) within.push_back(n);
                std::copy_if(brute.begin(), brute.end(), std::back_inserter(expected),
                             [&](uint32_t n) { return n % every == 0; });
                EXPECT_EQ(store->Matching(text, &within), expected) << text << " within every " << every;
            }
        }
    }
}

// Typing, each letter more searched only from where the text before it was
// found, finds what the search from scratch and the record-by-record rule
// find: where a match moves further into a record, or on from the text
// arena to a column's dictionary, a long text or a text held aside.
TEST(RecordStoreTest, TypingFindsWhatSearchingAfreshFinds) {
    const std::vector<Column> columns = {
        {"ID", Kind::Integer}, {"City", Kind::Text}, {"Mail", Kind::Text}, {"Notes", Kind::Text}};
    const char* const cities[] = {"Zürich", "ZÜRICH", "Berlin", "København", "", "kılıç"};
    std::vector<Record> rows;
    RecordStore store(columns), batch(columns);
    for (int n = 0; n < 12000; ++n) {
        Record row{int64_t{n}, std::string(cities[n % 6]),
                   "zür" + std::to_string(n * 7919 % 100003) + " ab" + std::to_string(n) + " abab@example.org", Null{}};
        if (n % 5 == 0) row[1] = Null{};
        if (n == 7777) row[1] = std::string("Zür\xff");  // held aside
        if (n % 1000 == 999) row[3] = std::string(5000, 'q') + "Tail zürich KILIÇ " + std::to_string(n);  // packed
        else if (n % 7 == 0) row[3] = "ab" + std::to_string(n);
        rows.push_back(row);
        batch.Add(row);
        if (batch.Size() == 2500 || n + 1 == 12000) {
            store.Append(batch);
            batch = RecordStore(columns);
        }
    }
    // Each text typed a character at a time.
    const auto letters = [](std::string_view text) {
        std::vector<std::string> typed;
        for (size_t at = 0; at < text.size(); ++at)
            if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && at > 0) typed.emplace_back(text.substr(0, at));
        typed.emplace_back(text);
        return typed;
    };
    const std::vector<std::vector<std::string>> sequences = {
        letters("zürich"), letters("ZÜRICH k"), letters("abab@"), letters("kılıç"), letters("qqqqtail zü"),
        letters("zür\xff"), letters("ab12 abab"),
        {"ab", "b", "ba", "bab"},  // a text that holds the last without beginning with it
    };
    for (const std::vector<std::string>& sequence : sequences) {
        std::vector<uint32_t> shown;
        FoundPlaces places;
        std::string before;
        for (const std::string& text : sequence) {
            const bool narrower = !before.empty() && FoldedText(text).find(FoldedText(before)) != std::string::npos;
            shown = store.Matching(text, narrower ? &shown : nullptr, places);
            before = text;
            const Finder finder(text);
            std::vector<uint32_t> brute;
            for (uint32_t n = 0; n < rows.size(); ++n)
                if (finder.InRecord(columns, rows[n])) brute.push_back(n);
            EXPECT_EQ(shown, brute) << text;
            EXPECT_EQ(shown, store.Matching(text)) << text;
            EXPECT_EQ(places.at.size(), shown.size()) << text;
        }
    }
}

}  // namespace
}  // namespace records
