// "Held open by another process", as it is meant for a Windows program
// running under Wine: a record lock on the file (Jet locks bytes, and Wine
// turns LockFile into POSIX locks), or the file open inside a wineserver.
#pragma once

#include <string>

#include "posix/file_steps.h"

namespace posix {

// True when another process holds a POSIX or OFD record lock on any byte of
// the open file fd, or a wineserver has the file open (wine/wineserver.h).
// Closing fd afterwards is safe: this process itself holds no record locks
// on the files it serves. Where it cannot tell, it throws
// vb::CannotTellIfHeld, numbered after what it met (57 for EIO, 70 for a
// wineserver whose files it may not read) and saying why: the caller then
// does not go ahead, and it is never told as a file in use.
bool HeldByAnotherProcess(int fd);

// The same for a file named by its host path; false when it cannot be found,
// only wineserver asked when it may not be read.
// steps, when given, is told before the file is opened (FileStep::OpenToCheck).
bool HeldByAnotherProcess(const std::string& hostPath, const Steps* steps = nullptr);

}  // namespace posix
