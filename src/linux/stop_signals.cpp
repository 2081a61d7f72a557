#include "linux/stop_signals.h"

#include "host/stop_signals.h"

namespace linux {

namespace {

class HandlersSpan : public ports::StopSignals::Span {
    host::StopSignalSpan span_;
};

}  // namespace

std::unique_ptr<ports::StopSignals::Span> LinuxStopSignals::Catch() { return std::make_unique<HandlersSpan>(); }

bool LinuxStopSignals::Requested() { return host::StopRequested(); }

void LinuxStopSignals::EndIfRequested() { host::ReRaiseStopSignal(); }

}  // namespace linux
