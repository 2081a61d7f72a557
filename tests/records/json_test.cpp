// The JSON form of a record.
#include <gtest/gtest.h>

#include "records/json.h"

namespace records {
namespace {

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
