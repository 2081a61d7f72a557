// Stop signals on Linux: the process-wide handlers of host/signal_flag.h.
// The Linux file services read the same flag themselves (Steps::StopPoint).
#pragma once

#include <memory>

#include "ports/stop_signals.h"

namespace posix {

class PosixStopSignals : public ports::StopSignals {
public:
    std::unique_ptr<Span> Catch() override;
    bool Requested() override;
    void EndIfRequested() override;
};

}  // namespace posix
