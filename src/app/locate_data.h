// Where the utility looks for the served application's data: the Wine
// prefix chosen among the user's prefixes (wine/prefixes.h) by the files of
// the path table (catalogue/paths.h), told in one line on stderr. No Qt
// here: the commands without a window use it too.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ports/environment.h"
#include "wine/prefixes.h"

namespace app {

// What shows that a prefix holds the served application's data: the Business
// option database, the live database of either edition (at its default
// place), the backup folder of either edition.
std::vector<wine::DataMark> ServedApplicationData();

// The prefix to use for env, told to log in one line.
wine::PrefixChoice LocateData(const ports::HostEnvironment& env, std::ostream& log);

// The documents and application-data folders of the user, where discovery
// looks when there is no Wine prefix.
std::pair<std::string, std::string> XdgFolders(const ports::HostEnvironment& env);

}  // namespace app
