#include "app/answer.h"

#include <cerrno>
#include <cstdio>

#include "app/program.h"

namespace app {

namespace {

// What was written to stdout must have reached it: a full disk or a closed
// pipe (with SIGPIPE ignored) is told in one line and fails the run, as
// coreutils' close_stdout does. Data a command replaced stays replaced, and
// such a command that was done stays done (status 0): it wrote nothing to
// stdout, so a failing close (EIO on a network file system) lost nothing,
// and a script that saw 1 would run the command again.
int Closed(int status, bool replacedData) {
    bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    // A stdout closed before the program started is no failure while
    // nothing was written to it.
    errno = 0;
    if (std::fclose(stdout) != 0 && errno != EBADF) failed = true;
    if (failed) {
        std::fprintf(stderr, "%s: write error\n", kProgramName);
        return replacedData && status == kDone ? kDone : kFailed;
    }
    return status;
}

int Answered(const Invocation& line, const RunCommand& runCommand) {
    switch (line.action) {
        case Invocation::Action::Window:
            break;
        case Invocation::Action::Help:
        case Invocation::Action::Version:
            std::fputs((line.action == Invocation::Action::Help ? HelpText() : VersionText()).c_str(), stdout);
            return kDone;
        case Invocation::Action::Usage:
            std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgramName, line.error.c_str(),
                         kProgramName);
            return kUsageError;
        case Invocation::Action::Command:
            return runCommand(line.command);
    }
    return kUsageError;
}

}  // namespace

std::optional<int> Answer(const std::vector<std::string>& arguments, const RunCommand& runCommand) {
    const Invocation line = ParseArguments(arguments);
    if (line.action == Invocation::Action::Window) return std::nullopt;
    const int status = Answered(line, runCommand);
    return Closed(status, line.action == Invocation::Action::Command && line.command.row->Replaces());
}

}  // namespace app
