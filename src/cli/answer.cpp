#include "cli/answer.h"

#include <cstdio>

#include "cli/console.h"
#include "jet/libmdb_engine.h"

namespace cli {

std::optional<int> Answer(const std::vector<std::string>& arguments) {
    const Invocation line = ParseArguments(arguments);
    switch (line.action) {
        case Invocation::Action::Window:
            return std::nullopt;
        case Invocation::Action::Help:
        case Invocation::Action::Version: {
            const std::string text = line.action == Invocation::Action::Help ? HelpText() : VersionText();
            std::fputs(text.c_str(), stdout);
            return std::fflush(stdout) == 0 ? kDone : kFailed;
        }
        case Invocation::Action::Usage:
            std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgramName, line.error.c_str(),
                         kProgramName);
            return kUsageError;
        case Invocation::Action::Command:
            return RunConsole(line.command, ports::HostEnvironment::FromProcess(),
                              {stdout, stderr, {}, jet::DefaultReaderPath()});
    }
    return kUsageError;
}

}  // namespace cli
