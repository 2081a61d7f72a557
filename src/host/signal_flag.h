// The signals that ask a running command to stop (SIGINT, SIGTERM, SIGHUP),
// noted by a handler that only sets a flag (async-signal-safe) and acted on
// by the command at its next safe point. After its clean-up the command
// re-raises the signal with its default action, as git's sigchain does, so
// that a shell sees the process die of it.
#pragma once

namespace host {

// Installs the handlers for as long as it lives (spans nest; the outermost
// one installs and restores) and forgets any signal noted before. A signal
// the process was started ignoring (nohup's SIGHUP) stays ignored.
class StopSignalSpan {
public:
    StopSignalSpan();
    ~StopSignalSpan();
    StopSignalSpan(const StopSignalSpan&) = delete;
    StopSignalSpan& operator=(const StopSignalSpan&) = delete;
};

// Whether a stop signal has been noted during the span that is alive; any
// thread may ask.
bool StopRequested();

// The signal noted during the span that is alive, 0 when none.
int StopSignal();

// Ends the process by the signal noted during the last span, alive or just
// ended: its default action is restored, the signal unblocked and raised.
// Returns only when none was noted.
void ReRaiseStopSignal();

}  // namespace host
