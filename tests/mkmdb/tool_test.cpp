// The mkmdb command line.
#include <gtest/gtest.h>

#include "mkmdb/support.h"

using namespace mkmdb_test;

namespace {

CommandResult Mkmdb(std::vector<std::string> args) {
    args.insert(args.begin(), MKMDB_EXE);
    return Run(args, true);
}

}  // namespace

TEST(MkmdbTool, RoofAndOption12Variants) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> tables;
        CsvRows options;  // expected stringoptions rows, if that table is written
    } cases[] = {
        {{}, {"roof"}, {}},
        {{"--roof", "5", "--option12", "  two  spaces "},
         {"roof", "stringoptions"},
         {{"1", "value 1"}, {"5", "value 5"}, {"12", "  two  spaces "}, {"20", "value 20"}}},
        {{"--option12=C:\\Rolvane Daten\\"}, {"roof", "stringoptions"}, {{"1", "value 1"}, {"5", "value 5"}, {"12", "C:\\Rolvane Daten\\"}, {"20", "value 20"}}},
        {{"--option12-null"}, {"roof", "stringoptions"}, {{"1", "value 1"}, {"5", "value 5"}, {"12", std::nullopt}, {"20", "value 20"}}},
        {{"--no-option12"}, {"roof", "stringoptions"}, {{"1", "value 1"}, {"5", "value 5"}, {"20", "value 20"}}},
        {{"--options-only", "--option12", "x"}, {"stringoptions"}, {{"1", "value 1"}, {"5", "value 5"}, {"12", "x"}, {"20", "value 20"}}},
        {{"--options-only"}, {"stringoptions"}, {{"1", "value 1"}, {"5", "value 5"}, {"20", "value 20"}}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string db = dir.File("o.mdb");
        auto args = c.args;
        args.insert(args.begin(), db);
        const auto r = Mkmdb(args);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(Tables(db), c.tables);
        if (!c.options.empty()) {
            EXPECT_EQ(Export(db, "stringoptions"), c.options);
        }
    }
}

TEST(MkmdbTool, RoofRowsAreNumberedAndCounted) {
    TempDir dir;
    const std::string db = dir.File("r.mdb");
    ASSERT_EQ(Mkmdb({db, "--roof", "2000"}).status, 0);
    EXPECT_EQ(Count(db, "roof"), 2000);
    const CsvRows rows = Export(db, "roof");
    ASSERT_EQ(rows.size(), 2000u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 4u);
        ASSERT_EQ(rows[i][0], std::to_string(i + 1));
        ASSERT_EQ(rows[i][1], "Contact " + std::to_string(i + 1));
        ASSERT_EQ(rows[i][2].has_value(), i % 10 != 9) << "row " << i;
    }
}

TEST(MkmdbTool, BadArgumentsFail) {
    TempDir dir;
    const std::string db = dir.File("bad.mdb");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {db, "--roof"},
        {db, "--roof", "12x"},
        {db, "--roof", "-3"},
        {db, "--option12"},
        {db, "--option12", "a", "--no-option12"},
        {db, "--options-only", "--roof", "3"},
        {db, "--frobnicate"},
        {db, "--contacts", "--big-values"},
        {db, "--contacts", "--big-values", "0"},
        {db, "--roof", "3", "--big-values", "100"},
        {db, dir.File("second.mdb")},
        {dir.File("missing/dir.mdb")},
    };
    for (const auto& args : cases) {
        const auto r = Mkmdb(args);
        EXPECT_EQ(r.status, 1) << testing::PrintToString(args);
        EXPECT_NE(r.out.find("mkmdb: "), std::string::npos) << r.out;
        EXPECT_FALSE(std::filesystem::exists(db)) << testing::PrintToString(args);
    }
}
