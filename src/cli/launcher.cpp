// restore-rolvane-data: a command (--list, --restore, ...) runs here, on the
// console, without loading Qt or touching a window system, so that a script
// pays only for the procedures it asks for. Everything else (no option, the
// help, the version, Qt's own options) is the window's: this process becomes
// the window's program (main.cpp) in its place, with the same arguments.
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/console_commandline.h"
#include "jet/libmdb_engine.h"
#include "ports/environment.h"

namespace {

constexpr const char* kWindowProgram = "restore-rolvane-data-window";

// The window's program: beside this one in the build tree, else in the
// program's folder under libexec; empty when this program's place is unknown.
std::string WindowProgram() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    const std::string program(self, static_cast<size_t>(n));
    const std::string dir = program.substr(0, program.rfind('/') + 1);
    const std::string beside = dir + kWindowProgram;
    if (access(beside.c_str(), X_OK) == 0) return beside;
    return dir + ROLVANE_LIBEXEC_FROM_BIN + "/" + kWindowProgram;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv, argv + argc);
    if (cli::HasConsoleCommand(arguments)) {
        const cli::ConsoleLine line = cli::ParseConsoleCommand(arguments);
        if (!line.command) {
            std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", cli::kProgramName,
                         line.error.c_str(), cli::kProgramName);
            return cli::kUsageError;
        }
        return cli::RunConsole(*line.command, ports::HostEnvironment::FromProcess(),
                               {stdout, stderr, {}, jet::DefaultReaderPath()});
    }
    const std::string window = WindowProgram();
    execv(window.c_str(), argv);
    std::fprintf(stderr, "%s: cannot start %s: %s\n", cli::kProgramName, window.c_str(), std::strerror(errno));
    return 1;
}
