#include "common/procedure.h"

#include <new>
#include <stdexcept>

#include "common/errorproc.h"
#include "common/services.h"

namespace common {

Resume ResumeFor(Services& sys, int choice) {
    switch (choice) {
        case ports::vbAbort:
            Shutdown(sys);  // ends the process; returns only if ending failed
            return Resume::Leave;
        case ports::vbRetry:
            return Resume::Retry;
        case ports::vbIgnore:
            return Resume::Ignore;
        default:
            return Resume::Leave;
    }
}

Handler ReportTo(Services& sys, std::string Procedure, std::string Module) {
    return [&sys, Procedure = std::move(Procedure), Module = std::move(Module)](const vb::Error& error,
                                                                                int line) {
        return ResumeFor(sys, ErrorProc(sys, error.Number(), error.Description(), Procedure, Module, line));
    };
}

void Procedure::Add(int number, std::function<Flow()> body) {
    if (!steps_.empty() && number <= steps_.back().number)
        throw WiringError("line numbers must rise: " + std::to_string(number));
    steps_.push_back({number, std::move(body), 0});
}

Procedure& Procedure::IgnoreTo(int line) {
    if (steps_.empty()) throw WiringError("IgnoreTo before any line");
    steps_.back().ignoreTo = line;
    return *this;
}

Procedure& Procedure::IgnoreToEnd() {
    if (steps_.empty()) throw WiringError("IgnoreToEnd before any line");
    steps_.back().ignoreTo = kIgnoreEnds;
    return *this;
}

size_t Procedure::IndexOf(int number) const {
    for (size_t i = 0; i < steps_.size(); ++i)
        if (steps_[i].number == number) return i;
    throw WiringError("no line " + std::to_string(number));
}

namespace {

// Failures that are not the platform's own still reach the handler with a
// Visual Basic number, so that they are reported like any other.
vb::Error AsVbError(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e)) return vb::Error(7, "Out of memory");
    return vb::Error(5, std::string("Invalid procedure call or argument: ") + e.what());
}

}  // namespace

void Procedure::Run() {
    // Jump targets are checked before the first line runs, so that a wrong
    // number is a programming error found by every test of the procedure.
    for (const Step& s : steps_)
        if (s.ignoreTo > 0) IndexOf(s.ignoreTo);

    size_t i = 0;
    while (i < steps_.size()) {
        const Step& step = steps_[i];
        Resume resume;
        try {
            Flow flow = step.body();
            if (flow.IsLeave()) return;
            i = flow.IsNext() ? i + 1 : IndexOf(flow.Target());
            continue;
        } catch (const vb::Error& e) {
            resume = handler_(e, step.number);
        } catch (const WiringError&) {
            throw;  // a fault in the procedure's own wiring, not a failure to report
        } catch (const std::exception& e) {
            resume = handler_(AsVbError(e), step.number);
        }
        switch (resume) {
            case Resume::Retry:
                break;
            case Resume::Ignore:
                if (step.ignoreTo == kIgnoreEnds) return;
                i = step.ignoreTo ? IndexOf(step.ignoreTo) : i + 1;
                break;
            case Resume::Leave:
                return;
        }
    }
}

}  // namespace common
