#include "posix/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string_view>

#include "host/host_files.h"
#include "posix/file_steps.h"
#include "vb/error.h"

namespace posix {

namespace {

// The trash's own lines of the errno table (file_steps.h).
vb::Error TrashError(int error) { return ErrorFor(error, ErrnoUse::Trash); }

// The device of the folder, or of the nearest folder above it that exists
// (a home trash not made yet lies where its parent lies).
std::optional<dev_t> DeviceOf(std::string folder) {
    struct stat st{};
    while (stat(folder.c_str(), &st) != 0) {
        if (folder == "/" || folder == ".") return std::nullopt;
        folder = host::Parent(folder);
    }
    return st.st_dev;
}

// The top folder of the file system that holds folder: the highest folder
// above it on the same device.
std::string TopOf(std::string folder, dev_t device) {
    while (folder != "/") {
        const std::string up = host::Parent(folder);
        struct stat st{};
        if (stat(up.c_str(), &st) != 0 || st.st_dev != device) break;
        folder = up;
    }
    return folder;
}

// A folder of ours: made with mode 0700 when missing, and usable only when
// it is a real folder (not a link to one) that belongs to uid.
bool OwnFolder(const std::string& path, uid_t uid) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode) && st.st_uid == uid) return true;
    errno = EACCES;
    return false;
}

// files/ and info/ in a trash folder, made when missing.
bool Usable(const std::string& trash, uid_t uid) {
    return OwnFolder(trash, uid) && OwnFolder(trash + "/files", uid) && OwnFolder(trash + "/info", uid);
}

void MakeFolders(const std::string& path) {
    if (path.empty() || host::IsDirectory(path)) return;
    MakeFolders(host::Parent(path));
    mkdir(path.c_str(), 0700);
}

void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // a folder that cannot be flushed still holds the rename
    close(fd);
}

// Renames without replacing: 0, or the errno of the failure (EEXIST when
// `to` is taken). Where the file system does not know RENAME_NOREPLACE,
// a test then a plain rename: the .trashinfo reserved the name already.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    struct stat st{};
    if (lstat(to.c_str(), &st) == 0) return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string TrashInfo(const std::string& path, time_t deleted) {
    std::string escaped;
    for (const unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           std::string_view("-_.!~*'()/").find(static_cast<char>(c)) != std::string_view::npos;
        if (plain) {
            escaped += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            escaped += hex;
        }
    }
    std::tm local{};
    localtime_r(&deleted, &local);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + escaped + "\nDeletionDate=" + when + "\n";
}

Trash::Trash(ports::HostEnvironment env, uid_t uid) : env_(std::move(env)), uid_(uid) {}

std::string Trash::HomeTrash() const {
    // The XDG rules: a relative $XDG_DATA_HOME is to be ignored.
    if (!env_.xdgDataHome.empty() && env_.xdgDataHome[0] == '/') return host::Join(env_.xdgDataHome, "Trash");
    if (env_.home.empty()) return "";
    return host::Join(env_.home, ".local/share/Trash");
}

std::string Trash::Put(const std::string& hostPath) const {
    struct stat file{};
    if (lstat(hostPath.c_str(), &file) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw host::IsDirectory(host::Parent(hostPath)) ? vb::FileNotFound() : vb::PathNotFound();
        throw TrashError(errno);
    }
    if (S_ISDIR(file.st_mode)) throw vb::PathFileAccessError();
    // Where the file really is: the trash records that place, and the top
    // of its file system is found from it.
    char* resolved = realpath(host::Parent(hostPath).c_str(), nullptr);
    if (!resolved) throw TrashError(errno);
    const std::string folder = resolved;
    free(resolved);
    const std::string original = host::Join(folder, host::BaseName(hostPath));

    // The trash folder, and the path its .trashinfo records: absolute in
    // the home trash, relative to the top folder elsewhere (so that the
    // entry stays right wherever the file system is mounted next).
    std::string trash;
    std::string recorded;
    const std::string home = HomeTrash();
    if (!home.empty() && DeviceOf(home) == file.st_dev) {
        MakeFolders(host::Parent(home));
        if (!Usable(home, uid_)) throw TrashError(errno);
        trash = home;
        recorded = original;
    } else {
        const std::string top = TopOf(folder, file.st_dev);
        const std::string shared = host::Join(top, ".Trash");
        struct stat st{};
        const bool adminTrash = lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
        const std::string own = host::Join(shared, std::to_string(uid_));
        if (adminTrash && Usable(own, uid_)) {
            trash = own;
        } else {
            trash = host::Join(top, ".Trash-" + std::to_string(uid_));
            if (!Usable(trash, uid_)) throw vb::DifferentDrive();
        }
        recorded = top == "/" ? original.substr(1) : original.substr(top.size() + 1);
    }

    // The first free name: bsrv.3, else bsrv.3.2, bsrv.3.3 ...
    const std::string base = host::BaseName(hostPath);
    for (int n = 1; n < 10000; ++n) {
        const std::string name = n == 1 ? base : base + "." + std::to_string(n);
        const std::string info = trash + "/info/" + name + ".trashinfo";
        const std::string target = trash + "/files/" + name;
        const int fd = open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            throw TrashError(errno);
        }
        const bool written = WriteAll(fd, TrashInfo(recorded, time(nullptr))) && fsync(fd) == 0;
        const int writeError = errno;
        if (close(fd) != 0 || !written) {
            unlink(info.c_str());
            throw TrashError(written ? errno : writeError);
        }
        const int error = RenameNoReplace(hostPath, target);
        if (error == 0) {
            SyncFolder(trash + "/info");
            SyncFolder(trash + "/files");
            SyncFolder(folder);
            return target;
        }
        unlink(info.c_str());
        if (error == EEXIST) continue;  // a file without its info: not ours to replace
        throw TrashError(error);
    }
    throw vb::FileAlreadyExists();
}

}  // namespace posix
