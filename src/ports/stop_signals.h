// Ctrl-C, a kill, a closed terminal or ssh session (SIGINT, SIGTERM, SIGHUP)
// while a command changes data: the signal is noted and acted on at the next
// safe point, so that a stopped command undoes itself as on a failure and
// the process then dies of that same signal, as a shell expects.
//
// How a command uses it:
//     auto span = sys.stops.Catch();         // after consent, before the lock
//     ... between its steps: sys.stops.StopPoint();  (throws vb::Stopped())
//     FileCopy / CopyAside stop on their own (Files in files.h) with
//         vb::Stopped() between chunks and before they take their place;
//     on vb::Stopped(): undo the numbered copy as on any failure, then
//     sys.stops.EndIfRequested();         // re-raised: the process ends here
//     after the copy took its place the command is done: it says so, and then
//     calls EndIfRequested() too.
// A signal that the process was started ignoring (nohup) stays ignored.
//
// In production: PosixStopSignals (posix/stop_on_signal.h), over an
// async-signal-safe flag (host/signal_flag.h) that the Linux file services
// read themselves. In tests: FakeStopSignals (tests/fakes/fakes.h).
#pragma once

#include <memory>

#include "vb/error.h"

namespace ports {

class StopSignals {
public:
    // The signals are noted instead of ending the process while it lives.
    class Span {
    public:
        virtual ~Span() = default;
    };

    virtual ~StopSignals() = default;

    // Starts noting stop signals, forgetting any noted before; the handling
    // the process had comes back when the span goes (a signal noted is not
    // acted on then: EndIfRequested does that).
    virtual std::unique_ptr<Span> Catch() = 0;

    // Whether a stop signal has arrived during the span.
    virtual bool Requested() = 0;

    // Ends the process by the signal that was noted, with that signal's
    // default action, so that the parent sees a death by that signal. Returns
    // only when no signal was noted.
    virtual void EndIfRequested() = 0;

    // A safe point between a command's steps: throws vb::Stopped() (18,
    // ErrorKind::Stopped) when a stop signal has arrived.
    void StopPoint() {
        if (Requested()) throw vb::Stopped();
    }
};

}  // namespace ports
