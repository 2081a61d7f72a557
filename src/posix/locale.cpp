#include "posix/locale.h"

#include <langinfo.h>

#include <ctime>

namespace posix {

namespace {

locale_t OpenLocale(const char* name) {
    locale_t locale = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

}  // namespace

PosixLocale::PosixLocale() : locale_(OpenLocale("")) {}

PosixLocale::PosixLocale(const std::string& name) : locale_(OpenLocale(name.c_str())) {}

PosixLocale::~PosixLocale() {
    if (locale_ != static_cast<locale_t>(0)) freelocale(locale_);
}

std::string PosixLocale::Format(const char* format, const vb::DateTime& When) const {
    std::tm tm{};
    tm.tm_year = When.year - 1900;
    tm.tm_mon = When.month - 1;
    tm.tm_mday = When.day;
    tm.tm_hour = When.hour;
    tm.tm_min = When.minute;
    tm.tm_sec = When.second;
    // Weekday and day of the year, for formats that name the day; timegm
    // works in UTC, so no time zone or daylight saving moves the date.
    std::tm normal = tm;
    if (timegm(&normal) != static_cast<time_t>(-1)) {
        tm.tm_wday = normal.tm_wday;
        tm.tm_yday = normal.tm_yday;
    }
    char buffer[256];
    size_t length = strftime_l(buffer, sizeof buffer, format, &tm, locale_);
    return std::string(buffer, length);
}

std::string PosixLocale::GeneralDate(const vb::DateTime& When) {
    const char* dateFormat = locale_ ? nl_langinfo_l(D_FMT, locale_) : "%m/%d/%y";
    std::string text = Format(dateFormat, When);
    if (When.IsMidnight()) return text;
    const char* timeFormat = locale_ ? nl_langinfo_l(T_FMT, locale_) : "%H:%M:%S";
    return text + " " + Format(timeFormat, When);
}

int64_t PosixLocale::Now() { return static_cast<int64_t>(time(nullptr)); }

vb::DateTime PosixLocale::LocalTime(int64_t Seconds) {
    const time_t when = static_cast<time_t>(Seconds);
    std::tm tm{};
    if (!localtime_r(&when, &tm)) return {};
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace posix
