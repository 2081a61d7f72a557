#include "app/program.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace app {

const char* Version() { return ROLVANE_VERSION; }

std::string ProgramPath(const char* name, const std::string& fromHere) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    const std::string program(self, static_cast<size_t>(n));
    const std::string dir = program.substr(0, program.rfind('/') + 1);
    const std::string beside = dir + name;
    if (access(beside.c_str(), X_OK) == 0) return beside;
    return dir + fromHere + "/" + name;
}

int BecomeProgram(const std::string& path, char* argv[]) {
    execv(path.c_str(), argv);
    std::fprintf(stderr, "%s: cannot start %s: %s\n", kProgramName, path.c_str(), std::strerror(errno));
    return 1;
}

}  // namespace app
