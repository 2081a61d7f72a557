// Where the utility looks for the served application's data, and what it
// tells the user about it: the Wine prefix chosen among the user's prefixes
// (wine/prefixes.h) by the files of the path table
// (catalogue/paths.h), one line on stderr naming it, and the text the
// catalogue shows while it is empty.
#pragma once

#include <QString>
#include <ostream>
#include <vector>

#include "ports/environment.h"
#include "wine/prefixes.h"

namespace app {

// What shows that a prefix holds the served application's data: the Business
// option database, the live database of either edition (at its default
// place), the backup folder of either edition.
std::vector<platform::DataMark> ServedApplicationData();

// The prefix to use for env, told to log in one line.
platform::PrefixChoice LocateData(const platform::HostEnvironment& env, std::ostream& log);

// The text of the empty catalogue: where the utility looked, that it found
// none of the served application's databases or backups there, and how to
// point it at another prefix.
QString EmptyCatalogueText(const platform::PrefixChoice& choice, const platform::HostEnvironment& env);

}  // namespace app
