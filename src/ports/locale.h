// Date and time as text in the user's locale: the short date, a blank and
// the long time; the date alone at exactly midnight. And the clock: the
// time now, and a time in the user's time zone.
// In production: PosixLocale (posix/locale.h). In tests: FakeLocale
// (tests/fakes/fakes.h), a fixed format.
#pragma once

#include <cstdint>
#include <string>

#include "vb/datetime.h"

namespace ports {

class Locale {
public:
    virtual ~Locale() = default;
    virtual std::string GeneralDate(const vb::DateTime& When) = 0;
    // The time now, in seconds since 1970-01-01 00:00 UTC.
    virtual int64_t Now() = 0;
    // A time given in seconds since 1970-01-01 00:00 UTC, as the date and
    // time of the user's time zone.
    virtual vb::DateTime LocalTime(int64_t Seconds) = 0;
};

}  // namespace ports
