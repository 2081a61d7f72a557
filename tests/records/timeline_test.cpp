// The timeline of the records found in the versions of the history store.
#include <gtest/gtest.h>

#include "records/timeline.h"

namespace records {
namespace {

TEST(RecordTimeline, FirstAndLastVersionHoldingEachRecordAndWhetherTheLiveOneDoes) {
    const std::vector<Column> columns{{"ID", Kind::Integer}, {"Name", Kind::Text}};
    const auto table = [&](std::vector<Record> rows) { return Table{columns, {"ID"}, std::move(rows)}; };
    const Record ann{int64_t{1}, std::string("Ann")}, bob{int64_t{2}, std::string("Bob")},
        bobby{int64_t{2}, std::string("Bobby")};
    Timeline timeline;
    // The versions as the searches end, in no order.
    timeline.Add(3, table({ann, bobby}));
    timeline.Add(1, table({ann, bob}));
    timeline.Add(2, table({ann, bob}));
    timeline.Add(4, table({ann}));
    timeline.Live(nullptr);
    EXPECT_FALSE(timeline.Entries()[0].inLive.has_value());  // the live database could not be read

    const Table live = table({ann});
    timeline.Live(&live);
    const std::vector<TimelineEntry> entries = timeline.Entries();
    ASSERT_EQ(entries.size(), 3u);
    const auto is = [](const TimelineEntry& e, const Record& r, int64_t first, int64_t last, bool inLive) {
        return e.record == r && e.first == first && e.last == last && e.inLive == inLive;
    };
    // The one held most recently first; an edited record is a record of its own.
    EXPECT_TRUE(is(entries[0], ann, 1, 4, true));
    EXPECT_TRUE(is(entries[1], bobby, 3, 3, false));
    EXPECT_TRUE(is(entries[2], bob, 1, 2, false));
    EXPECT_EQ(entries[0].versions, 4u);
}

}  // namespace
}  // namespace records
