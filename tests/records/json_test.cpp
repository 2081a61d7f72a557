// The JSON form of a record.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "records/json.h"

namespace records {
namespace {

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

}  // namespace
}  // namespace records
