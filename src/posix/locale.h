// Dates as text in the user's POSIX locale (LC_TIME from the environment):
// the locale's date format, a blank and its time format; the date alone at
// exactly midnight. The process's global locale is left as it is.
#pragma once

#include <locale.h>

#include <string>

#include "ports/locale.h"

namespace posix {

class PosixLocale : public ports::Locale {
public:
    // The locale the environment names (LC_ALL, LC_TIME, LANG).
    PosixLocale();
    // A named locale ("C", "de_DE.UTF-8"); the C locale when it is not
    // installed.
    explicit PosixLocale(const std::string& name);
    ~PosixLocale() override;
    PosixLocale(const PosixLocale&) = delete;
    PosixLocale& operator=(const PosixLocale&) = delete;

    std::string GeneralDate(const vb::DateTime& When) override;
    int64_t Now() override;
    // In the time zone of the process (TZ, else /etc/localtime).
    vb::DateTime LocalTime(int64_t Seconds) override;

private:
    std::string Format(const char* format, const vb::DateTime& When) const;

    locale_t locale_;
};

}  // namespace posix
