// Which versions thinning lets go, as backup tools keep theirs: every
// version of the last 24 hours; then the newest of each day until 30 days
// old; then the newest of each week until 52 weeks old; then the newest of
// each month. The newest version whose check was good is always kept, so
// that thinning never leaves a database with only damaged versions.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace history {

// The day, week (from Monday) and month a time falls in, as numbers that
// grow with the time.
struct Periods {
    int64_t day = 0;
    int64_t week = 0;
    int64_t month = 0;
};
using PeriodsOf = std::function<Periods(int64_t seconds)>;

// In the local time zone (days end at the user's midnight), or in UTC.
PeriodsOf LocalPeriods();
PeriodsOf UtcPeriods();

// One version of one database as thinning sees it.
struct Dated {
    int64_t id = 0;
    int64_t taken = 0;  // seconds since the epoch
    bool good = false;  // its check was good
};

// The ids of the versions of one database that the rules let go at `now`.
std::vector<int64_t> ThinByAge(const std::vector<Dated>& versions, int64_t now, const PeriodsOf& periods);

}  // namespace history
