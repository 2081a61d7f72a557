// Date and time as text in the user's locale: the short date, a blank and
// the long time; the date alone at exactly midnight.
// In production: PosixLocale (linux/locale.h). In tests: FakeLocale
// (tests/fakes/fakes.h), a fixed format.
#pragma once

#include <string>

#include "vb/datetime.h"

namespace ports {

class Locale {
public:
    virtual ~Locale() = default;
    virtual std::string GeneralDate(const vb::DateTime& When) = 0;
};

}  // namespace ports
