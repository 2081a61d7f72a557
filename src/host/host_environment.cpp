#include "ports/environment.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace ports {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

ports::HostEnvironment ports::HostEnvironment::FromProcess() {
    ports::HostEnvironment env;
    env.home = Env("HOME");
    env.user = Env("USER");
    env.winePrefix = Env("WINEPREFIX");
    env.xdgConfigHome = Env("XDG_CONFIG_HOME");
    env.xdgDataHome = Env("XDG_DATA_HOME");
    if (env.home.empty() || env.user.empty()) {
        long size = sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
        passwd entry{};
        passwd* found = nullptr;
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
            if (env.home.empty() && found->pw_dir) env.home = found->pw_dir;
            if (env.user.empty() && found->pw_name) env.user = found->pw_name;
        }
    }
    return env;
}

}  // namespace ports
