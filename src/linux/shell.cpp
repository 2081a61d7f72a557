#include "linux/shell.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <fstream>
#include <map>
#include <vector>

#include "vb/casefold.h"
#include "wine/registry.h"

namespace platform {

namespace {

constexpr long kUnknownFolder = 0x80070057L;  // E_INVALIDARG, as the shell answers

constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kCurrentVersion32 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion";

bool IsKnown(int id) { return id == CSIDL_PERSONAL || id == CSIDL_APPDATA || id == CSIDL_PROGRAM_FILES; }

bool IsDirectory(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Without a trailing separator; a drive root keeps its own ("C:\").
std::string WithoutTrailingSeparator(std::string path, char separator) {
    size_t keep = separator == '\\' ? 3 : 1;
    while (path.size() > keep && path.back() == separator) path.pop_back();
    return path;
}

bool IsAbsoluteWindowsPath(const std::string& path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
           (path[2] == '\\' || path[2] == '/');
}

// The Windows user whose profile the prefix keeps. Wine names it after the
// Unix user, but a prefix made elsewhere keeps its own: CrossOver bottles
// use "crossover", Proton "steamuser". When the prefix has no profile for
// this user and exactly one other (Public aside), that one is the user's.
std::string ProfileUser(const std::string& prefix, const std::string& user) {
    const std::string users = prefix + "/drive_c/users";
    DIR* dir = opendir(users.c_str());
    if (!dir) return user;
    std::vector<std::string> others;
    bool own = false;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || !IsDirectory(users + "/" + name)) continue;
        if (vb::EqualsIgnoringCase(name, user)) own = true;
        else if (!vb::EqualsIgnoringCase(name, "Public")) others.push_back(name);
    }
    closedir(dir);
    return !own && others.size() == 1 ? others.front() : user;
}

// Expands %NAME% references; nullopt when one is not known here, so that a
// half-expanded path is never given out.
std::optional<std::string> Expand(const std::string& text, const std::map<std::string, std::string>& variables) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find('%', pos);
        if (open == std::string::npos) break;
        size_t close = text.find('%', open + 1);
        if (close == std::string::npos) break;
        out.append(text, pos, open - pos);
        std::string name = text.substr(open + 1, close - open - 1);
        bool found = false;
        for (const auto& [variable, value] : variables) {
            if (vb::EqualsIgnoringCase(variable, name)) {
                out += value;
                found = true;
                break;
            }
        }
        if (!found) return std::nullopt;
        pos = close + 1;
    }
    out.append(text, pos);
    return out;
}

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

LinuxShell::LinuxShell(std::string prefix, HostEnvironment env) : prefix_(std::move(prefix)), env_(std::move(env)) {}

long LinuxShell::GetSpecialFolderLocation(int FolderId, int& Location) {
    if (!IsKnown(FolderId)) return kUnknownFolder;
    Location = FolderId;
    return 0;
}

bool LinuxShell::GetPathFromIDList(int Location, std::string& Path) {
    std::optional<std::string> path = FolderPath(Location);
    if (!path) return false;
    Path = *path;
    return true;
}

std::optional<std::string> LinuxShell::FolderPath(int FolderId) const {
    if (!IsKnown(FolderId)) return std::nullopt;
    return prefix_.empty() ? HostFolder(FolderId) : PrefixFolder(FolderId);
}

std::string LinuxShell::PrefixFolder(int FolderId) const {
    const std::string windowsUser = ProfileUser(prefix_, env_.user);
    const std::string profile = "C:\\users\\" + windowsUser;

    if (FolderId == CSIDL_PROGRAM_FILES) {
        const WineRegistry system = WineRegistry::Load(prefix_ + "/system.reg");
        bool win64 = system.Arch() == "win64" ||
                     (system.Arch().empty() && IsDirectory(prefix_ + "/drive_c/windows/syswow64"));
        std::optional<std::string> value;
        if (win64) {
            // A 32-bit program in a 64-bit prefix gets the (x86) folder.
            value = system.String(kCurrentVersion, "ProgramFilesDir (x86)");
            if (!value) value = system.String(kCurrentVersion32, "ProgramFilesDir");
        } else {
            value = system.String(kCurrentVersion, "ProgramFilesDir");
        }
        if (value && IsAbsoluteWindowsPath(*value)) return WithoutTrailingSeparator(*value, '\\');
        return win64 ? "C:\\Program Files (x86)" : "C:\\Program Files";
    }

    const bool documents = FolderId == CSIDL_PERSONAL;
    const char* name = documents ? "Personal" : "AppData";
    const std::string fallback = profile + (documents ? "\\Documents" : "\\AppData\\Roaming");
    const WineRegistry user = WineRegistry::Load(prefix_ + "/user.reg");

    // User Shell Folders holds the setting itself, usually relative to the
    // profile: expanded for this user it is right whoever ran Wine last.
    const std::map<std::string, std::string> variables = {
        {"USERPROFILE", profile},
        {"USERNAME", windowsUser},
        {"APPDATA", profile + "\\AppData\\Roaming"},
        {"LOCALAPPDATA", profile + "\\AppData\\Local"},
        {"SystemDrive", "C:"},
        {"SystemRoot", "C:\\windows"},
        {"windir", "C:\\windows"},
        {"PUBLIC", "C:\\users\\Public"},
        {"ALLUSERSPROFILE", "C:\\ProgramData"},
        {"ProgramData", "C:\\ProgramData"},
    };
    if (std::optional<std::string> setting = user.String(kUserShellFolders, name)) {
        std::optional<std::string> expanded = Expand(*setting, variables);
        if (expanded && IsAbsoluteWindowsPath(*expanded)) return WithoutTrailingSeparator(*expanded, '\\');
    }
    // Shell Folders holds resolved paths, written for whichever user ran
    // last: one inside another user's profile is not this user's folder.
    if (std::optional<std::string> resolved = user.String(kShellFolders, name)) {
        std::string path = WithoutTrailingSeparator(*resolved, '\\');
        bool otherUsers = vb::StartsWithIgnoringCase(path, "C:\\users\\") && !vb::EqualsIgnoringCase(path, profile) &&
                          !vb::StartsWithIgnoringCase(path, profile + "\\");
        if (IsAbsoluteWindowsPath(path) && !otherUsers) return path;
    }
    return fallback;
}

std::string LinuxShell::HostFolder(int FolderId) const {
    const std::string home = WithoutTrailingSeparator(env_.home, '/');
    switch (FolderId) {
        case CSIDL_PERSONAL: {
            std::string config = env_.xdgConfigHome.starts_with("/") ? env_.xdgConfigHome : home + "/.config";
            if (auto folder = XdgUserDir(config + "/user-dirs.dirs", home, "XDG_DOCUMENTS_DIR"))
                return WithoutTrailingSeparator(*folder, '/');
            return home + "/Documents";
        }
        case CSIDL_APPDATA:
            if (env_.xdgDataHome.starts_with("/")) return WithoutTrailingSeparator(env_.xdgDataHome, '/');
            return home + "/.local/share";
        default:
            return "/opt";
    }
}

}  // namespace platform
