// The special folders that a 32-bit Windows program in a Wine prefix sees,
// in Windows form ("C:\users\me\Documents"), read from the prefix's registry
// files with Wine's defaults where a value is missing. Only reads files.
#pragma once

#include <string>

#include "ports/shell.h"

namespace wine {

// The folder for CSIDL_PERSONAL, CSIDL_APPDATA or CSIDL_PROGRAM_FILES inside
// prefix, without a trailing "\" (a drive root keeps its own), for the Unix
// user unixUser (whose profile a prefix made elsewhere may keep under
// another name). Other ids are not asked for here (PosixShell).
std::string WinePrefixFolder(const std::string& prefix, const std::string& unixUser, int FolderId);

}  // namespace wine
