#include "wine/wineserver.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "host/host_files.h"

namespace wine {

namespace {

// The whole of a small file below dir; nullopt (errno set) when it cannot be read.
std::optional<std::string> ReadAt(int dir, const std::string& path) {
    host::Fd file(openat(dir, path.c_str(), O_RDONLY | O_CLOEXEC));
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

template <class Number>
bool ParseNumber(std::string_view text, Number& value, int base = 10) {
    const auto [rest, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && rest == text.data() + text.size() && !text.empty();
}

// The fields of a line, split at runs of blanks (spaces and tabs).
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while ((i = line.find_first_not_of(" \t", i)) != std::string_view::npos) {
        const size_t stop = std::min(line.find_first_of(" \t", i), line.size());
        fields.push_back(line.substr(i, stop - i));
        i = stop;
    }
    return fields;
}

// What a process's status file tells of it.
struct Status {
    std::string name;
    uid_t uid = 0;  // effective
    gid_t gid = 0;  // effective
    std::vector<gid_t> groups;
};

std::optional<Status> ReadStatus(int proc, const std::string& pid) {
    const std::optional<std::string> text = ReadAt(proc, pid + "/status");
    if (!text) return std::nullopt;
    Status status;
    bool uid = false, gid = false;
    std::string_view rest = *text;
    while (!rest.empty()) {
        const size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, colon);
        const std::vector<std::string_view> values = Fields(line.substr(colon + 1));
        if (key == "Name") {
            const std::string_view value = line.substr(colon + 1);
            status.name = std::string(value.substr(std::min(value.find_first_not_of(" \t"), value.size())));
        }
        else if (key == "Uid" && values.size() > 1) uid = ParseNumber(values[1], status.uid);
        else if (key == "Gid" && values.size() > 1) gid = ParseNumber(values[1], status.gid);
        else if (key == "Groups")
            for (const std::string_view value : values)
                if (gid_t group = 0; ParseNumber(value, group)) status.groups.push_back(group);
    }
    if (!uid || !gid) {
        errno = EIO;
        return std::nullopt;
    }
    return status;
}

// The name of the program file of pid, or "" when it cannot be read.
std::string ProgramName(int proc, const std::string& pid) {
    char target[4096];
    const ssize_t n = readlinkat(proc, (pid + "/exe").c_str(), target, sizeof target - 1);
    if (n <= 0) return "";
    std::string exe(target, static_cast<size_t>(n));
    const std::string deleted = " (deleted)";
    if (exe.ends_with(deleted)) exe.resize(exe.size() - deleted.size());
    return host::BaseName(exe);
}

using FileId = std::pair<dev_t, ino_t>;

// Whether a folder that could not be read simply is not there for us:
// missing, not a folder, or another user's.
bool OutOfSight(int error) { return error == ENOENT || error == ENOTDIR || error == EACCES || error == EPERM; }

// The lock files of the Wine server folders in the temporary folders that
// this user may look into. Error is set to what met the search otherwise
// (EIO), which leaves the list incomplete.
std::vector<FileId> ServerLockFiles(const std::vector<std::string>& temporaryFolders, int& error) {
    std::vector<FileId> found;
    auto each = [&error](const std::string& folder, auto&& take) {
        DIR* dir = opendir(folder.c_str());
        if (!dir) {
            if (!OutOfSight(errno) && !error) error = errno;
            return;
        }
        for (;;) {
            errno = 0;
            const dirent* entry = readdir(dir);
            if (!entry) break;
            if (entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN) take(std::string(entry->d_name));
        }
        if (errno && !error) error = errno;
        closedir(dir);
    };
    for (const std::string& tmp : temporaryFolders) {
        each(tmp, [&](const std::string& wineFolder) {
            const bool ours = wineFolder.starts_with(".wine-") && wineFolder.size() > 6 &&
                              wineFolder.find_first_not_of("0123456789", 6) == std::string::npos;
            if (!ours && !(wineFolder.starts_with("wine-") && wineFolder.size() > 5)) return;
            const std::string folder = tmp + "/" + wineFolder;
            each(folder, [&](const std::string& server) {
                const std::string lockFile = folder + "/" + server + "/lock";
                if (!server.starts_with("server-") || !IsServerLockPath(lockFile)) return;
                struct stat lock{};
                if (stat(lockFile.c_str(), &lock) == 0) found.emplace_back(lock.st_dev, lock.st_ino);
                else if (!OutOfSight(errno) && !error) error = errno;
            });
        });
    }
    return found;
}

// What the open files of a process showed.
struct OpenFiles {
    bool readable = false;
    bool gone = false;     // the process ended meanwhile
    int error = 0;         // not readable: why
    bool hasFile = false;  // the file asked about is among them
};

OpenFiles LookAtOpenFiles(int proc, const std::string& pid, const struct stat& file) {
    OpenFiles seen;
    host::Fd folder(openat(proc, (pid + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* fds = folder ? fdopendir(folder.get()) : nullptr;
    if (!fds) {
        seen.error = errno;
        struct stat process{};
        seen.gone = fstatat(proc, pid.c_str(), &process, 0) != 0 && errno == ENOENT;
        return seen;
    }
    folder.Release();
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(fds);
        if (!entry) break;
        if (entry->d_name[0] == '.') continue;
        struct stat open{};
        if (fstatat(dirfd(fds), entry->d_name, &open, 0) != 0) continue;  // closed meanwhile
        if (open.st_dev == file.st_dev && open.st_ino == file.st_ino) {
            seen.hasFile = true;
            break;
        }
    }
    seen.error = seen.hasFile ? 0 : errno;
    seen.readable = seen.error == 0;
    closedir(fds);
    return seen;
}

std::string UserName(uid_t uid) {
    struct passwd entry{}, *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->pw_name;
    return std::to_string(uid);
}

// Asks the wineservers one by one: the first that has the file open ends the
// search; one that could not be looked into is remembered, and is the answer
// when no other has it.
class Search {
public:
    Search(int proc, const ProcessView& view, const struct stat& file)
        : proc_(proc), view_(view), file_(file), me_(geteuid()), self_(getpid()) {
        for (const std::string& folder : view_.temporaryFolders)
            if (struct stat ours{}; stat(folder.c_str(), &ours) == 0)
                temporaryFolders_.emplace_back(ours.st_dev, ours.st_ino);
    }

    // Asks pid, a wineserver where known is true, else a holder of locks on
    // the files locked, which is one when it locks a server folder's lock
    // file in a /tmp of its own. True once the answer is known to be kOpen.
    bool Ask(pid_t holder, bool known, const std::vector<FileId>& locked) {
        if (holder == self_) return false;
        const std::string pid = std::to_string(holder);
        // Whether it is a wineserver, by what costs least first: its comm
        // and the lock files it holds. Its status, which the kernel is slower
        // to give, is read for wineservers only.
        struct stat alive{};
        if (fstatat(proc_, pid.c_str(), &alive, 0) != 0) {
            const int error = errno;
            // Ended meanwhile; else hidden from this user (hidepid), or
            // unreadable, while it holds a lock as a wineserver does.
            if (error == ENOENT && kill(holder, 0) != 0 && errno == ESRCH) return false;
            CannotTell(holder, error, "process " + pid + " cannot be looked at: " + std::strerror(error));
            return false;
        }
        const std::optional<std::string> comm = ReadAt(proc_, pid + "/comm");
        const bool server = known || (comm && IsWineServerName(*comm)) || LocksOwnServerFile(pid, locked) ||
                            IsWineServerName(ProgramName(proc_, pid));
        if (!server) return false;
        const std::optional<Status> status = ReadStatus(proc_, pid);
        if (!status) {
            const int error = errno;
            struct stat gone{};
            if (fstatat(proc_, pid.c_str(), &gone, 0) != 0 && errno == ENOENT) return false;
            CannotTell(holder, error, "process " + pid + " cannot be looked at: " + std::strerror(error));
            return false;
        }
        // Another user's program can hold only a file that user could open.
        const bool otherUser = status->uid != me_;
        if (otherUser && !CouldOpen(file_, status->uid, status->gid, status->groups)) return false;
        const OpenFiles seen = LookAtOpenFiles(proc_, pid, file_);
        if (seen.gone) return false;
        if (seen.readable) {
            if (!seen.hasFile) return false;
            answer_ = {ServerHold::kOpen, holder, 0, {}};
            return true;
        }
        std::string why = "the open files of " + status->name + " (process " + pid + ", user " +
                          UserName(status->uid) + ") cannot be read: ";
        if (seen.error == EACCES || seen.error == EPERM)
            why += otherUser ? "it runs as another user" : "it is not dumpable";
        else why += std::strerror(seen.error);
        CannotTell(holder, seen.error, why);
        return false;
    }

    void CannotTell(pid_t pid, int error, std::string why) {
        if (!unknown_) unknown_ = ServerAnswer{ServerHold::kCannotTell, pid, error, std::move(why)};
    }

    ServerAnswer Answer() const {
        if (answer_.hold == ServerHold::kOpen) return answer_;
        return unknown_ ? *unknown_ : ServerAnswer{};
    }

private:
    // Whether pid, which has a /tmp of its own (a sandbox), locks one of
    // the server folders' lock files there.
    bool LocksOwnServerFile(const std::string& pid, const std::vector<FileId>& locked) const {
        if (locked.empty()) return false;
        const std::string tmp = view_.proc + "/" + pid + "/root/tmp";
        struct stat theirs{};
        if (stat(tmp.c_str(), &theirs) != 0) return false;
        // The same /tmp as one of ours: looked through already.
        if (std::find(temporaryFolders_.begin(), temporaryFolders_.end(), FileId(theirs.st_dev, theirs.st_ino)) !=
            temporaryFolders_.end())
            return false;
        int ignored = 0;  // a sandbox's /tmp that cannot be read: its holder is asked by name only
        const std::vector<FileId> serverLocks = ServerLockFiles({tmp}, ignored);
        return std::any_of(locked.begin(), locked.end(), [&](const FileId& file) {
            return std::find(serverLocks.begin(), serverLocks.end(), file) != serverLocks.end();
        });
    }

    int proc_;
    const ProcessView& view_;
    std::vector<FileId> temporaryFolders_;
    const struct stat& file_;
    uid_t me_;
    pid_t self_;
    ServerAnswer answer_;
    std::optional<ServerAnswer> unknown_;
};

}  // namespace

ProcessView ProcessView::OfHost() {
    ProcessView view;
    if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir && tmpdir[0] == '/') {
        const std::string folder = host::WithoutTrailingSlash(tmpdir);
        if (folder != "/tmp") view.temporaryFolders.push_back(folder);
    }
    return view;
}

std::vector<LockLine> ParseLocks(std::string_view locks) {
    std::vector<LockLine> lines;
    while (!locks.empty()) {
        const size_t end = std::min(locks.find('\n'), locks.size());
        const std::vector<std::string_view> fields = Fields(locks.substr(0, end));
        locks.remove_prefix(std::min(end + 1, locks.size()));
        // The fields: number, ["->",] class, mandatory or advisory, type,
        // pid, major:minor:inode, start, end.
        const size_t at = fields.size() > 1 && fields[1] == "->" ? 2 : 1;
        if (fields.size() <= at + 4) continue;
        LockLine line;
        line.posix = fields[at] == "POSIX";
        if (!ParseNumber(fields[at + 3], line.pid) || line.pid <= 0) continue;
        const std::string_view file = fields[at + 4];
        const size_t first = file.find(':'), second = file.find(':', first + 1);
        unsigned major = 0, minor = 0;
        if (second == std::string_view::npos || !ParseNumber(file.substr(0, first), major, 16) ||
            !ParseNumber(file.substr(first + 1, second - first - 1), minor, 16) ||
            !ParseNumber(file.substr(second + 1), line.inode))
            continue;
        line.device = makedev(major, minor);
        lines.push_back(line);
    }
    return lines;
}

bool IsServerLockPath(std::string_view path) {
    if (!path.ends_with("/lock")) return false;
    path.remove_suffix(5);
    const size_t serverAt = path.rfind('/');
    if (serverAt == std::string_view::npos) return false;
    // server-DEV-INODE, both in hex.
    const std::string_view server = path.substr(serverAt + 1);
    const size_t dash = server.find('-', 7);
    auto hex = [](std::string_view text) {
        return !text.empty() && text.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
    };
    if (!server.starts_with("server-") || dash == std::string_view::npos || !hex(server.substr(7, dash - 7)) ||
        !hex(server.substr(dash + 1)))
        return false;
    path = path.substr(0, serverAt);
    const std::string_view wine = path.substr(path.rfind('/') + 1);
    if (wine.starts_with(".wine-"))
        return wine.size() > 6 && wine.find_first_not_of("0123456789", 6) == std::string_view::npos;
    return wine.starts_with("wine-") && wine.size() > 5;
}

bool IsWineServerName(std::string_view name) { return name.starts_with("wineserver"); }

bool CouldOpen(const struct stat& file, uid_t uid, gid_t gid, const std::vector<gid_t>& groups) {
    if (uid == 0) return true;
    if (uid == file.st_uid) return (file.st_mode & (S_IRUSR | S_IWUSR)) != 0;
    if (gid == file.st_gid || std::find(groups.begin(), groups.end(), file.st_gid) != groups.end())
        return (file.st_mode & (S_IRGRP | S_IWGRP)) != 0;
    return (file.st_mode & (S_IROTH | S_IWOTH)) != 0;
}

ServerAnswer FindInWineServer(const struct stat& file, const ProcessView& view) {
    host::Fd proc(open(view.proc.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc) {
        const int error = errno;
        return {ServerHold::kCannotTell, 0, error,
                "the processes (" + view.proc + ") cannot be read: " + std::strerror(error)};
    }
    Search search(proc.get(), view, file);

    if (const std::optional<std::string> locks = ReadAt(proc.get(), "locks")) {
        int error = 0;
        const std::vector<FileId> serverLocks = ServerLockFiles(view.temporaryFolders, error);
        if (error)
            return {ServerHold::kCannotTell, 0, error,
                    "the Wine server folders cannot be looked through: " + std::string(std::strerror(error))};
        const std::vector<LockLine> lines = ParseLocks(*locks);
        std::vector<pid_t> asked;
        for (const LockLine& line : lines) {
            // wineserver takes a POSIX lock; each holder is asked once.
            if (!line.posix || std::find(asked.begin(), asked.end(), line.pid) != asked.end()) continue;
            asked.push_back(line.pid);
            std::vector<FileId> locked;
            bool known = false;
            for (const LockLine& other : lines) {
                if (other.pid != line.pid || !other.posix) continue;
                locked.emplace_back(other.device, other.inode);
                known = known || std::find(serverLocks.begin(), serverLocks.end(), locked.back()) != serverLocks.end();
            }
            if (search.Ask(line.pid, known, locked)) break;
        }
        return search.Answer();
    }

    // Without the list of locks, every process is looked at, by its name.
    DIR* processes = fdopendir(dup(proc.get()));
    if (!processes) {
        const int error = errno;
        return {ServerHold::kCannotTell, 0, error,
                "the processes (" + view.proc + ") cannot be read: " + std::strerror(error)};
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(processes);
        if (!entry) {
            if (const int error = errno)
                search.CannotTell(0, error,
                                  "the processes (" + view.proc + ") cannot be read: " + std::strerror(error));
            break;
        }
        const std::string_view name = entry->d_name;
        pid_t pid = 0;
        if (!ParseNumber(name, pid)) continue;
        const std::optional<std::string> comm = ReadAt(proc.get(), std::string(name) + "/comm");
        const std::string shown = comm ? comm->substr(0, comm->find('\n')) : "";
        if (!IsWineServerName(shown) && !IsWineServerName(ProgramName(proc.get(), std::string(name)))) continue;
        if (search.Ask(pid, true, {})) break;
    }
    closedir(processes);
    return search.Answer();
}

}  // namespace wine
