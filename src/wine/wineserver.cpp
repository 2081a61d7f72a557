#include "wine/wineserver.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <optional>
#include <string>

#include "host/host_files.h"

namespace wine {

namespace {

bool IsWineServer(int procFd, const char* pid) {
    std::string comm;
    {
        host::Fd file(openat(procFd, (std::string(pid) + "/comm").c_str(), O_RDONLY | O_CLOEXEC));
        char buffer[64];
        ssize_t n = file ? read(file.get(), buffer, sizeof buffer) : -1;
        if (n > 0) comm.assign(buffer, static_cast<size_t>(n));
        while (!comm.empty() && comm.back() == '\n') comm.pop_back();
    }
    if (comm == "wineserver" || comm == "wineserver64") return true;
    char target[4096];
    ssize_t n = readlinkat(procFd, (std::string(pid) + "/exe").c_str(), target, sizeof target - 1);
    if (n <= 0) return false;
    std::string exe(target, static_cast<size_t>(n));
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.ends_with(deleted)) exe.resize(exe.size() - deleted.size());
    std::string name = host::BaseName(exe);
    return name == "wineserver" || name == "wineserver64";
}

// Whether the process pid (a wineserver) has the file open; nullopt when its
// descriptors cannot be looked at although it is still there.
std::optional<bool> HasOpen(int procFd, const std::string& pid, dev_t device, ino_t inode) {
    const std::string fdFolder = "/proc/" + pid + "/fd";
    DIR* fds = opendir(fdFolder.c_str());
    if (!fds) {
        struct stat gone{};
        if (fstatat(procFd, pid.c_str(), &gone, 0) != 0) return false;  // it ended meanwhile
        return std::nullopt;
    }
    bool found = false;
    while (dirent* fdEntry = readdir(fds)) {
        if (fdEntry->d_name[0] == '.') continue;
        struct stat open{};
        if (stat((fdFolder + "/" + fdEntry->d_name).c_str(), &open) == 0 && open.st_dev == device &&
            open.st_ino == inode) {
            found = true;
            break;
        }
    }
    closedir(fds);
    return found;
}

// Whether pid is a wineserver of this user; false when it has ended.
bool IsOwnWineServer(int procFd, const std::string& pid, uid_t me) {
    struct stat owner{};
    return fstatat(procFd, pid.c_str(), &owner, 0) == 0 && owner.st_uid == me && IsWineServer(procFd, pid.c_str());
}

// The text of the kernel's list of locks; nullopt when it cannot be read.
std::optional<std::string> ReadLocks(const std::string& path) {
    host::Fd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) return std::nullopt;
    std::string text;
    char buffer[16384];
    for (ssize_t n; (n = read(file.get(), buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

}  // namespace

std::vector<pid_t> LockHolders(std::string_view locks) {
    std::vector<pid_t> holders;
    while (!locks.empty()) {
        const size_t end = locks.find('\n');
        std::string_view line = locks.substr(0, end);
        locks.remove_prefix(end == std::string_view::npos ? locks.size() : end + 1);
        // The fields: number, ["->",] class, mandatory or advisory, type, pid, ...
        std::vector<std::string_view> fields;
        for (size_t i = 0; i < line.size();) {
            const size_t start = line.find_first_not_of(' ', i);
            if (start == std::string_view::npos) break;
            const size_t stop = std::min(line.find(' ', start), line.size());
            fields.push_back(line.substr(start, stop - start));
            i = stop;
        }
        const size_t at = fields.size() > 1 && fields[1] == "->" ? 5 : 4;
        if (fields.size() <= at) continue;
        pid_t pid = 0;
        const auto [rest, error] = std::from_chars(fields[at].data(), fields[at].data() + fields[at].size(), pid);
        if (error != std::errc() || rest != fields[at].data() + fields[at].size() || pid <= 0) continue;
        if (std::find(holders.begin(), holders.end(), pid) == holders.end()) holders.push_back(pid);
    }
    return holders;
}

ServerHold FindInWineServer(dev_t device, ino_t inode, const std::string& locksList) {
    host::Fd proc(open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc) return ServerHold::kCannotTell;
    const uid_t me = geteuid();
    const pid_t self = getpid();
    bool unknown = false;
    auto ask = [&](const std::string& pid) {
        const std::optional<bool> open = HasOpen(proc.get(), pid, device, inode);
        if (!open) unknown = true;
        return open.value_or(false);
    };

    if (const std::optional<std::string> locks = ReadLocks(locksList)) {
        for (const pid_t holder : LockHolders(*locks)) {
            const std::string pid = std::to_string(holder);
            if (holder != self && IsOwnWineServer(proc.get(), pid, me) && ask(pid)) return ServerHold::kOpen;
        }
        return unknown ? ServerHold::kCannotTell : ServerHold::kNotOpen;
    }

    // Without the list of locks, every process of this user is looked at.
    DIR* processes = fdopendir(dup(proc.get()));
    if (!processes) return ServerHold::kCannotTell;
    const std::string selfName = std::to_string(self);
    bool found = false;
    while (!found) {
        dirent* entry = readdir(processes);
        if (!entry) break;
        const std::string_view name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos || name == selfName)
            continue;
        found = IsOwnWineServer(proc.get(), entry->d_name, me) && ask(entry->d_name);
    }
    closedir(processes);
    return found ? ServerHold::kOpen : unknown ? ServerHold::kCannotTell : ServerHold::kNotOpen;
}

bool OpenInWineServer(dev_t device, ino_t inode) {
    return FindInWineServer(device, inode) != ServerHold::kNotOpen;
}

}  // namespace wine
