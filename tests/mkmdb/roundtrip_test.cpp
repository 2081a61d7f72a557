// Written files read back through the mdbtools programs.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <variant>

#include "mkmdb/contacts.h"
#include "mkmdb/mkmdb.h"
#include "mkmdb/support.h"

using namespace mkmdb;
using namespace mkmdb_test;

namespace {

std::string Two(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }
std::string Format(const DateTime& d) {
    return std::to_string(d.year) + "-" + Two(d.month) + "-" + Two(d.day) + " " + Two(d.hour) + ":" + Two(d.minute) + ":" +
           Two(d.second);
}

// Deterministic contact rows; every 7th has a Null name, every 11th a Null date.
Table Contacts(const std::string& name, std::size_t n) {
    Table t{name,
            {{"ID", ColumnType::Long}, {"Name", ColumnType::Text, 50}, {"Created", ColumnType::DateTime}},
            {},
            n,
            {}};
    t.generate = [](std::size_t i, Row& r) {
        r[0] = static_cast<int32_t>(i + 1);
        if (i % 7 != 3) r[1] = (i % 2 ? "Müller " : "Name ") + std::to_string(i);
        if (i % 11 != 5) r[2] = DateTime{1990 + int(i % 30), 1 + int(i % 12), 1 + int(i % 28), int(i % 24), int(i % 60), int(i % 59)};
    };
    return t;
}

void ExpectContacts(const std::string& db, const std::string& table, std::size_t n) {
    EXPECT_EQ(Count(db, table), static_cast<long>(n));
    const CsvRows rows = Export(db, table);
    ASSERT_EQ(rows.size(), n);
    const Table src = Contacts(table, n);
    Row expect(3);
    for (std::size_t i = 0; i < n; ++i) {
        for (auto& v : expect) v = std::monostate{};
        src.generate(i, expect);
        ASSERT_EQ(rows[i].size(), 3u) << "row " << i;
        const Cell name = std::holds_alternative<std::string>(expect[1]) ? Cell(std::get<std::string>(expect[1])) : std::nullopt;
        const Cell date = std::holds_alternative<DateTime>(expect[2]) ? Cell(Format(std::get<DateTime>(expect[2]))) : std::nullopt;
        ASSERT_EQ(rows[i][0], std::to_string(i + 1)) << "row " << i;
        ASSERT_EQ(rows[i][1], name) << "row " << i;
        ASSERT_EQ(rows[i][2], date) << "row " << i;
    }
}

}  // namespace

// Row counts around the page and usage-map boundaries: empty, one row, a few
// pages (inline usage map), and enough pages for an indirect map.
TEST(MkmdbRoundTrip, RowCounts) {
    for (std::size_t n : {0u, 1u, 1234u, 100000u}) {
        SCOPED_TRACE(n);
        TempDir dir;
        const std::string db = dir.File("c.mdb");
        Write(db, {Contacts("roof", n)});
        EXPECT_EQ(std::filesystem::file_size(db) % 4096, 0u);
        EXPECT_EQ(Tables(db), std::vector<std::string>{"roof"});
        ExpectContacts(db, "roof", n);
    }
}

TEST(MkmdbRoundTrip, TextKeptAsStored) {
    struct Case {
        Value in;
        Cell out;
    } cases[] = {
        {std::monostate{}, std::nullopt},
        {std::string(""), std::nullopt},  // libmdb reports a zero-length text as Null
        {std::string("   "), "   "},
        {std::string(" leading"), " leading"},
        {std::string("trailing  "), "trailing  "},
        {std::string("Müller"), "Müller"},
        {std::string("Ærø"), "Ærø"},
        {std::string("日本"), "日本"},
        {std::string("Ωmega 1"), "Ωmega 1"},
        {std::string("say \"hi\", twice"), "say \"hi\", twice"},
        {std::string("two\nlines"), "two\nlines"},
        {std::string(255, 'z'), std::string(255, 'z')},
    };
    Table t{"texts", {{"n", ColumnType::Long}, {"s", ColumnType::Text}, {"after", ColumnType::Text, 10}}, {}, 0, {}};
    for (std::size_t i = 0; i < std::size(cases); ++i) t.rows.push_back({int32_t(i), cases[i].in, std::string("end")});
    TempDir dir;
    const std::string db = dir.File("t.mdb");
    Write(db, {t});
    const CsvRows rows = Export(db, "texts");
    ASSERT_EQ(rows.size(), std::size(cases));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 3u);
        EXPECT_EQ(rows[i][1], cases[i].out) << "case " << i;
        EXPECT_EQ(rows[i][2], Cell("end")) << "the next column after case " << i;
    }
}

TEST(MkmdbRoundTrip, LongAndDateTimeValues) {
    const std::vector<std::pair<Value, Cell>> longs = {
        {int32_t{0}, "0"}, {int32_t{-1}, "-1"}, {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"}, {std::monostate{}, std::nullopt}};
    const std::vector<std::pair<Value, Cell>> dates = {
        {DateTime{1899, 12, 30, 0, 0, 1}, "1899-12-30 00:00:01"}, {DateTime{1900, 3, 1, 12, 0, 0}, "1900-03-01 12:00:00"},
        {DateTime{2024, 2, 29, 23, 59, 59}, "2024-02-29 23:59:59"}, {DateTime{2038, 1, 19, 3, 14, 8}, "2038-01-19 03:14:08"},
        {std::monostate{}, std::nullopt}};
    Table t{"vals", {{"l", ColumnType::Long}, {"d", ColumnType::DateTime}}, {}, 0, {}};
    for (std::size_t i = 0; i < longs.size(); ++i) t.rows.push_back({longs[i].first, dates[i].first});
    TempDir dir;
    const std::string db = dir.File("v.mdb");
    Write(db, {t});
    const CsvRows rows = Export(db, "vals");
    ASSERT_EQ(rows.size(), longs.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][0], longs[i].second) << "row " << i;
        EXPECT_EQ(rows[i][1], dates[i].second) << "row " << i;
    }
}

TEST(MkmdbRoundTrip, SeveralTablesAndSchema) {
    Table opts{"stringoptions", {{"optionnumber", ColumnType::Long}, {"option", ColumnType::Text}}, {}, 0, {}};
    opts.rows = {{int32_t{1}, std::string("a")}, {int32_t{12}, std::string(" C:\\x ")}};
    Table empty{"Leer Tabelle", {{"ä", ColumnType::Text, 20}}, {}, 0, {}};
    TempDir dir;
    const std::string db = dir.File("m.mdb");
    Write(db, {Contacts("first", 500), opts, empty, Contacts("last", 3)});
    EXPECT_EQ(Tables(db), (std::vector<std::string>{"first", "stringoptions", "Leer Tabelle", "last"}));
    ExpectContacts(db, "first", 500);
    ExpectContacts(db, "last", 3);
    EXPECT_EQ(Export(db, "stringoptions"), (CsvRows{{"1", "a"}, {"12", " C:\\x "}}));
    EXPECT_EQ(Count(db, "Leer Tabelle"), 0);
    EXPECT_TRUE(Export(db, "Leer Tabelle").empty());

    const auto schema = mkmdb_test::Run({"mdb-schema", db});
    ASSERT_EQ(schema.status, 0);
    for (const char* line : {"[ID]\t\t\tLong Integer", "[Name]\t\t\tText (50)", "[Created]\t\t\tDateTime", "[option]\t\t\tText (255)",
                             "[ä]\t\t\tText (20)"})
        EXPECT_NE(schema.out.find(line), std::string::npos) << line << "\n" << schema.out;
}

// Enough tables to need more than one catalog page and more than one map
// page, and one table whose definition spans several pages.
TEST(MkmdbRoundTrip, ManyTablesAndWideDefinition) {
    std::vector<Table> tables;
    Table wide{"wide", {}, {}, 0, {}};
    Row row;
    for (int i = 0; i < 200; ++i) {
        const bool text = i % 3 == 0;
        wide.columns.push_back({"column number " + std::to_string(i), text ? ColumnType::Text : ColumnType::Long, 10});
        row.push_back(text ? Value(std::string("t") + std::to_string(i)) : Value(int32_t(i)));
    }
    wide.rows = {row, row};
    tables.push_back(wide);
    for (int i = 0; i < 300; ++i) tables.push_back(Table{"table " + std::to_string(i), {{"v", ColumnType::Long}}, {{int32_t(i)}}, 0, {}});
    TempDir dir;
    const std::string db = dir.File("many.mdb");
    Write(db, tables);
    const auto names = Tables(db);
    ASSERT_EQ(names.size(), 301u);
    EXPECT_EQ(names.front(), "wide");
    EXPECT_EQ(names.back(), "table 299");
    for (int i : {0, 150, 299}) EXPECT_EQ(Export(db, "table " + std::to_string(i)), (CsvRows{{std::to_string(i)}}));
    const CsvRows w = Export(db, "wide");
    ASSERT_EQ(w.size(), 2u);
    ASSERT_EQ(w[1].size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(w[1][i], Cell((i % 3 == 0 ? "t" : "") + std::to_string(i))) << "column " << i;
}

namespace {

// A written value as mdb-export -b hex prints it; nullopt for Null.
Cell Exported(const Value& v) {
    struct Visitor {
        Cell operator()(std::monostate) const { return std::nullopt; }
        Cell operator()(int32_t i) const { return std::to_string(i); }
        Cell operator()(const std::string& s) const { return s; }
        Cell operator()(const DateTime& d) const { return Format(d); }
        Cell operator()(double d) const { return std::to_string(d); }  // compared as a number below
        Cell operator()(bool b) const { return b ? "1" : "0"; }
        Cell operator()(const Currency& c) const {
            const int64_t m = c.scaled < 0 ? -c.scaled : c.scaled;
            return (c.scaled < 0 ? "-" : "") + std::to_string(m / 10000) + "." + std::to_string(m % 10000 + 10000).substr(1);
        }
        Cell operator()(const Bytes& b) const {
            static const char kHex[] = "0123456789ABCDEF";
            std::string out;
            for (unsigned char c : b.data) out += {kHex[c >> 4], kHex[c & 15]};
            return out;
        }
    };
    return std::visit(Visitor{}, v);
}

}  // namespace

// Contact-shaped rows, every type and every Null among them, read back by
// libmdb as written: memos over 64 KB and OLE Objects whole, text in
// several scripts with control characters, a Null Yes/No read as No.
TEST(MkmdbRoundTrip, ContactsReadBackAsWritten) {
    TempDir dir;
    const std::string db = dir.File("contacts.mdb");
    mkmdb::ContactList shape;
    shape.count = 1001;
    shape.changed = {42};
    Write(db, {ContactsTable(shape)});
    const auto r = mkmdb_test::Run({"mdb-export", "-H", "-T", "%Y-%m-%d %H:%M:%S", "-b", "hex", db, "roof"});
    ASSERT_EQ(r.status, 0) << r.err;
    const CsvRows rows = ParseCsv(r.out);
    ASSERT_EQ(rows.size(), 1001u);
    std::set<std::size_t> nulls;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row want = Contact(static_cast<int32_t>(i + 1), i + 1 == 42);
        ASSERT_EQ(rows[i].size(), want.size());
        for (std::size_t c = 0; c < want.size(); ++c) {
            if (std::holds_alternative<std::monostate>(want[c])) nulls.insert(c);
            if (const double* d = std::get_if<double>(&want[c])) {
                ASSERT_TRUE(rows[i][c]) << "row " << i << " column " << c;
                EXPECT_NEAR(std::strtod(rows[i][c]->c_str(), nullptr), *d, 1e-12 * *d) << "row " << i;
                continue;
            }
            ASSERT_EQ(rows[i][c], Exported(want[c])) << "row " << i << " column " << c;
        }
    }
    EXPECT_EQ(rows[499][18]->size(), std::get<std::string>(Contact(500, false)[18]).size());
    EXPECT_GT(rows[499][18]->size(), 65536u);
    // A Null in a column of every type that can hold one: Text, DateTime,
    // Currency, Double, Long, Memo and OLE Object.
    EXPECT_EQ(nulls, (std::set<std::size_t>{3, 4, 11, 13, 14, 15, 16, 18, 19}));
}
