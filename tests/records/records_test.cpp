// The records' text forms, the filter, the comparison and the CSV writer,
// on tables built in memory.
#include <gtest/gtest.h>

#include <random>

#include "records/compare.h"
#include "records/csv.h"
#include "records/filter.h"
#include "records/json.h"
#include "records/render.h"
#include "records/store.h"
#include "records/timeline.h"

namespace records {
namespace {

TEST(RecordText, EachKindForScreenAndExport) {
    struct Case {
        Cell cell;
        const char* display;
        const char* exported;
    } cases[] = {
        {Null{}, "", ""},
        {int64_t{-42}, "-42", "-42"},
        {0.1, "0.1", "0.1"},
        {Currency{-1}, "-0.0001", "-0.0001"},
        {Currency{123450000}, "12345", "12345"},
        {Currency{INT64_MIN}, "-922337203685477.5808", "-922337203685477.5808"},
        {YesNo{true}, "Yes", "true"},
        {vb::DateTime{2024, 3, 1, 9, 5, 7}, "2024-03-01 09:05:07", "2024-03-01T09:05:07"},
        {Bytes{"a"}, "(1 byte)", "YQ=="},
        {Bytes{"ab"}, "(2 bytes)", "YWI="},
        {Bytes{std::string("ab\0\xff", 4)}, "(4 bytes)", "YWIA/w=="},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayText(c.cell), c.display);
        EXPECT_EQ(ExportText(c.cell), c.exported);
    }
}

TEST(RecordText, EscapesWhatActsOnTheTerminalOrTheTextAround) {
    EXPECT_EQ(Escaped("a\x1b[31mred\n\t"), "a\\x1B[31mred\\n\\t");
    EXPECT_EQ(Escaped("abc\u202Edef\u2066x\u200F\u0085"), "abc\\u202Edef\\u2066x\\u200F\\u0085");
    EXPECT_EQ(Escaped("C:\\x \xff\xc3"), "C:\\\\x \\xFF\\xC3");
    EXPECT_EQ(Escaped("C:\\x", /*backslash=*/false), "C:\\x");
    EXPECT_EQ(Escaped("Müller 東京 שלום"), "Müller 東京 שלום");
    EXPECT_EQ(CharacterCount("Müller\xff"), 7u);
}

// Columns line up as a terminal draws them: wide characters take two cells,
// combining marks none; a cut keeps whole characters and fits its width.
TEST(RecordsText, TerminalColumnsAndCuts) {
    const struct {
        const char* text;
        size_t columns;
        size_t cutTo;
        const char* cut;
    } cases[] = {
        {"Tokyo", 5, 5, "Tokyo"},
        {"東京", 4, 4, "東京"},
        {"日本商事", 8, 5, "日本\u2026"},
        {"Cafe\u0301", 4, 3, "Ca\u2026"},
        {"ＡＢ", 4, 2, "\u2026"},
        {"ab\xff", 3, 3, "ab\xff"},
        {"Cafe\u0301", 4, 4, "Cafe\u0301"},                // its mark takes no cell
        {"e\u0301e\u0301e\u0301", 3, 2, "e\u0301\u2026"},  // a kept character keeps its mark
        {"ab", 2, 0, "\u2026"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TerminalColumns(c.text), c.columns) << c.text;
        const std::string cut = CutToColumns(c.text, c.cutTo);
        EXPECT_EQ(cut, c.cut) << c.text;
        EXPECT_LE(TerminalColumns(cut), std::max<size_t>(c.cutTo, 1)) << c.text;
    }
}

const std::vector<Column> kContact = {{"ID", Kind::Integer}, {"Name", Kind::Text}, {"Notes", Kind::Text},
                                      {"Phone", Kind::Integer}};

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

// A strict RFC 4180 reader: fields, quoted or not, CRLF between records.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    for (size_t i = 0; i < text.size();) {
        std::string& field = rows.back().back();
        if (text[i] == '"' && field.empty()) {
            for (++i;; ++i) {
                if (i >= text.size()) {
                    ADD_FAILURE() << "unterminated quote";
                    break;
                }
                if (text[i] == '"' && text.compare(i, 2, "\"\"") != 0) break;
                field += text[i];
                if (text[i] == '"') ++i;
            }
            ++i;
            EXPECT_TRUE(i >= text.size() || text[i] == ',' || text.compare(i, 2, "\r\n") == 0)
                << "text after a closing quote at " << i;
        } else if (text[i] == ',') {
            rows.back().emplace_back();
            ++i;
        } else if (text.compare(i, 2, "\r\n") == 0) {
            rows.emplace_back(1);
            i += 2;
        } else {
            EXPECT_TRUE(text[i] != '"' && text[i] != '\r' && text[i] != '\n') << "bare quote or line end at " << i;
            field += text[i++];
        }
    }
    EXPECT_EQ(rows.back(), std::vector<std::string>(1)) << "the last record ends in CRLF";
    rows.pop_back();
    return rows;
}

TEST(RecordCsv, RoundTripsThroughACsvReader) {
    const std::vector<Column> columns = {{"Name, full", Kind::Text}, {"Notes", Kind::Text},
                                         {"Paid", Kind::Currency},   {"Since", Kind::DateTime},
                                         {"Photo", Kind::Bytes},     {"VIP", Kind::YesNo}};
    Table table{columns, {}, {
        {"O\"Brien, Pat", "line 1\r\nline 2\n", Currency{12345}, vb::DateTime{1999, 12, 31, 23, 59, 58},
         Bytes{"\x89PNG"}, YesNo{false}},
        {"", Null{}, Null{}, Null{}, Null{}, YesNo{true}},
        {" padded ", "Zoë 東京 \u202E", Currency{-5}, vb::DateTime{}, Bytes{""}, YesNo{false}},
    }};
    const std::string csv = Write(table, {0, 1, 2});
    EXPECT_NE(csv.substr(0, 3), "\xef\xbb\xbf");
    EXPECT_NE(csv.find("\r\n\"\",,,,,true\r\n"), std::string::npos) << "empty text and Null are told apart";
    const auto rows = ParseCsv(csv);
    ASSERT_EQ(rows.size(), 4u);
    for (size_t c = 0; c < columns.size(); ++c) EXPECT_EQ(rows[0][c], columns[c].name);
    for (size_t r = 0; r < 3; ++r) {
        ASSERT_EQ(rows[r + 1].size(), columns.size());
        for (size_t c = 0; c < columns.size(); ++c) EXPECT_EQ(rows[r + 1][c], ExportText(table.records[r][c]));
    }
    EXPECT_EQ(Write(table, {1}, kTabSeparated), "Name, full\tNotes\tPaid\tSince\tPhoto\tVIP\r\n\"\"\t\t\t\t\ttrue\r\n");
}

// The record written straight out is the object RecordJson gives, dumped,
// for every kind of cell and every byte a text may hold.
TEST(RecordJsonTest, WrittenStraightOutAsDumped) {
    const std::vector<Column> columns = {{"ID", Kind::Integer}, {"Na\"me\\\t", Kind::Text}, {"R", Kind::Floating},
                                         {"C", Kind::Currency}, {"Y", Kind::YesNo},        {"D", Kind::DateTime},
                                         {"B", Kind::Bytes},    {"T", Kind::Text}};
    const std::vector<Record> rows = {
        {int64_t{-7}, std::string("Zoë \"Q\" \\ \b\f\n\r\t\x01\x1f\x7f 東京 \u202E"), 0.1, Currency{12345},
         YesNo{true}, vb::DateTime{2024, 3, 1, 9, 5, 7}, Bytes{std::string("\0\xff", 2)}, std::string("bad \xff\xc3 end")},
        {Null{}, Null{}, 1e20, Currency{-30000}, YesNo{false}, Null{}, Null{}, std::string()},
        {int64_t{1}, std::string("x"), -0.0, Currency{INT64_MIN}},  // fewer cells than columns
    };
    for (const Record& row : rows) {
        std::string written;
        AppendRecordJson(written, columns, row);
        EXPECT_EQ(written, RecordJson(columns, row).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
    }
}

TEST(RecordJsonTest, KeepsColumnOrderAndKinds) {
    const std::vector<Column> columns = {{"Z", Kind::Integer}, {"A", Kind::Currency}, {"M", Kind::YesNo},
                                         {"D", Kind::DateTime}, {"N", Kind::Text}, {"B", Kind::Bytes}};
    const Record record{int64_t{7}, Currency{15000}, YesNo{true}, vb::DateTime{2020, 1, 2, 3, 4, 5}, Null{}, Bytes{"hi"}};
    EXPECT_EQ(RecordJson(columns, record).dump(),
              R"({"Z":7,"A":1.5,"M":true,"D":"2020-01-02T03:04:05","N":null,"B":"aGk="})");
    EXPECT_EQ(CellJson(Currency{20000}).dump(), "2");
}

TEST(RecordTimeline, FirstAndLastVersionHoldingEachRecordAndWhetherTheLiveOneDoes) {
    const std::vector<Column> columns{{"ID", Kind::Integer}, {"Name", Kind::Text}};
    const auto table = [&](std::vector<Record> rows) { return Table{columns, {"ID"}, std::move(rows)}; };
    const Record ann{int64_t{1}, std::string("Ann")}, bob{int64_t{2}, std::string("Bob")},
        bobby{int64_t{2}, std::string("Bobby")};
    Timeline timeline;
    // The versions as the searches end, in no order.
    timeline.Add(3, table({ann, bobby}));
    timeline.Add(1, table({ann, bob}));
    timeline.Add(2, table({ann, bob}));
    timeline.Add(4, table({ann}));
    timeline.Live(nullptr);
    EXPECT_FALSE(timeline.Entries()[0].inLive.has_value());  // the live database could not be read

    const Table live = table({ann});
    timeline.Live(&live);
    const std::vector<TimelineEntry> entries = timeline.Entries();
    ASSERT_EQ(entries.size(), 3u);
    const auto is = [](const TimelineEntry& e, const Record& r, int64_t first, int64_t last, bool inLive) {
        return e.record == r && e.first == first && e.last == last && e.inLive == inLive;
    };
    // The one held most recently first; an edited record is a record of its own.
    EXPECT_TRUE(is(entries[0], ann, 1, 4, true));
    EXPECT_TRUE(is(entries[1], bobby, 3, 3, false));
    EXPECT_TRUE(is(entries[2], bob, 1, 2, false));
    EXPECT_EQ(entries[0].versions, 4u);
}

}  // namespace
}  // namespace records
