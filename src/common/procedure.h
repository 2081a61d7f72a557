// The line mechanism every procedure of the utility is written in.
//
// A procedure is a sequence of numbered lines. Each line is a body bound to
// its number, so an error report always names the line that was running and
// no line can run without one. A line's body returns where to go on:
// Next() (the following line), Goto(n) or Leave(); a body returning nothing
// goes on with the following line.
//
// When a line throws vb::Error the procedure's handler decides what happens:
//   Retry  runs the same line again (without limit),
//   Ignore runs the line that follows it in source order: the next line, or
//          the line declared with IgnoreTo() where that differs (the line
//          after a whole branch, the line after a loop),
//   Leave  returns from the procedure; its results stay as far as they were set.
// The standard handler (ReportTo) hands the error to ErrorProc under the
// procedure's name and module and acts on the user's choice; Abort calls
// Shutdown, which never returns. The commands plug in handlers of their own.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "vb/error.h"

namespace common {

struct Services;

class Flow {
public:
    static Flow Next() { return Flow(kNext); }
    static Flow Goto(int line) { return Flow(line); }
    static Flow Leave() { return Flow(kLeave); }

    bool IsNext() const { return target_ == kNext; }
    bool IsLeave() const { return target_ == kLeave; }
    int Target() const { return target_; }

private:
    static constexpr int kNext = -1;
    static constexpr int kLeave = -2;
    explicit Flow(int target) : target_(target) {}
    int target_;
};

enum class Resume { Retry, Ignore, Leave };

// A fault in a procedure's own wiring (a jump to a line it does not have,
// falling numbers). Never reported to the user: it escapes to the test.
struct WiringError : std::logic_error {
    using std::logic_error::logic_error;
};

// A handler receives the error and the failing line and says how to resume.
using Handler = std::function<Resume(const vb::Error& error, int line)>;

// What the user's choice in an error report means for the running line:
// 3 Abort ends the program through Shutdown, 4 Retry, 5 Ignore, anything
// else leaves the procedure.
Resume ResumeFor(Services& sys, int choice);

// The standard handler: reports through ErrorProc as Procedure in Module.
Handler ReportTo(Services& sys, std::string Procedure, std::string Module);

class Procedure {
public:
    explicit Procedure(Handler handler) : handler_(std::move(handler)) {}
    Procedure(Services& sys, std::string Procedure, std::string Module)
        : handler_(ReportTo(sys, std::move(Procedure), std::move(Module))) {}

    // Adds line `number`; numbers must rise. The body may return Flow or void.
    template <class Body>
    Procedure& Line(int number, Body body) {
        if constexpr (std::is_void_v<std::invoke_result_t<Body>>) {
            Add(number, [body = std::move(body)]() mutable {
                body();
                return Flow::Next();
            });
        } else {
            Add(number, std::function<Flow()>(std::move(body)));
        }
        return *this;
    }

    // Ignore on the line just added continues with `line` instead of the next.
    Procedure& IgnoreTo(int line);
    // Ignore on the line just added ends the procedure (its last statement).
    Procedure& IgnoreToEnd();

    // Runs from the first line until the last line ends or a line leaves.
    void Run();

private:
    struct Step {
        int number;
        std::function<Flow()> body;
        int ignoreTo;  // 0: the next line in source order; kIgnoreEnds: the end
    };

    static constexpr int kIgnoreEnds = -1;

    void Add(int number, std::function<Flow()> body);
    size_t IndexOf(int number) const;

    Handler handler_;
    std::vector<Step> steps_;
};

}  // namespace common
