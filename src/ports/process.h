// Ending the process at once: no further procedure runs, nothing is saved.
// In production: PosixProcess (posix/process.h, _exit). In tests:
// FakeProcess (tests/fakes/fakes.h), which throws ProcessEnded so the test
// can see the end and unwind.
#pragma once

namespace ports {

class Process {
public:
    virtual ~Process() = default;
    [[noreturn]] virtual void End() = 0;
};

// Thrown by test fakes of Process::End. The line mechanism never catches it.
struct ProcessEnded {};

}  // namespace ports
