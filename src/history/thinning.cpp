#include "history/thinning.h"

#include <ctime>
#include <map>
#include <tuple>

namespace history {

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kDaily = 30 * kDay;     // the newest of each day until this age
constexpr int64_t kWeekly = 52 * 7 * kDay;  // then the newest of each week until this age

Periods PeriodsFrom(const std::tm& when) {
    // The calendar day as a count of days, whatever the zone's offset.
    std::tm midnight{};
    midnight.tm_year = when.tm_year;
    midnight.tm_mon = when.tm_mon;
    midnight.tm_mday = when.tm_mday;
    const int64_t day = static_cast<int64_t>(timegm(&midnight)) / kDay;
    // 1 January 1970 was a Thursday: day -3 was a Monday.
    const int64_t shifted = day + 3;
    const int64_t week = shifted >= 0 ? shifted / 7 : (shifted - 6) / 7;
    return {day, week, (when.tm_year + 1900) * int64_t{12} + when.tm_mon};
}

}  // namespace

PeriodsOf LocalPeriods() {
    return [](int64_t seconds) {
        const std::time_t t = seconds;
        std::tm when{};
        localtime_r(&t, &when);
        return PeriodsFrom(when);
    };
}

PeriodsOf UtcPeriods() {
    return [](int64_t seconds) {
        const std::time_t t = seconds;
        std::tm when{};
        gmtime_r(&t, &when);
        return PeriodsFrom(when);
    };
}

std::vector<int64_t> ThinByAge(const std::vector<Dated>& versions, int64_t now, const PeriodsOf& periods) {
    // The newest version of each (tier, period) is kept; tier 0 keeps all.
    std::map<std::pair<int, int64_t>, const Dated*> newest;
    const Dated* newestGood = nullptr;
    std::vector<std::pair<const Dated*, std::pair<int, int64_t>>> placed;
    for (const Dated& version : versions) {
        if (version.good && (!newestGood || version.taken > newestGood->taken ||
                             (version.taken == newestGood->taken && version.id > newestGood->id)))
            newestGood = &version;
        const int64_t age = now - version.taken;
        if (age < kDay) continue;  // the last 24 hours (and a clock set back) keep everything
        const Periods p = periods(version.taken);
        const std::pair<int, int64_t> bucket = age < kDaily ? std::pair{1, p.day}
                                               : age < kWeekly ? std::pair{2, p.week}
                                                               : std::pair{3, p.month};
        placed.push_back({&version, bucket});
        const Dated*& kept = newest[bucket];
        if (!kept || std::tie(version.taken, version.id) > std::tie(kept->taken, kept->id)) kept = &version;
    }
    std::vector<int64_t> thinned;
    for (const auto& [version, bucket] : placed)
        if (newest[bucket] != version && version != newestGood) thinned.push_back(version->id);
    return thinned;
}

}  // namespace history
