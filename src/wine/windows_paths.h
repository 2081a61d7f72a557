// Windows paths inside the user's Wine prefix, mapped to host paths the way
// Wine maps them: "\" and "/" both separate, "." and ".." collapse, a drive
// letter goes through <prefix>/dosdevices/<letter>: (C: through drive_c in a
// prefix that has no dosdevices yet), and each existing
// component is matched exactly first and then without regard to case.
// Components that do not exist stay as written, so mapping never fails.
#pragma once

#include <optional>
#include <string>

#include "ports/environment.h"

namespace wine {

class WinePaths {
public:
    // prefix: the Wine prefix folder on the host, or empty when there is none
    // (drive letters then map to nothing and such paths stay unresolved).
    explicit WinePaths(std::string prefix) : prefix_(std::move(prefix)) {}

    // The prefix Wine itself would use: $WINEPREFIX, else ~/.wine, when it
    // holds system.reg and dosdevices/; nullopt otherwise. Which of the
    // user's prefixes holds the data: prefixes.h.
    static std::optional<std::string> FindPrefix(const ports::HostEnvironment& env);

    const std::string& Prefix() const { return prefix_; }

    // The host path for a Windows path (or a host path starting with "/",
    // whose "\" still separate, since callers append Windows-style tails
    // to host folders). A relative path stays relative to the working folder.
    std::string ToHost(const std::string& path) const;

private:
    std::string prefix_;
};

}  // namespace wine
