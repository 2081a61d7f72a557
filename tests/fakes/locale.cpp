// The fake locale: times in UTC, dates as ISO text.
#include "fakes/fakes.h"

#include <cstdio>
#include <ctime>

namespace fakes {

vb::DateTime FakeLocale::LocalTime(int64_t Seconds) {
    const time_t when = static_cast<time_t>(Seconds);
    std::tm tm{};
    gmtime_r(&when, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string FakeLocale::GeneralDate(const vb::DateTime& w) {
    char text[64];
    if (w.IsMidnight())
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", w.year, w.month, w.day);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", w.year, w.month, w.day,
                      w.hour, w.minute, w.second);
    return text;
}

}  // namespace fakes
