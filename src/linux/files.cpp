#include "linux/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <ctime>
#include <string_view>
#include <vector>

#include "vb/casefold.h"
#include "vb/error.h"

namespace platform {

namespace {

// An open file descriptor, closed when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Reset(); }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }
    // Closes the descriptor and reports the error of close(2), which on some
    // file systems is where a failed write shows up.
    int Close() {
        int result = close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

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

// The file a symbolic link at path points to, else path itself: a copy
// replaces that file, and writes its temporary file beside it.
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

// The error a failed system call stands for in the served application.
vb::Error ErrorFor(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case ETXTBSY:
            return vb::PermissionDenied();
        case ENOSPC:
        case EDQUOT:
            return vb::DiskFull();
        case EIO:
            return vb::DeviceIOError();
        case ENOTDIR:
            return vb::PathNotFound();
        default:
            return vb::PathFileAccessError();
    }
}

// A file that is not there: 53 when its folder exists, 76 when the folder
// itself is missing.
vb::Error MissingError(const std::string& hostPath) {
    return IsDirectory(Parent(hostPath)) ? vb::FileNotFound() : vb::PathNotFound();
}

vb::Error CantRenameWithDifferentDrive() { return vb::Error(74, "Can't rename with different drive"); }

bool HasRecordLock(int fd) {
    // A write lock conflicts with every lock another owner holds, read or
    // write, so the test finds any lock on any byte. An OFD query sees the
    // POSIX locks of other processes as well as OFD locks.
    struct flock query{};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = 0;
    query.l_len = 0;
    if (fcntl(fd, F_OFD_GETLK, &query) == 0) return query.l_type != F_UNLCK;
    if (errno != EINVAL) return false;
    // A kernel without OFD locks: F_GETLK sees other processes' locks.
    query = {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    if (fcntl(fd, F_GETLK, &query) == 0) return query.l_type != F_UNLCK;
    return false;
}

bool IsWineServer(int procFd, const char* pid) {
    std::string comm;
    {
        Fd file(openat(procFd, (std::string(pid) + "/comm").c_str(), O_RDONLY | O_CLOEXEC));
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
    std::string name = BaseName(exe);
    return name == "wineserver" || name == "wineserver64";
}

// A Windows program under Wine keeps its files open inside wineserver, not in
// its own process, so the wineservers of this user are the ones to ask.
bool OpenInWineServer(dev_t device, ino_t inode) {
    Fd proc(open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc) return false;
    DIR* processes = fdopendir(dup(proc.get()));
    if (!processes) return false;
    const uid_t me = geteuid();
    const std::string self = std::to_string(getpid());
    bool found = false;
    while (!found) {
        dirent* entry = readdir(processes);
        if (!entry) break;
        std::string_view pid = entry->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string_view::npos || pid == self) continue;
        struct stat owner{};
        if (fstatat(proc.get(), entry->d_name, &owner, 0) != 0 || owner.st_uid != me) continue;
        if (!IsWineServer(proc.get(), entry->d_name)) continue;
        std::string fdFolder = "/proc/" + std::string(pid) + "/fd";
        DIR* fds = opendir(fdFolder.c_str());
        if (!fds) continue;
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
    }
    closedir(processes);
    return found;
}

// A name for a temporary file, unlikely to be taken; creation is exclusive
// anyway and simply tries another one.
std::string RandomSuffix() {
    unsigned char bytes[8];
    static unsigned long counter = 0;
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        unsigned long mixed = static_cast<unsigned long>(getpid()) * 1000003UL + ++counter +
                              static_cast<unsigned long>(time(nullptr));
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(mixed >>= 3);
    }
    static const char digits[] = "0123456789abcdef";
    std::string suffix;
    for (unsigned char b : bytes) {
        suffix += digits[b >> 4];
        suffix += digits[b & 15];
    }
    return suffix;
}

// Temporary files are named ".<name>.<16 hex digits>.tmp" after the file
// they are to become: hidden, so that nobody listing the folder takes one for
// a database, and recognisable, so that leftovers can be told from anything
// else in the folder.
constexpr size_t kStemLimit = 200;
constexpr size_t kSuffixDigits = 16;

std::string TemporaryStem(const std::string& name) { return "." + name.substr(0, kStemLimit) + "."; }

bool IsTemporaryOf(const std::string& entry, const std::string& name) {
    const std::string stem = TemporaryStem(name);
    const size_t length = stem.size() + kSuffixDigits + 4;
    if (entry.size() != length || !entry.ends_with(".tmp")) return false;
    // The name part without regard to case, as the live name is matched.
    if (!vb::EqualsIgnoringCase(std::string_view(entry).substr(0, stem.size()), stem)) return false;
    return std::all_of(entry.begin() + static_cast<long>(stem.size()),
                       entry.begin() + static_cast<long>(stem.size() + kSuffixDigits),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// A copy being written holds a write lock on its temporary file (an open
// file description lock, gone when the process ends, however it ends), so
// that a leftover is a temporary file nobody holds.
bool LockWhole(int fd, short type) {
    struct flock lock{};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

int RenameNoReplace(const std::string& from, const std::string& to) {
    return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE));
}

// Renames without ever replacing to, for file systems that do not know
// RENAME_NOREPLACE: a hard link fails when to exists. Where there are no hard
// links (or for folders) the last resort is a test then a rename, which a
// racing creator could slip between.
void RenameNoReplaceFallback(const std::string& from, const struct stat& fromStat, const std::string& to) {
    if (!S_ISDIR(fromStat.st_mode)) {
        if (link(from.c_str(), to.c_str()) == 0) {
            if (unlink(from.c_str()) != 0) {
                int error = errno;
                unlink(to.c_str());
                throw ErrorFor(error);
            }
            return;
        }
        if (errno == EEXIST) throw vb::FileAlreadyExists();
        if (errno == ENOENT) throw vb::PathNotFound();
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK) throw ErrorFor(errno);
    }
    struct stat existing{};
    if (lstat(to.c_str(), &existing) == 0) throw vb::FileAlreadyExists();
    if (rename(from.c_str(), to.c_str()) != 0) throw errno == ENOENT ? vb::PathNotFound() : ErrorFor(errno);
}

}  // namespace

bool HeldByAnotherProcess(int fd) {
    struct stat st{};
    if (fstat(fd, &st) != 0) return false;
    return HasRecordLock(fd) || OpenInWineServer(st.st_dev, st.st_ino);
}

bool HeldByAnotherProcess(const std::string& hostPath) {
    Fd fd(open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd) return HeldByAnotherProcess(fd.get());
    // Unreadable: no lock can be queried, but wineserver can still be asked.
    struct stat st{};
    return stat(hostPath.c_str(), &st) == 0 && OpenInWineServer(st.st_dev, st.st_ino);
}

// A temporary file that is removed again unless it was put in place.
class LinuxFiles::TemporaryFile {
public:
    ~TemporaryFile() {
        fd.Reset();
        if (!path.empty()) unlink(path.c_str());
    }
    void Placed() { path.clear(); }

    std::string path;
    Fd fd;
};

LinuxFiles::LinuxFiles(const WinePaths& paths, WriteStep write, StepHook step)
    : paths_(paths), write_(std::move(write)), kernelCopy_(!write_), step_(std::move(step)) {
    if (!write_) write_ = [](int fd, const void* data, size_t size) { return ::write(fd, data, size); };
}

namespace {

// Whether Windows programs under Wine see the file as hidden or system. Wine
// keeps those two of a file's DOS attributes in the extended attribute
// user.DOSATTRIB, in Samba's text form: "0x" and hex digits ("0x22" for
// hidden and archive), which Samba 4 may follow with a NUL and binary data.
// Wine reads at most 64 bytes, and a value of any other form counts as no
// attributes; so does a file system without extended attributes.
bool HiddenOrSystem(const std::string& hostPath) {
    constexpr long kHidden = 0x2;
    constexpr long kSystem = 0x4;
    char data[65];
    ssize_t length = getxattr(hostPath.c_str(), "user.DOSATTRIB", data, sizeof data - 1);
    if (length <= 2 || data[0] != '0' || data[1] != 'x') return false;
    data[length] = '\0';
    char* end = nullptr;
    long attributes = std::strtol(data, &end, 16);
    return *end == '\0' && (attributes & (kHidden | kSystem)) != 0;
}

}  // namespace

template <class Call>
auto LinuxFiles::Do(Step step, Call call) -> decltype(call()) {
    if (step_) {
        if (const int error = step_(step)) {
            errno = error;
            return -1;
        }
    }
    return call();
}

void LinuxFiles::SyncFolder(const std::string& folder) {
    Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return;
    // Some file systems cannot flush a folder at all (EINVAL). Where the
    // flush fails (EIO), the rename is in the folder as the system sees it
    // and will stay there unless the machine loses power now: it is done.
    Do(Step::FlushFolder, [&] { return fsync(dir.get()); });
}

std::string LinuxFiles::Dir(const std::string& Path) {
    if (Path.empty()) return "";
    std::string host = paths_.ToHost(Path);
    std::string name = BaseName(host);
    if (name.empty() || name[0] == '.') return "";
    struct stat st{};
    if (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "";
    if (HiddenOrSystem(host)) return "";
    return name;
}

vb::DateTime LinuxFiles::FileDateTime(const std::string& Path) {
    struct stat st{};
    std::string host = paths_.ToHost(Path);
    if (stat(host.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw vb::FileNotFound();
        throw ErrorFor(errno);
    }
    std::tm local{};
    time_t seconds = st.st_mtim.tv_sec;
    if (!localtime_r(&seconds, &local)) throw vb::PathFileAccessError();
    return vb::DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                        local.tm_hour,        local.tm_min,     local.tm_sec};
}

void LinuxFiles::CopyToTemporary(int source, const struct stat& sourceStat, const std::string& folder,
                                 const std::string& name, const struct stat* replaced,
                                 TemporaryFile& temporary, const CopyProgress& progress) {
    const std::string stem = TemporaryStem(name);
    for (int attempt = 0; !temporary.fd; ++attempt) {
        std::string candidate = (folder == "/" ? "/" : folder + "/") + stem + RandomSuffix() + ".tmp";
        // Only the owner may read it until it has the permissions it is to keep.
        int fd = Do(Step::CreateTemporary, [&] {
            return open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        replaced ? S_IRUSR | S_IWUSR : 0666);
        });
        if (fd >= 0) {
            temporary.path = candidate;
            temporary.fd.Reset(fd);
        } else if (errno != EEXIST || attempt >= 100) {
            throw errno == ENOENT ? vb::PathNotFound() : ErrorFor(errno);
        }
    }
    const int out = temporary.fd.get();
    // Held for as long as the copy runs: RemoveTemporaries leaves it alone.
    LockWhole(out, F_WRLCK);

    CopyData(source, out, static_cast<uint64_t>(sourceStat.st_size), progress);

    if (replaced) {
        // The group of the file being replaced where we may (a group we
        // belong to; any owner as root). Where we may not, the group keeps
        // no access: the copy is never more open than the file it replaces.
        mode_t mode = replaced->st_mode & 07777;
        const bool otherOwner = replaced->st_uid != geteuid();
        if (replaced->st_gid != getegid() || otherOwner) {
            if (fchown(out, otherOwner ? replaced->st_uid : static_cast<uid_t>(-1), replaced->st_gid) != 0 &&
                fchown(out, static_cast<uid_t>(-1), replaced->st_gid) != 0)
                mode &= ~static_cast<mode_t>(S_IRWXG | S_ISGID);
        }
        if (fchmod(out, mode) != 0) throw ErrorFor(errno);
    }
    // The source's modification time, as a Windows copy keeps it.
    struct timespec times[2] = {{0, UTIME_OMIT}, sourceStat.st_mtim};
    if (futimens(out, times) != 0) throw ErrorFor(errno);
    if (Do(Step::FlushFile, [&] { return fsync(out); }) != 0) throw ErrorFor(errno);
}

void LinuxFiles::CopyData(int source, int out, uint64_t total, const CopyProgress& progress) {
    uint64_t copied = 0;
    auto told = [&](uint64_t done) {
        if (progress) progress(std::min(done, total), total);
    };
    auto fail = [](int error) -> vb::Error { return ErrorFor(error); };

    // Where the file system shares extents (btrfs, XFS), a clone is the whole
    // copy at once, whatever the size.
    if (kernelCopy_ && total > 0) {
        if (Do(Step::CopyChunk, [&] { return ioctl(out, FICLONE, source); }) == 0) {
            told(total);
            return;
        }
        // Not possible here (another file system, no shared extents, or an
        // injected failure): the data goes by one of the ways below.
    }

    // The kernel copies between the files without passing the data through
    // this process, in large chunks so that progress can be told between
    // them. A file system that cannot do that from the start falls back to
    // the buffer loop.
    constexpr size_t kChunk = size_t{4} << 20;
    bool kernel = kernelCopy_;
    while (kernel) {
        const ssize_t got = Do(Step::CopyChunk, [&] {
            return copy_file_range(source, nullptr, out, nullptr, kChunk, 0);
        });
        if (got < 0) {
            if (errno == EINTR) continue;
            const bool unsupported = errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                                     errno == EOPNOTSUPP || errno == EBADF || errno == EPERM;
            if (copied == 0 && unsupported) break;
            throw fail(errno);
        }
        if (got == 0) {
            // The end of the file; some file systems answer 0 at once for
            // data they cannot copy this way.
            if (copied == 0 && total > 0) break;
            if (copied < total || copied == 0) told(total);  // an empty file reports once
            return;
        }
        copied += static_cast<uint64_t>(got);
        told(copied);
    }

    std::vector<char> buffer(size_t{1} << 20);
    for (;;) {
        ssize_t got = read(source, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            throw fail(errno);
        }
        if (got == 0) break;
        if (const int error = step_ ? step_(Step::CopyChunk) : 0) throw fail(error);
        size_t done = 0;
        while (done < static_cast<size_t>(got)) {
            ssize_t put = write_(out, buffer.data() + done, static_cast<size_t>(got) - done);
            if (put < 0) {
                if (errno == EINTR) continue;
                throw fail(errno);
            }
            if (put == 0) throw vb::DiskFull();
            done += static_cast<size_t>(put);
        }
        copied += static_cast<uint64_t>(got);
        told(copied);
    }
    if (copied < total || copied == 0) told(total);  // an empty file reports once
}

void LinuxFiles::FileCopy(const std::string& Source, const std::string& Destination,
                          const CopyProgress& Progress) {
    const std::string from = paths_.ToHost(Source);
    std::string to = paths_.ToHost(Destination);

    // Only a regular file is opened: opening a device or a pipe can have
    // effects of its own.
    struct stat sourceStat{};
    if (stat(from.c_str(), &sourceStat) != 0) throw errno == ENOENT ? MissingError(from) : ErrorFor(errno);
    if (!S_ISREG(sourceStat.st_mode)) throw vb::PathFileAccessError();
    Fd source(open(from.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!source) throw errno == ENOENT ? MissingError(from) : ErrorFor(errno);
    if (fstat(source.get(), &sourceStat) != 0) throw ErrorFor(errno);
    if (!S_ISREG(sourceStat.st_mode)) throw vb::PathFileAccessError();
    if (HeldByAnotherProcess(source.get())) throw vb::PermissionDenied();

    // A destination that is a link to a file: the file is what gets replaced.
    to = LinkTarget(to);
    const std::string folder = Parent(to);
    struct stat folderStat{};
    if (stat(folder.c_str(), &folderStat) != 0) throw errno == ENOENT ? vb::PathNotFound() : ErrorFor(errno);
    if (!S_ISDIR(folderStat.st_mode)) throw vb::PathNotFound();

    struct stat existing{};
    const bool replacing = stat(to.c_str(), &existing) == 0;
    if (replacing) {
        if (!S_ISREG(existing.st_mode)) throw vb::PathFileAccessError();
        // Windows refuses to copy a file onto itself: it is open as the source.
        if (SameFile(existing, sourceStat)) throw vb::PermissionDenied();
        // A read-only file is not replaced, as on Windows.
        if (faccessat(AT_FDCWD, to.c_str(), W_OK, AT_EACCESS) != 0) throw vb::PermissionDenied();
        if (HeldByAnotherProcess(to)) throw vb::PermissionDenied();
    }

    // Each step below, and what a crash right there leaves behind:
    //  1. the hidden temporary file is created: Destination untouched, an
    //     empty temporary file that the next command removes;
    //  2. the data is copied into it and flushed: Destination untouched, a
    //     partial or whole temporary file that the next command removes;
    //  3. it is renamed over Destination, which the system does at once:
    //     Destination is the old file or the new one, never a mix, and no
    //     moment has no file of that name;
    //  4. the folder is flushed, so that the rename survives a power loss.
    TemporaryFile temporary;
    CopyToTemporary(source.get(), sourceStat, folder, BaseName(to), replacing ? &existing : nullptr,
                    temporary, Progress);
    // The copy took time: a program may have opened the destination since.
    // Replacing it now would leave that program writing to a lost file.
    if (replacing && HeldByAnotherProcess(to)) throw vb::PermissionDenied();
    if (Do(Step::Replace, [&] { return rename(temporary.path.c_str(), to.c_str()); }) != 0)
        throw ErrorFor(errno);
    temporary.Placed();
    // The new file is in place; what follows cannot make the copy undone.
    temporary.fd.Reset();
    SyncFolder(folder);
}

void LinuxFiles::MoveAcrossFileSystems(const std::string& from, const struct stat& fromStat, const std::string& to) {
    if (!S_ISREG(fromStat.st_mode)) throw CantRenameWithDifferentDrive();
    Fd source(open(from.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    if (!source) throw errno == ENOENT ? MissingError(from) : ErrorFor(errno);
    const std::string folder = Parent(to);
    TemporaryFile temporary;
    CopyToTemporary(source.get(), fromStat, folder, BaseName(to), &fromStat, temporary, {});
    // The copy takes the new name only if that name is still free.
    if (Do(Step::Rename, [&] { return RenameNoReplace(temporary.path, to); }) != 0) {
        if (errno == EEXIST) throw vb::FileAlreadyExists();
        if (errno != EINVAL && errno != ENOSYS) throw ErrorFor(errno);
        struct stat tempStat{};
        stat(temporary.path.c_str(), &tempStat);
        RenameNoReplaceFallback(temporary.path, tempStat, to);
    }
    temporary.Placed();
    temporary.fd.Reset();
    SyncFolder(folder);
    if (Do(Step::Unlink, [&] { return unlink(from.c_str()); }) != 0) {
        // The original must not be lost, so the copy goes again.
        int error = errno;
        unlink(to.c_str());
        throw ErrorFor(error);
    }
    SyncFolder(Parent(from));
}

void LinuxFiles::Name(const std::string& OldPath, const std::string& NewPath) {
    const std::string from = paths_.ToHost(OldPath);
    std::string to = paths_.ToHost(NewPath);

    struct stat fromStat{};
    if (lstat(from.c_str(), &fromStat) != 0) throw errno == ENOENT ? MissingError(from) : ErrorFor(errno);
    if (S_ISREG(fromStat.st_mode) && HeldByAnotherProcess(from)) throw vb::PermissionDenied();

    // The new name may be the old one in other letter case ("data.mdb" to
    // "Data.mdb"): mapping found the old file under it, but Windows renames
    // then rather than report that the name is taken.
    struct stat toStat{};
    if (lstat(to.c_str(), &toStat) == 0 && SameFile(toStat, fromStat) && Parent(to) == Parent(from)) {
        std::string written = NewPath;
        size_t cut = written.find_last_of("\\/");
        if (cut != std::string::npos) written = written.substr(cut + 1);
        if (written.empty() || written == "." || written == ".." || written == BaseName(from))
            throw vb::FileAlreadyExists();
        to = Parent(from) + "/" + written;
    }

    if (Do(Step::Rename, [&] { return RenameNoReplace(from, to); }) == 0) {
        SyncFolder(Parent(to));
        if (Parent(from) != Parent(to)) SyncFolder(Parent(from));
        return;
    }
    switch (errno) {
        case EEXIST:
        case ENOTEMPTY:
            throw vb::FileAlreadyExists();
        case ENOENT:
            // The old name was there a moment ago: the new folder is missing.
            throw vb::PathNotFound();
        case EXDEV:
            MoveAcrossFileSystems(from, fromStat, to);
            return;
        case EINVAL:
        case ENOSYS:
            RenameNoReplaceFallback(from, fromStat, to);
            SyncFolder(Parent(to));
            return;
        default:
            throw ErrorFor(errno);
    }
}

bool LinuxFiles::Link(const std::string& Path, const std::string& NewPath) {
    const std::string from = paths_.ToHost(Path);
    const std::string to = paths_.ToHost(NewPath);
    struct stat fromStat{};
    if (stat(from.c_str(), &fromStat) != 0) throw errno == ENOENT ? MissingError(from) : ErrorFor(errno);
    if (!S_ISREG(fromStat.st_mode)) throw vb::PathFileAccessError();
    // A name that is a symbolic link stands for the file it points to, and
    // that file is what FileCopy replaces: the second name is given to it.
    if (Do(Step::Link, [&] { return linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW); }) !=
        0) {
        switch (errno) {
            case EEXIST:
                throw vb::FileAlreadyExists();
            case ENOENT:
                throw MissingError(to);
            // No hard links on this file system (FAT, some network mounts),
            // none to this file, or the new name on another file system.
            case EPERM:
            case EOPNOTSUPP:
            case EMLINK:
            case EXDEV:
                return false;
            default:
                throw ErrorFor(errno);
        }
    }
    SyncFolder(Parent(to));
    return true;
}

bool LinuxFiles::RemoveExtraName(const std::string& ExtraPath, const std::string& Path) {
    const std::string extra = paths_.ToHost(ExtraPath);
    const std::string live = paths_.ToHost(Path);
    struct stat extraStat{}, liveStat{};
    if (lstat(extra.c_str(), &extraStat) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        throw ErrorFor(errno);
    }
    // Without a file at Path, ExtraPath may be the only name its data has.
    if (stat(live.c_str(), &liveStat) != 0 || !S_ISREG(extraStat.st_mode) || !SameFile(extraStat, liveStat))
        return false;
    if (Do(Step::Unlink, [&] { return unlink(extra.c_str()); }) != 0) {
        if (errno == ENOENT) return false;
        throw ErrorFor(errno);
    }
    SyncFolder(Parent(extra));
    return true;
}

void LinuxFiles::RemoveTemporaries(const std::string& Path) {
    if (Path.empty()) return;
    // FileCopy writes beside the file a symbolic link points to.
    const std::string host = LinkTarget(paths_.ToHost(Path));
    const std::string folder = Parent(host);
    const std::string name = BaseName(host);
    DIR* entries = opendir(folder.c_str());
    if (!entries) return;
    bool removed = false;
    const int folderFd = dirfd(entries);
    while (dirent* entry = readdir(entries)) {
        if (!IsTemporaryOf(entry->d_name, name)) continue;
        Fd file(openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat st{}, named{};
        if (!file || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) continue;
        // A copy still running holds its write lock, so this lock fails.
        if (!LockWhole(file.get(), F_RDLCK)) continue;
        // Still the file that was opened (not replaced since).
        if (fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(st, named)) continue;
        if (Do(Step::Unlink, [&] { return unlinkat(folderFd, entry->d_name, 0); }) == 0) removed = true;
    }
    closedir(entries);
    if (removed) SyncFolder(folder);
}

}  // namespace platform
