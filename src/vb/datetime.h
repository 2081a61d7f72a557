// A calendar date and time of day as the platform gives it (local time for
// files, as stored for database values). No time zone is carried.
#pragma once

#include <compare>

namespace vb {

struct DateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;

    bool IsMidnight() const { return hour == 0 && minute == 0 && second == 0; }
    auto operator<=>(const DateTime&) const = default;
};

}  // namespace vb
