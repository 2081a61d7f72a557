// Files written by mkmdb read back through LibmdbEngine with the two
// statements the utility runs, verbatim.
#include "jet/db_test_support.h"
#include "mkmdb/mkmdb.h"

namespace {

using dbtest::ErrorOf;
using ports::Value;

const char* kCountRoof = "select count(*) as counter from roof ";
const char* kOption12 = "Select option from stringoptions where optionnumber = 12";

mkmdb::Table Roof(std::size_t n) {
    mkmdb::Table t;
    t.name = "roof";
    t.columns = {{"ID", mkmdb::ColumnType::Long}, {"Name", mkmdb::ColumnType::Text, 50}, {"Company", mkmdb::ColumnType::Text, 50}};
    t.row_count = n;
    t.generate = [](std::size_t i, mkmdb::Row& row) {
        row[0] = static_cast<int32_t>(i + 1);
        row[1] = "Contact " + std::to_string(i + 1);
        if (i % 10 != 9) row[2] = std::string(i % 2 ? "Müller GmbH" : "Acme Ltd");
    };
    return t;
}

mkmdb::Table Options(std::optional<mkmdb::Value> option12) {
    mkmdb::Table t;
    t.name = "stringoptions";
    t.columns = {{"optionnumber", mkmdb::ColumnType::Long}, {"option", mkmdb::ColumnType::Text, 255}};
    t.rows.push_back({int32_t{1}, std::string("value 1")});
    if (option12) t.rows.push_back({int32_t{12}, *option12});
    t.rows.push_back({int32_t{20}, std::string("value 20")});
    return t;
}

class RoofCount : public ::testing::TestWithParam<std::size_t> {};

TEST_P(RoofCount, CountedByTheUtilitysStatement) {
    dbtest::TempDir dir;
    std::string file = dir.File("roof.mdb");
    mkmdb::Write(file, {Roof(GetParam())});
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(file);
    auto rs = db->OpenRecordset(kCountRoof, ports::dbOpenDynaset);
    ASSERT_FALSE(rs->IsEOF());
    EXPECT_EQ(rs->Field("Counter"), Value(static_cast<int64_t>(GetParam())));
    // With WHERE the rows themselves are read and compared (text ignoring case).
    auto acmeRows = db->OpenRecordset("select count(*) as n from roof where Company = 'acme ltd'", ports::dbOpenDynaset);
    std::size_t acme = 0;
    for (std::size_t i = 0; i < GetParam(); ++i) acme += (i % 10 != 9 && i % 2 == 0);
    EXPECT_EQ(acmeRows->Field("n"), Value(static_cast<int64_t>(acme)));
}

INSTANTIATE_TEST_SUITE_P(Rows, RoofCount, ::testing::Values(0u, 1u, 1234u, 100000u));

TEST(RoofCount, TruncatedByOnePageIs3343) {
    dbtest::TempDir dir;
    std::string file = dir.File("roof.mdb");
    mkmdb::Write(file, {Roof(1234)});
    std::filesystem::resize_file(file, std::filesystem::file_size(file) - 4096);
    auto engine = dbtest::Engine();
    EXPECT_EQ(ErrorOf([&] {
                  auto db = engine.OpenDatabase(file);
                  db->OpenRecordset(kCountRoof, ports::dbOpenDynaset);
              }),
              3343);
}

struct OptionCase {
    const char* name;
    std::optional<mkmdb::Value> stored;  // nullopt: no row for option 12
};

class Option12 : public ::testing::TestWithParam<OptionCase> {};

TEST_P(Option12, ReadByTheUtilitysStatement) {
    const OptionCase& c = GetParam();
    dbtest::TempDir dir;
    std::string file = dir.File("options.mdb");
    mkmdb::Write(file, {Roof(3), Options(c.stored)});
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(file);
    auto rs = db->OpenRecordset(kOption12, ports::dbOpenDynaset);
    if (!c.stored) {
        EXPECT_TRUE(rs->IsEOF());
        EXPECT_EQ(ErrorOf([&] { rs->Field("Option"); }), 3021);
        return;
    }
    ASSERT_FALSE(rs->IsEOF());
    if (std::holds_alternative<std::monostate>(*c.stored))
        EXPECT_EQ(rs->Field("Option"), Value(ports::Null{}));
    else
        EXPECT_EQ(rs->Field("Option"), Value(std::get<std::string>(*c.stored)));
    rs->MoveNext();
    EXPECT_TRUE(rs->IsEOF());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Option12,
    ::testing::Values(OptionCase{"Plain", std::string("C:\\Rolvane\\Data")},
                      OptionCase{"LeadingSpaces", std::string("   indented")},
                      OptionCase{"TrailingSpaces", std::string("trailing   ")},
                      OptionCase{"AllSpaces", std::string("     ")},
                      OptionCase{"Empty", std::string()},
                      OptionCase{"NonAscii", std::string("Grüße – 日本 ✓ Ærø")},
                      OptionCase{"Quotes", std::string("it's \"quoted\"")},
                      OptionCase{"Longest", std::string(255, 'x')},
                      OptionCase{"Null", mkmdb::Value(std::monostate{})},
                      OptionCase{"Absent", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
