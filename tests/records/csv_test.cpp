// The CSV writer, read back by a strict reader.
#include <gtest/gtest.h>

#include "records/csv.h"
#include "records/render.h"

namespace records {
namespace {

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

}  // namespace
}  // namespace records
