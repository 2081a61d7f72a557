#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "history/thinning.h"

namespace {

using history::Dated;

constexpr int64_t kHour = 3600, kDay = 24 * kHour, kWeek = 7 * kDay;
// Monday 1 June 2026, 12:00 UTC.
constexpr int64_t kNow = 1780315200;

struct Case {
    const char* name;
    std::vector<Dated> versions;  // id, age before kNow, good
    std::vector<int64_t> thinned;
};

TEST(Thinning, ByAge) {
    const std::vector<Case> cases = {
        {"the last 24 hours keep everything", {{1, 23 * kHour, true}, {2, kHour, true}, {3, 0, true}}, {}},
        {"the newest of a day older than a day",
         {{1, 2 * kDay + 3 * kHour, true}, {2, 2 * kDay + 2 * kHour, true}, {3, 2 * kDay + kHour, true}},
         {1, 2}},
        {"one a day for 30 days", {{1, 3 * kDay, true}, {2, 4 * kDay, true}, {3, 29 * kDay, true}}, {}},
        {"one a week after 30 days",
         {{1, 40 * kDay + kHour, true}, {2, 40 * kDay, true}, {3, 47 * kDay, true}},
         {1}},
        {"one a month after 52 weeks",
         {{1, 53 * kWeek + 5 * kDay, true}, {2, 53 * kWeek + 4 * kDay, true}, {3, 53 * kWeek + 3 * kDay, true}},
         {1, 2}},
        {"the newest good one stays whatever its age",
         {{1, 3 * kDay + kHour, true}, {2, 3 * kDay, false}, {3, kHour, false}},
         {}},
        {"a clock set back keeps what is ahead of it", {{1, -kDay, true}, {2, -2 * kDay, true}}, {}},
    };
    for (const Case& c : cases) {
        std::vector<Dated> versions = c.versions;
        for (Dated& v : versions) v.taken = kNow - v.taken;
        std::vector<int64_t> thinned = history::ThinByAge(versions, kNow, history::UtcPeriods());
        std::sort(thinned.begin(), thinned.end());
        EXPECT_EQ(thinned, c.thinned) << c.name;
    }
}

TEST(Thinning, PeriodsFollowTheCalendar) {
    const auto periods = history::UtcPeriods();
    // Sunday 23:59 and Monday 00:00 are a day and a week apart; the 31st of
    // May and the 1st of June a month apart.
    const auto sunday = periods(kNow - 12 * kHour - 60), monday = periods(kNow - 12 * kHour);
    EXPECT_EQ(monday.day - sunday.day, 1);
    EXPECT_EQ(monday.week - sunday.week, 1);
    EXPECT_EQ(monday.month - sunday.month, 1);
    EXPECT_EQ(periods(kNow).week, periods(kNow + 6 * kDay).week);
}

}  // namespace
