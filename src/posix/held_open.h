// "Held open by another process", as it is meant for a Windows program
// running under Wine: a record lock on the file (Jet locks bytes, and Wine
// turns LockFile into POSIX locks), or the file open inside a wineserver of
// this user.
#pragma once

#include <string>

#include "posix/file_steps.h"

namespace posix {

// True when another process holds a POSIX or OFD record lock on any byte of
// the open file fd, or a wineserver of this user has the file open. Closing
// fd afterwards is safe: this process itself holds no record locks on the
// files it serves. Throws the error of what it met (57 for EIO) when it
// cannot tell: the caller then does not go ahead.
bool HeldByAnotherProcess(int fd);

// The same for a file named by its host path; false when it cannot be found,
// only wineserver asked when it may not be read.
// steps, when given, is told before the file is opened (FileStep::OpenToCheck).
bool HeldByAnotherProcess(const std::string& hostPath, const Steps* steps = nullptr);

}  // namespace posix
