#include "wine/prefixes.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "host/host_files.h"
#include "wine/windows_paths.h"

namespace wine {

namespace {

namespace fs = std::filesystem;

// The folders directly inside folder, by name in byte order; none when it
// cannot be read.
std::vector<std::string> Subfolders(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> folders;
    for (const std::string& name : names)
        if (host::IsDirectory(host::Join(folder, name))) folders.push_back(host::Join(folder, name));
    return folders;
}

// A YAML scalar as written after "key:": quoted ('...' with '' for a quote,
// "..." with backslash escapes) or plain (up to a comment). Empty for
// anything else (nothing but a comment, block scalars, flow collections,
// null).
std::string YamlScalar(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return "";
    text.remove_prefix(first);
    std::string value;
    if (text[0] == '\'') {
        for (size_t i = 1; i < text.size(); ++i) {
            if (text[i] != '\'') {
                value += text[i];
            } else if (i + 1 < text.size() && text[i + 1] == '\'') {
                value += '\'';
                ++i;
            } else {
                return value;
            }
        }
        return "";  // not closed on this line
    }
    if (text[0] == '"') {
        for (size_t i = 1; i < text.size(); ++i) {
            if (text[i] == '\\' && i + 1 < text.size()) {
                value += text[++i];
            } else if (text[i] == '"') {
                return value;
            } else {
                value += text[i];
            }
        }
        return "";
    }
    if (std::string_view("#|>[{&*!").find(text[0]) != std::string_view::npos) return "";
    size_t comment = text.find(" #");
    value = std::string(text.substr(0, comment));
    value.erase(value.find_last_not_of(" \t\r") + 1);
    if (value == "~" || value == "null" || value == "Null" || value == "NULL") return "";
    return value;
}

// The "prefix" of the "game" section of a Lutris game file, with "~" for the
// home folder expanded as Lutris does; empty when the file names none.
std::string LutrisGamePrefix(const std::string& file, const std::string& home) {
    std::ifstream in(file);
    std::string line;
    bool inGame = false;
    size_t keyIndent = std::string::npos;  // the indentation of the section's own keys
    while (std::getline(in, line)) {
        if (line.ends_with('\r')) line.pop_back();
        size_t indent = line.find_first_not_of(' ');
        if (indent == std::string::npos || line[indent] == '#') continue;
        if (indent == 0) {
            inGame = line.starts_with("game:") && YamlScalar(std::string_view(line).substr(5)).empty();
            keyIndent = std::string::npos;
            continue;
        }
        if (!inGame) continue;
        if (keyIndent == std::string::npos) keyIndent = indent;
        if (indent != keyIndent || line.compare(indent, 7, "prefix:") != 0) continue;
        std::string prefix = YamlScalar(std::string_view(line).substr(indent + 7));
        if (prefix == "~" || prefix.starts_with("~/")) prefix = host::WithoutTrailingSlash(home) + prefix.substr(1);
        return prefix.starts_with("/") ? prefix : "";
    }
    return "";
}

// The prefixes the game files of Lutris name, by file name. Lutris reads its
// configuration from <config>/lutris, or <data>/lutris where that is missing.
std::vector<std::string> LutrisPrefixes(const std::string& config, const std::string& data,
                                        const std::string& home) {
    const std::string root = host::IsDirectory(host::Join(config, "lutris")) ? host::Join(config, "lutris") : host::Join(data, "lutris");
    std::vector<std::string> files;
    std::error_code error;
    for (fs::directory_iterator it(host::Join(root, "games"), error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.ends_with(".yml") || name.ends_with(".yaml")) files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> prefixes;
    for (const std::string& file : files) {
        std::string prefix = LutrisGamePrefix(file, home);
        if (!prefix.empty()) prefixes.push_back(prefix);
    }
    return prefixes;
}

// Nanoseconds since the epoch of the last modification.
int64_t ModifiedAt(const struct stat& st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

constexpr int64_t kNoLiveDatabase = std::numeric_limits<int64_t>::min();

// Whether prefix holds any of marks, looked up through that prefix's own
// special folders: nullopt when it holds none, else when its newest live
// database was modified (kNoLiveDatabase when it has none).
std::optional<int64_t> DataIn(const std::string& prefix, const std::vector<DataMark>& marks,
                              const OpenPrefix& open) {
    const WinePaths paths(prefix);
    const PrefixServices services = open(prefix);
    ports::Shell& shell = *services.shell;
    ports::Files& files = *services.files;
    std::map<int, std::optional<std::string>> folders;  // each read from the registry once
    std::optional<int64_t> newest;
    for (const DataMark& mark : marks) {
        auto [slot, added] = folders.try_emplace(mark.folderId);
        if (added) {
            int location = 0;
            std::string folder;
            if (shell.GetSpecialFolderLocation(mark.folderId, location) == 0 &&
                shell.GetPathFromIDList(location, folder))
                slot->second = folder;
        }
        if (!slot->second) continue;
        // As the procedures hold a special folder, so that tails follow it.
        std::string path = *slot->second;
        if (ports::TakesTrailingSeparator(path)) path += "\\";
        path += mark.tail;
        const std::string host = paths.ToHost(path);
        struct stat st{};
        if (mark.kind == DataMark::kFolder) {
            if (host::IsDirectory(host) && !newest) newest = kNoLiveDatabase;
        } else if (!files.Dir(path).empty()) {
            int64_t when = kNoLiveDatabase;
            if (mark.kind == DataMark::kLiveDatabase && stat(host.c_str(), &st) == 0) when = ModifiedAt(st);
            newest = std::max(newest.value_or(kNoLiveDatabase), when);
        }
    }
    return newest;
}

}  // namespace

bool IsWinePrefix(const std::string& folder) {
    return host::IsRegularFile(host::Join(folder, "system.reg")) && host::IsDirectory(host::Join(folder, "drive_c"));
}

std::vector<std::string> CandidatePrefixes(const ports::HostEnvironment& env) {
    if (env.home.empty()) return {};
    const std::string home = host::WithoutTrailingSlash(env.home);
    const std::string data = env.xdgDataHome.starts_with("/") ? host::WithoutTrailingSlash(env.xdgDataHome)
                                                              : home + "/.local/share";
    const std::string config = env.xdgConfigHome.starts_with("/") ? host::WithoutTrailingSlash(env.xdgConfigHome)
                                                                  : home + "/.config";

    std::vector<std::string> places{home + "/.wine"};
    auto inside = [&places](const std::string& folder) {
        for (std::string& prefix : Subfolders(folder)) places.push_back(std::move(prefix));
    };
    inside(data + "/wineprefixes");
    inside(home + "/.PlayOnLinux/wineprefix");
    inside(data + "/bottles/bottles");
    inside(home + "/.var/app/com.usebottles.bottles/data/bottles/bottles");
    for (std::string& prefix : LutrisPrefixes(config, data, home)) places.push_back(std::move(prefix));
    inside(home + "/Games");
    inside(home + "/.cxoffice");

    // The same prefix may be reached twice (a game's prefix inside ~/Games,
    // a link): it is listed where it is first reached.
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<std::string> prefixes;
    for (const std::string& place : places) {
        const std::string folder = host::WithoutTrailingSlash(place);
        struct stat st{};
        if (!IsWinePrefix(folder) || stat(folder.c_str(), &st) != 0) continue;
        if (seen.insert({st.st_dev, st.st_ino}).second) prefixes.push_back(folder);
    }
    return prefixes;
}

PrefixChoice ChoosePrefix(const ports::HostEnvironment& env, const std::vector<DataMark>& marks, const OpenPrefix& open) {
    PrefixChoice choice;
    if (!env.winePrefix.empty()) {
        choice.reason = PrefixChoice::Reason::kEnvironment;
        choice.prefix = WinePaths::FindPrefix(env).value_or("");
        return choice;
    }
    const std::string dotWine = host::WithoutTrailingSlash(env.home) + "/.wine";
    std::optional<int64_t> best;
    for (const std::string& prefix : CandidatePrefixes(env)) {
        choice.searched.push_back(prefix);
        const std::optional<int64_t> newest = DataIn(prefix, marks, open);
        if (!newest) continue;
        if (prefix == dotWine) {
            // ~/.wine comes first and wins over every other: nothing else to look at.
            choice.prefix = prefix;
            best = newest;
            break;
        }
        if (!best || *newest > *best) {
            choice.prefix = prefix;
            best = newest;
        }
    }
    if (best) {
        choice.reason = PrefixChoice::Reason::kHoldsData;
        return choice;
    }
    std::optional<std::string> fallback = WinePaths::FindPrefix(env);
    choice.prefix = fallback.value_or("");
    choice.reason = fallback ? PrefixChoice::Reason::kDefault : PrefixChoice::Reason::kNone;
    return choice;
}

}  // namespace wine
