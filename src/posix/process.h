// Ending the process on Linux: _exit, so that nothing is flushed, no
// destructor or atexit handler runs and no further procedure gets a turn.
#pragma once

#include "ports/process.h"

namespace posix {

class PosixProcess : public ports::Process {
public:
    [[noreturn]] void End() override;
};

}  // namespace posix
