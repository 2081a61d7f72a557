// Memos, deleted columns and non-ASCII names as mkmdb writes them, read back
// through the mdbtools programs (mdb-export binds up to 200,000 bytes per
// value) and checked in the table definition's bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "mkmdb/mkmdb.h"
#include "mkmdb/support.h"

using namespace mkmdb;
using namespace mkmdb_test;

namespace {

// `n` characters cycling through `alphabet` (UTF-8, one character per element).
std::string Repeat(const std::vector<std::string>& alphabet, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += alphabet[i % alphabet.size()];
    return s;
}

struct MemoCase {
    const char* name;
    std::size_t characters;
    std::vector<std::string> alphabet;
};

// Around each place a memo may be kept: in the row (up to 256 characters),
// on one long-value row (up to 2,040), on a chain of them. (mdb-export
// writes an empty memo as it writes Null, so the reader's tests have that.)
const MemoCase kMemos[] = {
    {"InRow", 256, {"a", "b", "c"}},
    {"FirstOnALongValueRow", 257, {"x", "y"}},
    {"FillsALongValueRow", 2040, {"ä", "ö", "ü"}},
    {"FirstOnAChain", 2041, {"1", "2", "3", "4"}},
    {"ChainOfChinese", 30000, {"中", "文", "备", "注"}},
    {"LongChain", 63377, {"L", "o", "n", "g", " "}},
};

TEST(MkmdbSchema, MemosReadBackWhole) {
    Table t{"notes", {{"ID", ColumnType::Long}, {"Note", ColumnType::Memo}, {"After", ColumnType::Text, 10}}, {}, 0, {}};
    int32_t id = 0;
    for (const MemoCase& m : kMemos) t.rows.push_back({++id, Repeat(m.alphabet, m.characters), std::string("end")});
    t.rows.push_back({++id, std::monostate{}, std::string("null")});
    TempDir dir;
    const std::string db = dir.File("memo.mdb");
    Write(db, {t});
    const CsvRows rows = Export(db, "notes");
    ASSERT_EQ(rows.size(), t.rows.size());
    for (std::size_t i = 0; i < std::size(kMemos); ++i) {
        SCOPED_TRACE(kMemos[i].name);
        ASSERT_EQ(rows[i].size(), 3u);
        const std::string want = Repeat(kMemos[i].alphabet, kMemos[i].characters);
        EXPECT_EQ(rows[i][1].value_or("<Null>"), want);
        EXPECT_EQ(rows[i][2], Cell("end"));
    }
    EXPECT_EQ(rows.back()[1], std::nullopt);
}

TEST(MkmdbSchema, RejectsMemoValuesOfAnotherType) {
    Table t{"notes", {{"Note", ColumnType::Memo}}, {{int32_t{1}}}, 0, {}};
    TempDir dir;
    EXPECT_THROW(Write(dir.File("bad.mdb"), {t}), std::runtime_error);
}

uint32_t Get16(const std::vector<unsigned char>& b, std::size_t at) { return b[at] | b[at + 1] << 8; }

// A table that has been changed twice, as the served application's own
// tables are when it updates its schema: its slots, in column-number order,
// are ID, a deleted text, Name, a deleted number, Notes and a deleted memo.
Table Changed() {
    Table t{"contacts",
            {{"ID", ColumnType::Long},
             {"OldName", ColumnType::Text, 20, true},
             {"Name", ColumnType::Text, 40},
             {"OldRank", ColumnType::Long, 255, true},
             {"Notes", ColumnType::Memo},
             {"OldNotes", ColumnType::Memo, 255, true}},
            {},
            0,
            {}};
    // Rows from before the deletions still hold values in the old slots.
    t.rows = {{int32_t{1}, std::string("stale"), std::string("Ann"), int32_t{7}, std::string("first"), std::string(3000, 'o')},
              {int32_t{2}, std::monostate{}, std::string("Bo"), std::monostate{}, std::monostate{}, std::monostate{}},
              {int32_t{3}, std::string("x"), std::monostate{}, int32_t{9}, std::string(5000, 'n'), std::monostate{}}};
    return t;
}

TEST(MkmdbSchema, DeletedColumnsKeepTheirSlotsButNoEntry) {
    TempDir dir;
    const std::string db = dir.File("changed.mdb");
    Write(db, {Changed()});
    // The definition (page 3, the first after the catalogue's) counts six
    // slots, four of them variable, and three live columns.
    std::ifstream in(db, std::ios::binary);
    const std::vector<unsigned char> b{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GT(b.size(), 4u * 4096);
    const std::size_t def = 3 * 4096;
    EXPECT_EQ(b[def], 0x02);
    EXPECT_EQ(Get16(b, def + 0x29), 6u);
    EXPECT_EQ(Get16(b, def + 0x2B), 4u);
    EXPECT_EQ(Get16(b, def + 0x2D), 3u);

    const auto r = mkmdb_test::Run({"mdb-export", db, "contacts"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "ID,Name,Notes");
    const CsvRows rows = Export(db, "contacts");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<Cell>{"1", "Ann", "first"}));
    EXPECT_EQ(rows[1], (std::vector<Cell>{"2", "Bo", std::nullopt}));
    EXPECT_EQ(rows[2], (std::vector<Cell>{"3", std::nullopt, std::string(5000, 'n')}));
}

TEST(MkmdbSchema, NonAsciiNamesAreUniqueWithoutRegardToCase) {
    TempDir dir;
    const std::string db = dir.File("names.mdb");
    Table t{"Контакты", {{"Straße", ColumnType::Text, 20}, {"Σοφία", ColumnType::Long}}, {{std::string("x"), int32_t{1}}}, 0, {}};
    Write(db, {t});
    EXPECT_EQ(Tables(db), std::vector<std::string>{"Контакты"});
    const auto r = mkmdb_test::Run({"mdb-export", db, "Контакты"});
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Straße,Σοφία");
    // Two names that differ only in case are one name, beyond ASCII too;
    // ß and SS are two.
    Table clash = t;
    clash.columns.push_back({"ΣΟΦΊΑ", ColumnType::Long});
    clash.rows = {{std::string("x"), int32_t{1}, int32_t{2}}};
    EXPECT_THROW(Write(dir.File("clash.mdb"), {clash}), std::runtime_error);
    EXPECT_THROW(Write(dir.File("clash2.mdb"), {t, Table{"КОНТАКТЫ", {{"a", ColumnType::Long}}, {}, 0, {}}}),
                 std::runtime_error);
    Table distinct = t;
    distinct.columns[1] = {"STRASSE", ColumnType::Text, 20};
    distinct.rows = {{std::string("x"), std::string("y")}};
    EXPECT_NO_THROW(Write(dir.File("distinct.mdb"), {distinct}));
}

}  // namespace
