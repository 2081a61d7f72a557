// Ending the process at once: no further procedure runs, nothing is saved.
// Real implementation: process_linux.cpp (_exit). Tests use a fake that
// throws ProcessEnded so the test can see the end and unwind.
#pragma once

namespace platform {

class Process {
public:
    virtual ~Process() = default;
    [[noreturn]] virtual void End() = 0;
};

// Thrown by test fakes of Process::End. The line mechanism never catches it.
struct ProcessEnded {};

}  // namespace platform
