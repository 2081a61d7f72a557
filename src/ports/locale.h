// Date and time as text in the user's locale: the short date, a blank and
// the long time; the date alone at exactly midnight.
#pragma once

#include <string>

#include "vb/datetime.h"

namespace platform {

class Locale {
public:
    virtual ~Locale() = default;
    virtual std::string GeneralDate(const vb::DateTime& When) = 0;
};

}  // namespace platform
