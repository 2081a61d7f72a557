// The user's own folders as host paths ("/home/me/Documents"), where there is
// no Wine prefix: the documents folder from the XDG user-dirs file, the
// application-data folder from $XDG_DATA_HOME, each with its default.
#pragma once

#include <string>

#include "ports/environment.h"

namespace posix {

// The folder for CSIDL_PERSONAL or CSIDL_APPDATA, without a trailing "/";
// "/opt" stands in for the program-files folder.
std::string XdgFolder(const ports::HostEnvironment& env, int FolderId);

}  // namespace posix
