#include "posix/stop_on_signal.h"

#include "host/signal_flag.h"

namespace posix {

namespace {

class HandlersSpan : public ports::StopSignals::Span {
    host::StopSignalSpan span_;
};

}  // namespace

std::unique_ptr<ports::StopSignals::Span> PosixStopSignals::Catch() { return std::make_unique<HandlersSpan>(); }

bool PosixStopSignals::Requested() { return host::StopRequested(); }

void PosixStopSignals::EndIfRequested() { host::ReRaiseStopSignal(); }

}  // namespace posix
