// The terminal's table printed as records arrive: widths from the first
// batch, a later wider value cut to its column, visibly.
#include <gtest/gtest.h>

#include "cli/text_table.h"

namespace {

TEST(TextTable, WidthsComeFromTheFirstBatchAndLaterValuesAreCutToThem) {
    cli::TextTable table({{"ID", records::Kind::Integer}, {"Name", records::Kind::Text}, {"City", records::Kind::Text}}, 12);
    table.Fit({{int64_t{1}, std::string("Ann"), std::string("東京")}});
    EXPECT_EQ(table.Header(), "ID  Name  City\n");
    EXPECT_EQ(table.Line({int64_t{1}, std::string("Ann"), std::string("東京")}), "1   Ann   東京\n");
    // Wider than the first batch: cut within the column, the next still lined up.
    EXPECT_EQ(table.Line({int64_t{22}, std::string("Bartholomew"), std::string("Oslo")}), "22  Bar…  Oslo\n");
    // The whole table fits every row, up to the widest allowed.
    records::Table whole{{{"Name", records::Kind::Text}}, {}, {{std::string("Bartholomew Smithers")}}};
    EXPECT_EQ(cli::RecordsTableText(whole, {0}, 12), "Name\nBartholomew…\n");
}

// --wide: nothing is cut; the columns line up as far as 40 cells, and a
// wider value, in the first batch or later, is whole and moves its line on.
TEST(TextTable, WideCutsNothing) {
    cli::TextTable table({{"ID", records::Kind::Integer}, {"Name", records::Kind::Text}, {"City", records::Kind::Text}},
                         cli::kWhole);
    const std::string longName(45, 'n');
    table.Fit({{int64_t{1}, longName, std::string("東京")}});
    EXPECT_EQ(table.Header(), "ID  Name" + std::string(38, ' ') + "City\n");
    EXPECT_EQ(table.Line({int64_t{1}, longName, std::string("東京")}), "1   " + longName + "  東京\n");
    EXPECT_EQ(table.Line({int64_t{22}, std::string("Bo"), std::string("Oslo")}), "22  Bo" + std::string(40, ' ') + "Oslo\n");
    records::Table whole{{{"Name", records::Kind::Text}}, {}, {{std::string("Bartholomew Smithers")}}};
    EXPECT_EQ(cli::RecordsTableText(whole, {0}, cli::kWhole), "Name\nBartholomew Smithers\n");
}

}  // namespace
