#include "wine/shell_folders.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <map>
#include <vector>

#include "host/host_files.h"
#include "vb/casefold.h"
#include "wine/registry.h"

namespace wine {

namespace {

constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kCurrentVersion32 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion";

// Without a trailing "\"; a drive root keeps its own ("C:\").
std::string WithoutTrailingSeparator(std::string path) {
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
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
        if (name == "." || name == ".." || !host::IsDirectory(users + "/" + name)) continue;
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

}  // namespace

std::string WinePrefixFolder(const std::string& prefix, const std::string& unixUser, int FolderId) {
    const std::string windowsUser = ProfileUser(prefix, unixUser);
    const std::string profile = "C:\\users\\" + windowsUser;

    if (FolderId == ports::CSIDL_PROGRAM_FILES) {
        const std::shared_ptr<const WineRegistry> shared = WineRegistry::Shared(prefix + "/system.reg");
        const WineRegistry& system = *shared;
        bool win64 = system.Arch() == "win64" ||
                     (system.Arch().empty() && host::IsDirectory(prefix + "/drive_c/windows/syswow64"));
        std::optional<std::string> value;
        if (win64) {
            // A 32-bit program in a 64-bit prefix gets the (x86) folder.
            value = system.String(kCurrentVersion, "ProgramFilesDir (x86)");
            if (!value) value = system.String(kCurrentVersion32, "ProgramFilesDir");
        } else {
            value = system.String(kCurrentVersion, "ProgramFilesDir");
        }
        if (value && IsAbsoluteWindowsPath(*value)) return WithoutTrailingSeparator(*value);
        return win64 ? "C:\\Program Files (x86)" : "C:\\Program Files";
    }

    const bool documents = FolderId == ports::CSIDL_PERSONAL;
    const char* name = documents ? "Personal" : "AppData";
    const std::string fallback = profile + (documents ? "\\Documents" : "\\AppData\\Roaming");
    const std::shared_ptr<const WineRegistry> shared = WineRegistry::Shared(prefix + "/user.reg");
    const WineRegistry& user = *shared;

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
        if (expanded && IsAbsoluteWindowsPath(*expanded)) return WithoutTrailingSeparator(*expanded);
    }
    // Shell Folders holds resolved paths, written for whichever user ran
    // last: one inside another user's profile is not this user's folder.
    if (std::optional<std::string> resolved = user.String(kShellFolders, name)) {
        std::string path = WithoutTrailingSeparator(*resolved);
        bool otherUsers = vb::StartsWithIgnoringCase(path, "C:\\users\\") && !vb::EqualsIgnoringCase(path, profile) &&
                          !vb::StartsWithIgnoringCase(path, profile + "\\");
        if (IsAbsoluteWindowsPath(path) && !otherUsers) return path;
    }
    return fallback;
}

}  // namespace wine
