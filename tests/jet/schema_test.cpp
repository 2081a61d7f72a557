// Tables as real programs leave them: columns deleted and changed (their
// slots stay in the definition's counts), non-ASCII table and column names
// matched without regard to case, and every table of the real samples
// counted as mdb-count counts it.
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>

#include "jet/db_test_support.h"

namespace {

using dbtest::ErrorOf;
using mkmdb::ColumnType;
using ports::Value;

// Every row of `query` as values, in SELECT-list order.
std::vector<std::vector<Value>> ReadAll(ports::Database& db, const std::string& query, std::vector<std::string>* names) {
    auto rs = db.OpenRecordset(query, ports::dbOpenDynaset);
    *names = rs->Names();
    std::vector<std::vector<Value>> rows;
    for (; !rs->IsEOF(); rs->MoveNext()) {
        rows.emplace_back();
        for (const auto& n : *names) rows.back().push_back(rs->Field(n));
    }
    return rows;
}

Value Of(const mkmdb::Value& v) {
    if (const auto* i = std::get_if<int32_t>(&v)) return Value(int64_t{*i});
    if (const auto* s = std::get_if<std::string>(&v)) return Value(*s);
    if (const auto* d = std::get_if<mkmdb::DateTime>(&v)) return Value(vb::DateTime{d->year, d->month, d->day, d->hour, d->minute, d->second});
    return Value(ports::Null{});
}

struct Shape {
    const char* name;
    mkmdb::Table table;
};
void PrintTo(const Shape& s, std::ostream* os) { *os << s.name; }

mkmdb::Column Deleted(ColumnType type) { return {"gone", type, 30, true}; }

// The shapes the real files showed: every slot variable and most of them
// deleted (6 slots, 6 variable, 2 live), and many fixed slots gone (17
// slots, 6 variable, 3 live); and the one a change of type leaves, the old
// column deleted and the new one added at the end.
std::vector<Shape> Shapes() {
    std::vector<Shape> shapes;
    {
        mkmdb::Table t{"roof", {Deleted(ColumnType::Text), {"Name", ColumnType::Text, 40}, Deleted(ColumnType::Memo),
                                Deleted(ColumnType::Text), {"Notes", ColumnType::Memo}, Deleted(ColumnType::Text)}, {}, 0, {}};
        t.rows = {{std::string("old"), std::string("Ann"), std::string(3000, 'm'), std::monostate{}, std::string("note"), std::string("x")},
                  {std::monostate{}, std::string("Bo"), std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{}},
                  {std::monostate{}, std::monostate{}, std::monostate{}, std::string("y"), std::string(5000, 'n'), std::monostate{}}};
        shapes.push_back({"AllVariableMostlyDeleted", t});
    }
    {
        mkmdb::Table t{"roof", {}, {}, 0, {}};
        for (int i = 0; i < 17; ++i) t.columns.push_back(Deleted(i < 11 ? ColumnType::Long : ColumnType::Text));
        t.columns[0] = {"ID", ColumnType::Long};
        t.columns[5] = {"Created", ColumnType::DateTime};
        t.columns[13] = {"Company", ColumnType::Text, 50};
        for (int r = 0; r < 300; ++r) {
            mkmdb::Row row(17);
            for (int i = 0; i < 17; ++i) row[static_cast<size_t>(i)] = i < 11 ? mkmdb::Value(int32_t{-i}) : mkmdb::Value(std::string("stale"));
            row[0] = int32_t{r + 1};
            row[5] = mkmdb::DateTime{2000 + r % 20, 1 + r % 12, 1 + r % 28, r % 24, 0, 0};
            row[13] = r % 7 ? mkmdb::Value("Firma " + std::to_string(r)) : mkmdb::Value(std::monostate{});
            t.rows.push_back(row);
        }
        shapes.push_back({"ManyFixedSlotsDeleted", t});
    }
    {
        mkmdb::Table t{"roof", {{"ID", ColumnType::Long}, Deleted(ColumnType::Text), {"Phone", ColumnType::Long}}, {}, 0, {}};
        t.rows = {{int32_t{1}, std::string("555-0100"), int32_t{5550100}}, {int32_t{2}, std::monostate{}, std::monostate{}}};
        shapes.push_back({"TypeChanged", t});
    }
    return shapes;
}

class DeletedColumns : public ::testing::TestWithParam<Shape> {};

TEST_P(DeletedColumns, CountAndLiveValuesAsWritten) {
    const mkmdb::Table& t = GetParam().table;
    dbtest::TempDir dir;
    const std::string file = dir.File("changed.mdb");
    mkmdb::Write(file, {t});
    std::vector<std::string> live;
    std::vector<size_t> slots;
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (!t.columns[i].deleted) live.push_back(t.columns[i].name), slots.push_back(i);

    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(file);
    auto count = db->OpenRecordset("select count(*) as counter from roof ", ports::dbOpenDynaset);
    EXPECT_EQ(count->Field("counter"), Value(static_cast<int64_t>(t.rows.size())));
    std::vector<std::string> names;
    const auto rows = ReadAll(*db, "select * from roof", &names);
    EXPECT_EQ(names, live);
    ASSERT_EQ(rows.size(), t.rows.size());
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < live.size(); ++c) EXPECT_EQ(rows[r][c], Of(t.rows[r][slots[c]])) << "row " << r << " " << live[c];
    // A WHERE reads the rows themselves: the first live column of row 2.
    const Value key = Of(t.rows[1][slots[0]]);
    const std::string literal = std::holds_alternative<std::string>(key) ? "'" + std::get<std::string>(key) + "'"
                                                                        : std::to_string(std::get<int64_t>(key));
    auto where = db->OpenRecordset("select count(*) as n from roof where " + live[0] + " = " + literal, ports::dbOpenDynaset);
    EXPECT_EQ(where->Field("n"), Value(int64_t{1}));
}

INSTANTIATE_TEST_SUITE_P(Shapes, DeletedColumns, ::testing::ValuesIn(Shapes()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- names ----------------------------------------------------------------------

class NonAsciiNames : public ::testing::Test {
protected:
    void SetUp() override {
        mkmdb::Table t{"Контакты",
                       {{"Straße", ColumnType::Text, 40}, {"Σοφία", ColumnType::Long}, {"备注", ColumnType::Memo}},
                       {{std::string("Hauptstraße 1"), int32_t{1}, std::string("第一")},
                        {std::string("Ringstraße 2"), int32_t{2}, std::string("第二")}},
                       0,
                       {}};
        mkmdb::Write(file_, {t});
        db_ = engine_.OpenDatabase(file_);
    }
    int Error(const std::string& query) {
        return ErrorOf([&] { db_->OpenRecordset(query, ports::dbOpenDynaset); });
    }
    dbtest::TempDir dir_;
    std::string file_ = dir_.File("names.mdb");
    jet::LibmdbEngine engine_ = dbtest::Engine();
    std::unique_ptr<ports::Database> db_;
};

TEST_F(NonAsciiNames, MatchInAnyCaseInTheReaderAndTheRecordset) {
    auto count = db_->OpenRecordset("select count(*) as n from КОНТАКТЫ", ports::dbOpenDynaset);
    EXPECT_EQ(count->Field("N"), Value(int64_t{2}));
    auto rs = db_->OpenRecordset("select STRAßE, 备注 from контакты where ΣΟΦΊΑ = 2", ports::dbOpenDynaset);
    ASSERT_FALSE(rs->IsEOF());
    EXPECT_EQ(rs->Names(), (std::vector<std::string>{"Straße", "备注"}));
    EXPECT_EQ(rs->Field("straße"), Value(std::string("Ringstraße 2")));
    EXPECT_EQ(rs->Field("备注"), Value(std::string("第二")));
    EXPECT_EQ(ErrorOf([&] { rs->Field("STRASSE"); }), 3265);
}

TEST_F(NonAsciiNames, OtherLettersAreOtherNames) {
    EXPECT_EQ(Error("select STRASSE from Контакты"), 3061);            // ß is not SS
    EXPECT_EQ(Error("select Straße from KOHTAKTbI"), 3078);            // Latin look-alikes
    EXPECT_EQ(Error("select count(*) from Контакты where Σοφια = 1"), 3061);  // without its accent
}

// ---- the real samples ---------------------------------------------------------

// Runs a command and gives what it printed, or nullopt when it failed.
std::optional<std::string> Output(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen((command + " 2>/dev/null").c_str(), "r"), pclose);
    if (!p) return std::nullopt;
    std::string out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p.get())) > 0;) out.append(buf, n);
    if (pclose(p.release()) != 0) return std::nullopt;
    return out;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }  // sample paths and table names hold no quote

// Every table of every sample: the count through our layer is mdb-count's,
// and SELECT * reads that many rows, every value whole.
TEST(RealSamples, EveryTableCountsAsMdbCountAndReadsWhole) {
    REQUIRE_SAMPLES();
    if (!Output("mdb-tables --version") || !Output("mdb-count --version"))
        GTEST_SKIP() << "mdbtools (mdb-tables, mdb-count) not installed";
    auto engine = dbtest::Engine();
    int tables = 0;
    for (const auto& e : std::filesystem::directory_iterator(dbtest::SamplesDir())) {
        if (e.path().extension() != ".mdb") continue;
        const std::string file = e.path().string();
        SCOPED_TRACE(file);
        const auto list = Output("mdb-tables -1 " + Quoted(file));
        ASSERT_TRUE(list);
        auto db = engine.OpenDatabase(file);
        std::istringstream names(*list);
        for (std::string table; std::getline(names, table);) {
            SCOPED_TRACE(table);
            const auto theirs = Output("mdb-count " + Quoted(file) + " " + Quoted(table));
            ASSERT_TRUE(theirs);
            const int64_t expected = std::stoll(*theirs);
            auto count = db->OpenRecordset("select count(*) as n from [" + table + "]", ports::dbOpenDynaset);
            EXPECT_EQ(count->Field("n"), Value(expected));
            std::vector<std::string> columns;
            EXPECT_EQ(static_cast<int64_t>(ReadAll(*db, "select * from [" + table + "]", &columns).size()), expected);
            ++tables;
        }
    }
    EXPECT_GE(tables, 10);
}

}  // namespace
