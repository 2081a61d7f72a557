#include "host/signal_flag.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace host {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCount = sizeof kStopSignals / sizeof kStopSignals[0];

// Lock-free, so that the handler may store into it.
std::atomic<int> noted{0};
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction previous[kCount];
bool installed[kCount];
// Spans alive; read by any thread that asks whether to stop.
std::atomic<int> depth{0};

extern "C" void NoteStop(int signal) {
    // The first signal is the one the process dies of.
    int none = 0;
    noted.compare_exchange_strong(none, signal);
}

}  // namespace

StopSignalSpan::StopSignalSpan() {
    if (depth++ > 0) return;
    noted.store(0);
    for (int i = 0; i < kCount; ++i) {
        installed[i] = false;
        if (sigaction(kStopSignals[i], nullptr, &previous[i]) != 0) continue;
        if (previous[i].sa_handler == SIG_IGN) continue;
        struct sigaction action{};
        action.sa_handler = NoteStop;
        sigemptyset(&action.sa_mask);
        // System calls go on after the handler: the command looks at the
        // flag at its safe points, not at every call.
        action.sa_flags = SA_RESTART;
        installed[i] = sigaction(kStopSignals[i], &action, nullptr) == 0;
    }
}

StopSignalSpan::~StopSignalSpan() {
    if (--depth > 0) return;
    for (int i = 0; i < kCount; ++i)
        if (installed[i]) sigaction(kStopSignals[i], &previous[i], nullptr);
}

// A signal noted during a span that has ended stops nothing any more.
bool StopRequested() { return depth.load() > 0 && noted.load() != 0; }

int StopSignal() { return depth.load() > 0 ? noted.load() : 0; }

void ReRaiseStopSignal() {
    const int signal = noted.load();
    if (signal == 0) return;
    struct sigaction action{};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    // Only a signal blocked in a way unblocking cannot undo gets here.
    _exit(128 + signal);
}

}  // namespace host
