// restore-rolvane-data: the help, the version and the commands (--list,
// --restore, ...) are answered here, on the console, without loading Qt or
// touching a window system, so that a script pays only for the procedures
// it asks for. The window (no argument, or only Qt's options) is the
// window's program (main.cpp), which this process becomes in its place,
// with the same arguments.
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/answer.h"

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
    if (const auto status = cli::Answer(std::vector<std::string>(argv, argv + argc))) return *status;
    const std::string window = WindowProgram();
    execv(window.c_str(), argv);
    std::fprintf(stderr, "%s: cannot start %s: %s\n", cli::kProgramName, window.c_str(), std::strerror(errno));
    return 1;
}
