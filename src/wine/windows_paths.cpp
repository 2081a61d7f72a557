#include "wine/windows_paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <string_view>
#include <vector>

#include "host/host_files.h"
#include "vb/casefold.h"

namespace wine {

namespace {

// Under /dev/null nothing can exist or be created (every step fails with
// ENOTDIR), so a path that cannot be mapped reads as a missing folder, the
// same way every time, and no file operation can touch anything real.
constexpr const char* kUnmapped = "/dev/null/unmapped";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The components of a path: both separators split, empty and "." components
// vanish, ".." removes the component before it. Rooted paths cannot climb
// above their root; a relative path keeps its leading "..".
std::vector<std::string> Components(std::string_view path, bool rooted) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && IsSeparator(path[i])) ++i;
        size_t start = i;
        while (i < path.size() && !IsSeparator(path[i])) ++i;
        std::string_view part = path.substr(start, i - start);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") parts.pop_back();
            else if (!rooted) parts.emplace_back(part);
            continue;
        }
        parts.emplace_back(part);
    }
    return parts;
}

// The name of the entry in folder that matches name: the entry of exactly
// that name when there is one, else one that differs only in letter case
// (the first in byte order, so the choice is the same on every run), else
// nullopt.
std::optional<std::string> FindEntry(const std::string& folder, const std::string& name) {
    std::string exact = host::Join(folder, name);
    struct stat st{};
    if (lstat(exact.c_str(), &st) == 0) return name;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return std::nullopt;
    const std::u32string wanted = vb::FoldCase(name);
    std::optional<std::string> best;
    while (dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (vb::FoldCase(entry->d_name) != wanted) continue;
        if (!best || *best > entry->d_name) best = entry->d_name;
    }
    closedir(dir);
    return best;
}

// The host folder of a drive (lower-case letter) of prefix: its link in
// dosdevices. A prefix without dosdevices (copied without its links, say)
// gets that folder from Wine when Wine next starts, with c: linked to
// drive_c, so until then C: is drive_c.
std::string DriveFolder(const std::string& prefix, char letter) {
    if (letter == 'c' && !host::IsDirectory(host::Join(prefix, "dosdevices"))) return host::Join(prefix, "drive_c");
    return host::Join(prefix, "dosdevices/") + letter + ":";
}

}  // namespace


std::optional<std::string> WinePaths::FindPrefix(const ports::HostEnvironment& env) {
    // Wine itself uses $WINEPREFIX alone when it is set, so a broken one is
    // not silently replaced by ~/.wine.
    std::string prefix = !env.winePrefix.empty() ? env.winePrefix
                         : !env.home.empty()     ? host::Join(env.home, ".wine")
                                                 : std::string();
    if (prefix.empty()) return std::nullopt;
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    struct stat st{};
    if (stat(host::Join(prefix, "system.reg").c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    if (!host::IsDirectory(host::Join(prefix, "dosdevices"))) return std::nullopt;
    return prefix;
}

std::string WinePaths::ToHost(const std::string& path) const {
    std::string root;      // host folder the components hang from; "" = working folder
    std::string_view rest = path;
    bool rooted = true;
    bool resolvable = true;

    if (!path.empty() && path[0] == '/') {
        root = "/";
    } else if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        // Wine names its drive links in lower case: dosdevices/c:.
        char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
        if (prefix_.empty()) {
            root = std::string(kUnmapped) + "/" + letter + ":";
            resolvable = false;
        } else {
            root = DriveFolder(prefix_, letter);
        }
        rest = rest.substr(2);
    } else if (path.size() >= 2 && path[0] == '\\' && IsSeparator(path[1])) {
        // A network (UNC) or device path: there is no such thing here.
        root = std::string(kUnmapped) + "/unc";
        resolvable = false;
    } else if (!path.empty() && path[0] == '\\') {
        // Rooted on the current drive; this program's current drive is C:.
        root = prefix_.empty() ? std::string(kUnmapped) + "/c:" : DriveFolder(prefix_, 'c');
        resolvable = !prefix_.empty();
    } else {
        rooted = false;
    }

    const std::vector<std::string> parts = Components(rest, rooted);
    std::string host = root;
    size_t next = 0;
    if (resolvable) {
        // Most paths exist as written, and then every component matches
        // exactly: the longest part of the path that exists as written is
        // where matching without regard to case has to start.
        std::vector<std::string> prefixes{root};
        for (const std::string& part : parts) prefixes.push_back(host::Join(prefixes.back(), part));
        for (size_t k = parts.size(); k > 0; --k) {
            struct stat st{};
            if (lstat(prefixes[k].c_str(), &st) == 0) {
                host = prefixes[k];
                next = k;
                break;
            }
        }
    }
    for (size_t i = next; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (resolvable) {
            if (std::optional<std::string> entry = FindEntry(host, part)) {
                host = host::Join(host, *entry);
                continue;
            }
            // Nothing below a missing component can exist: the rest stays
            // as written.
            resolvable = false;
        }
        host = host::Join(host, part);
    }
    if (host.empty()) host = ".";
    return host;
}

}  // namespace wine
