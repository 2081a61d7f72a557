#include "posix/xdg_folders.h"

#include <fstream>
#include <optional>

#include "host/host_files.h"
#include "ports/shell.h"

namespace posix {

namespace {

// XDG_DOCUMENTS_DIR from user-dirs.dirs: a line XDG_DOCUMENTS_DIR="$HOME/..."
// or "/...", the only two forms the file may use.
std::optional<std::string> XdgUserDir(const std::string& file, const std::string& home, const std::string& key) {
    std::ifstream in(file);
    std::string line;
    std::optional<std::string> result;
    while (std::getline(in, line)) {
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        if (line.compare(first, key.size() + 2, key + "=\"") != 0) continue;
        std::string value;
        size_t i = first + key.size() + 2;
        bool closed = false;
        for (; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                value += line[++i];
            } else if (line[i] == '"') {
                closed = true;
                break;
            } else {
                value += line[i];
            }
        }
        if (!closed) continue;
        if (value.starts_with("$HOME")) {
            std::string rest = value.substr(5);
            if (!rest.empty() && rest[0] != '/') continue;
            value = home + rest;
        } else if (!value.starts_with("/")) {
            continue;
        }
        result = value;  // the last assignment wins, as in the shell
    }
    return result;
}

}  // namespace

std::string XdgFolder(const ports::HostEnvironment& env_, int FolderId) {
    const std::string home = host::WithoutTrailingSlash(env_.home);
    switch (FolderId) {
        case ports::CSIDL_PERSONAL: {
            std::string config = env_.xdgConfigHome.starts_with("/") ? env_.xdgConfigHome : home + "/.config";
            if (auto folder = XdgUserDir(config + "/user-dirs.dirs", home, "XDG_DOCUMENTS_DIR"))
                return host::WithoutTrailingSlash(*folder);
            return home + "/Documents";
        }
        case ports::CSIDL_APPDATA:
            if (env_.xdgDataHome.starts_with("/")) return host::WithoutTrailingSlash(env_.xdgDataHome);
            return home + "/.local/share";
        default:
            return "/opt";
    }
}

}  // namespace posix
