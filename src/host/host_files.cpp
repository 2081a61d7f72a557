#include "host/host_files.h"

#include <cstdlib>

namespace host {

std::string Parent(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LinkTarget(const std::string& path) {
    struct stat linkStat{};
    if (lstat(path.c_str(), &linkStat) != 0 || !S_ISLNK(linkStat.st_mode)) return path;
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string target = resolved;
    free(resolved);
    return target;
}

bool IsDirectory(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace host
