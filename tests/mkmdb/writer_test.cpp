// The writer's own checks and the byte layout that every reader depends on.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "mkmdb/mkmdb.h"
#include "mkmdb/support.h"

using namespace mkmdb;
using mkmdb_test::TempDir;

namespace {

constexpr std::size_t kPage = 4096;

std::vector<unsigned char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

uint32_t Get16(const std::vector<unsigned char>& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t Get32(const std::vector<unsigned char>& b, std::size_t at) { return Get16(b, at) | Get16(b, at + 2) << 16; }

Table Contacts(std::size_t n) {
    Table t{"roof", {{"ID", ColumnType::Long}, {"Name", ColumnType::Text, 50}}, {}, n, {}};
    t.generate = [](std::size_t i, Row& r) {
        r[0] = static_cast<int32_t>(i);
        if (i % 3) r[1] = "Name " + std::to_string(i);
    };
    return t;
}

}  // namespace

TEST(MkmdbHeader, CipherMatchesKnownKeystream) {
    unsigned char zero[8] = {};
    ApplyHeaderCipher(zero, sizeof zero);
    const unsigned char expect[8] = {0xb5, 0x6f, 0x03, 0x62, 0x61, 0x08, 0xc2, 0x55};
    EXPECT_EQ(0, std::memcmp(zero, expect, 8));
}

TEST(MkmdbHeader, DefinitionPageFields) {
    TempDir dir;
    const std::string db = dir.File("h.mdb");
    Write(db, {Contacts(0)});
    auto b = ReadAll(db);
    ASSERT_GE(b.size(), kPage);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(0, std::memcmp(&b[4], "Standard Jet DB\0", 16));
    EXPECT_EQ(Get32(b, 0x14), 1u);
    const unsigned char stored[6] = {0x9f, 0x46, 0xfb, 0x8a, 0xbc, 0x4e};  // code page 1252, database key 0
    EXPECT_EQ(0, std::memcmp(&b[0x3C], stored, 6));
    ApplyHeaderCipher(&b[0x18], 128);
    EXPECT_EQ(Get32(b, 0x3E), 0u) << "database key must decrypt to 0";
}

// Walks every data page and checks what the readers derive row lengths from.
TEST(MkmdbLayout, PagesAreWholeAndRowsPackedDownwards) {
    for (std::size_t n : {0u, 1u, 300u, 5000u}) {
        SCOPED_TRACE(n);
        TempDir dir;
        const std::string db = dir.File("l.mdb");
        Write(db, {Contacts(n), Table{"other", {{"x", ColumnType::Long}}, {{int32_t{1}}}, 0, {}}});
        const auto b = ReadAll(db);
        ASSERT_EQ(b.size() % kPage, 0u);
        EXPECT_EQ(b[2 * kPage], 0x02) << "MSysObjects definition on page 2";
        std::size_t rows = 0, pages_of_roof = 0;
        for (std::size_t p = 3; p < b.size() / kPage; ++p) {
            const std::size_t base = p * kPage;
            if (b[base] != 0x01) continue;
            EXPECT_EQ(b[base + 1], 0x01);
            const uint32_t count = Get16(b, base + 12);
            ASSERT_LE(count, 255u);
            uint32_t end = kPage;
            for (uint32_t r = 0; r < count; ++r) {
                const uint32_t off = Get16(b, base + 14 + 2 * r);
                ASSERT_LT(off, end) << "page " << p << " row " << r;
                ASSERT_GE(off, 14 + 2 * count);
                end = off;
            }
            EXPECT_EQ(Get16(b, base + 2), end - 14 - 2 * count) << "free space of page " << p;
            if (Get32(b, base + 4) == 3) {  // owner: roof's definition page
                rows += count;
                ++pages_of_roof;
            }
        }
        EXPECT_EQ(rows, n);
        EXPECT_GE(pages_of_roof, 1u) << "an empty table still has a data page";
        EXPECT_EQ(Get32(b, 3 * kPage + 0x10), n) << "row count in the definition";
    }
}

TEST(MkmdbDate, JetDayNumbers) {
    struct Case {
        DateTime dt;
        double jet;
    } cases[] = {
        {{1899, 12, 30, 0, 0, 0}, 0.0},
        {{1900, 1, 1, 0, 0, 0}, 2.0},
        {{1900, 3, 1, 0, 0, 0}, 61.0},
        {{2000, 1, 1, 12, 0, 0}, 36526.5},
        {{2024, 2, 29, 18, 0, 0}, 45351.75},
        {{1899, 12, 29, 6, 0, 0}, -1.25},  // before the epoch the time still counts forwards
        {{1899, 12, 28, 18, 0, 0}, -2.75},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(ToJetDate(c.dt), c.jet) << c.dt.year << "-" << c.dt.month << "-" << c.dt.day;
}

TEST(MkmdbDate, RejectsInvalidFields) {
    const DateTime bad[] = {{2023, 2, 29, 0, 0, 0}, {2024, 13, 1, 0, 0, 0}, {2024, 4, 31, 0, 0, 0}, {2024, 1, 0, 0, 0, 0},
                            {2024, 1, 1, 24, 0, 0}, {2024, 1, 1, 0, 60, 0}, {2024, 1, 1, 0, 0, 60}, {99, 1, 1, 0, 0, 0},
                            {1900, 2, 29, 0, 0, 0}};
    for (const auto& d : bad) EXPECT_THROW(ToJetDate(d), std::runtime_error) << d.year << "-" << d.month << "-" << d.day;
}

TEST(MkmdbText, Utf8ToUcs2) {
    EXPECT_EQ(Utf8ToUcs2("M\xC3\xBCller"), u"M\u00FCller");
    EXPECT_EQ(Utf8ToUcs2("\xE6\x97\xA5\xE6\x9C\xAC"), u"\u65E5\u672C");
    EXPECT_EQ(Utf8ToUcs2(""), u"");
    for (const char* bad : {"\xC3", "\xC3\x28", "\xC0\xAF", "\xED\xA0\x80", "\xFF", "\xF0\x9F\x98\x80" /* U+1F600 */})
        EXPECT_THROW(Utf8ToUcs2(bad), std::runtime_error) << bad;
}

// Invalid input is refused with a message and leaves no file behind.
TEST(MkmdbWrite, RejectsInvalidInput) {
    auto one = [](std::vector<Column> cols, std::vector<Row> rows) { return Table{"t", std::move(cols), std::move(rows), 0, {}}; };
    const Column id{"ID", ColumnType::Long};
    const Column name{"Name", ColumnType::Text, 5};
    std::vector<Column> wide;
    for (int i = 0; i < 20; ++i) wide.push_back({"c" + std::to_string(i), ColumnType::Text, 255});
    Row wide_row(20, Value{std::string(255, 'x')});
    struct Case {
        const char* what;
        std::vector<Table> tables;
    } cases[] = {
        {"duplicate table names ignoring case", {one({id}, {}), Table{"T", {id}, {}, 0, {}}}},
        {"reserved catalog name", {Table{"msysobjects", {id}, {}, 0, {}}}},
        {"empty table name", {Table{"", {id}, {}, 0, {}}}},
        {"table name too long", {Table{std::string(65, 'n'), {id}, {}, 0, {}}}},
        {"no columns", {one({}, {})}},
        {"duplicate column names", {one({id, {"id", ColumnType::Text}}, {})}},
        {"text length out of range", {one({{"x", ColumnType::Text, 256}}, {})}},
        {"too few values", {one({id, name}, {{int32_t{1}}})}},
        {"text in a Long column", {one({id}, {{std::string("1")}})}},
        {"number in a Text column", {one({name}, {{int32_t{1}}})}},
        {"date in a Long column", {one({id}, {{DateTime{2000, 1, 1, 0, 0, 0}}})}},
        {"text longer than declared", {one({id, name}, {{int32_t{1}, std::string("abcdef")}})}},
        {"malformed UTF-8", {one({id, name}, {{int32_t{1}, std::string("\xC3")}})}},
        {"invalid date", {one({{"d", ColumnType::DateTime}}, {{DateTime{2021, 2, 29, 0, 0, 0}}})}},
        {"row larger than a page", {one(wide, {wide_row})}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string db = dir.File("bad.mdb");
        EXPECT_THROW(Write(db, c.tables), std::runtime_error) << c.what;
        EXPECT_FALSE(std::filesystem::exists(db)) << c.what;
    }
}

TEST(MkmdbWrite, GeneratorErrorNamesTheRow) {
    TempDir dir;
    Table t{"t", {{"ID", ColumnType::Long}}, {}, 10, [](std::size_t i, Row& r) {
                if (i == 7) r[0] = std::string("oops");
                else r[0] = int32_t(i);
            }};
    try {
        Write(dir.File("g.mdb"), {t});
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("row 7"), std::string::npos) << e.what();
    }
}

TEST(MkmdbWrite, UnwritablePathThrows) {
    EXPECT_THROW(Write("/nonexistent-dir/x.mdb", {Contacts(1)}), std::runtime_error);
}
