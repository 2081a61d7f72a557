#include "posix/files.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "posix/copy_data.h"
#include "posix/held_open.h"
#include "host/host_files.h"
#include "posix/temporary_files.h"
#include "vb/error.h"
#include "wine/dos_attributes.h"

namespace posix {

namespace {

// Whether two stat results of one file show the same data: the same size
// and modification time.
bool SameData(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// What link(2) answers where this file can have no second name: none on
// this file system (FAT and exFAT: EPERM from the kernel's drivers, ENOSYS
// or EOPNOTSUPP through FUSE), none to this file (EPERM for a file of
// another user under protected hard links, EMLINK at the link limit), or
// the new name on another file system (EXDEV).
bool NoSecondName(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK || error == EXDEV;
}

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
        if (!NoSecondName(errno)) throw ErrorFor(errno);
    }
    struct stat existing{};
    if (lstat(to.c_str(), &existing) == 0) throw vb::FileAlreadyExists();
    if (rename(from.c_str(), to.c_str()) != 0) throw errno == ENOENT ? vb::PathNotFound() : ErrorFor(errno);
}

}  // namespace

PosixFiles::PosixFiles(const wine::WinePaths& paths, WriteStep write, StepHook step)
    : paths_(paths), write_(std::move(write)), steps_(std::move(step)) {}

std::string PosixFiles::Dir(const std::string& Path) {
    if (Path.empty()) return "";
    std::string host = paths_.ToHost(Path);
    std::string name = host::BaseName(host);
    if (name.empty() || name[0] == '.') return "";
    struct stat st{};
    if (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "";
    if (wine::HiddenOrSystem(host)) return "";
    return name;
}

vb::DateTime PosixFiles::FileDateTime(const std::string& Path) {
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

void PosixFiles::CopyToTemporary(int source, const struct stat& sourceStat, const std::string& folder,
                                 const std::string& name, const struct stat* replaced,
                                 TemporaryFile& temporary, const ports::CopyProgress& progress) {
    // Only the owner may read it until it has the permissions it is to keep.
    CreateTemporary(folder, name, replaced ? S_IRUSR | S_IWUSR : 0666, steps_, temporary);
    const int out = temporary.fd.get();

    CopyData(source, out, static_cast<uint64_t>(sourceStat.st_size), progress, steps_, write_);

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
        if (fchmod(out, mode) != 0) {
            // A file system that keeps no permissions of its own (FAT and
            // exFAT through FUSE answer ENOSYS) gives every file the same
            // ones, as it gave the file being replaced: the copy goes, but
            // never more open than asked for.
            const int error = errno;
            struct stat given{};
            if (fstat(out, &given) != 0 || (given.st_mode & 07777 & ~mode) != 0) throw ErrorFor(error);
        }
    }
    // The source's modification time, as a Windows copy keeps it.
    struct timespec times[2] = {{0, UTIME_OMIT}, sourceStat.st_mtim};
    if (futimens(out, times) != 0) throw ErrorFor(errno);
    if (steps_.Do(FileStep::FlushFile, [&] { return fsync(out); }) != 0) throw ErrorFor(errno);
}

void PosixFiles::FileCopy(const std::string& Source, const std::string& Destination,
                          const ports::CopyProgress& Progress) {
    const std::string from = paths_.ToHost(Source);
    std::string to = paths_.ToHost(Destination);

    // Only a regular file is opened: opening a device or a pipe can have
    // effects of its own.
    struct stat sourceStat{};
    if (stat(from.c_str(), &sourceStat) != 0) throw errno == ENOENT ? MissingError(from) : ErrorFor(errno);
    if (!S_ISREG(sourceStat.st_mode)) throw vb::PathFileAccessError();
    host::Fd source(open(from.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!source) throw errno == ENOENT ? MissingError(from) : ErrorFor(errno);
    if (fstat(source.get(), &sourceStat) != 0) throw ErrorFor(errno);
    if (!S_ISREG(sourceStat.st_mode)) throw vb::PathFileAccessError();
    if (HeldByAnotherProcess(source.get())) throw vb::HeldByProgram();

    // A destination that is a link to a file: the file is what gets replaced.
    to = host::LinkTarget(to);
    const std::string folder = host::Parent(to);
    struct stat folderStat{};
    if (stat(folder.c_str(), &folderStat) != 0) throw errno == ENOENT ? vb::PathNotFound() : ErrorFor(errno);
    if (!S_ISDIR(folderStat.st_mode)) throw vb::PathNotFound();

    struct stat existing{};
    const bool replacing = stat(to.c_str(), &existing) == 0;
    if (replacing) {
        if (!S_ISREG(existing.st_mode)) throw vb::PathFileAccessError();
        // A file is never copied onto itself: nothing anybody holds, and
        // no wait mends it.
        if (host::SameFile(existing, sourceStat)) throw vb::PathFileAccessError();
        // A read-only file is not replaced, as on Windows: Wine shows a file
        // without any write permission as read-only, whoever asks (root too).
        if ((existing.st_mode & 0222) == 0) throw vb::PermissionDenied();
        if (faccessat(AT_FDCWD, to.c_str(), W_OK, AT_EACCESS) != 0)
            throw errno == EACCES ? vb::PermissionDenied() : ErrorFor(errno);
        if (HeldByAnotherProcess(to, &steps_)) throw vb::HeldByProgram();
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
    // A stop signal is acted on between the chunks and before step 3, never
    // after it: the temporary file goes, Destination stays as it was.
    steps_.StopPoint();
    TemporaryFile temporary;
    CopyToTemporary(source.get(), sourceStat, folder, host::BaseName(to), replacing ? &existing : nullptr,
                    temporary, Progress);
    // The copy took time: a program may have opened the destination since.
    // Replacing it now would leave that program writing to a lost file.
    if (replacing && HeldByAnotherProcess(to, &steps_)) throw vb::HeldByProgram();
    steps_.StopPoint();
    if (steps_.Do(FileStep::Replace, [&] { return rename(temporary.path.c_str(), to.c_str()); }) != 0)
        throw ErrorFor(errno);
    temporary.Placed();
    // The new file is in place; what follows cannot make the copy undone,
    // but the user is to know when the disk may not have kept it.
    temporary.fd.Reset();
    if (!steps_.SyncFolder(folder)) throw vb::NewDataNotSaved();
}

bool PosixFiles::PlaceWithoutReplacing(TemporaryFile& temporary, const std::string& to) {
    // The copy takes the new name only if that name is still free.
    if (steps_.Do(FileStep::Rename, [&] { return RenameNoReplace(temporary.path, to); }) != 0) {
        if (errno == EEXIST) throw vb::FileAlreadyExists();
        if (errno != EINVAL && errno != ENOSYS) throw ErrorFor(errno);
        struct stat tempStat{};
        stat(temporary.path.c_str(), &tempStat);
        RenameNoReplaceFallback(temporary.path, tempStat, to);
    }
    temporary.Placed();
    temporary.fd.Reset();
    return steps_.SyncFolder(host::Parent(to));
}

void PosixFiles::CopyAside(const std::string& Path, const std::string& NewPath, const ports::CopyProgress& Progress) {
    // A name that is a symbolic link stands for the file it points to, as
    // for Link: that file is copied.
    const std::string live = paths_.ToHost(Path);
    const std::string to = paths_.ToHost(NewPath);
    struct stat liveStat{};
    if (stat(live.c_str(), &liveStat) != 0) throw errno == ENOENT ? MissingError(live) : ErrorFor(errno);
    if (!S_ISREG(liveStat.st_mode)) throw vb::PathFileAccessError();
    host::Fd source(open(live.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!source) throw errno == ENOENT ? MissingError(live) : ErrorFor(errno);
    if (fstat(source.get(), &liveStat) != 0) throw ErrorFor(errno);
    if (!S_ISREG(liveStat.st_mode)) throw vb::PathFileAccessError();
    // A file the served application has open may change under the copy.
    if (HeldByAnotherProcess(source.get())) throw vb::HeldByProgram();
    const std::string folder = host::Parent(to);
    if (!host::IsDirectory(folder)) throw vb::PathNotFound();
    struct stat taken{};
    if (lstat(to.c_str(), &taken) == 0) throw vb::FileAlreadyExists();  // before a long copy, not after

    // Each step, and what a crash right there leaves behind: the live file
    // is only read, so it stays whole and in place throughout.
    //  1. the hidden temporary file, named after the live file, is created
    //     and the data copied into it and flushed: a partial or whole
    //     temporary file that the next command removes;
    //  2. it takes the new name, which is never replaced: the numbered copy
    //     is there, whole;
    //  3. the folder is flushed, so that the new name survives a power loss.
    // A stop signal is acted on between the chunks and before step 2.
    steps_.StopPoint();
    TemporaryFile temporary;
    CopyToTemporary(source.get(), liveStat, folder, host::BaseName(live), &liveStat, temporary, Progress);
    // The copy took time: had the application opened or changed the file
    // meanwhile, the copy might not be the data it now holds.
    struct stat after{};
    if (HeldByAnotherProcess(source.get())) throw vb::HeldByProgram();
    if (fstat(source.get(), &after) != 0) throw ErrorFor(errno);
    if (!SameData(after, liveStat)) throw vb::HeldByProgram();
    steps_.StopPoint();
    struct stat copyStat{};
    const bool known = fstat(temporary.fd.get(), &copyStat) == 0;
    const bool saved = PlaceWithoutReplacing(temporary, to);
    if (known) {
        const std::lock_guard<std::mutex> lock(asidesLock_);
        asides_.push_back({copyStat, liveStat});
    }
    if (!saved) throw vb::ChangeNotSaved();
}

void PosixFiles::MoveAcrossFileSystems(const std::string& from, const struct stat& fromStat, const std::string& to) {
    if (!S_ISREG(fromStat.st_mode)) throw vb::DifferentDrive();
    host::Fd source(open(from.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    if (!source) throw errno == ENOENT ? MissingError(from) : ErrorFor(errno);
    const std::string folder = host::Parent(to);
    TemporaryFile temporary;
    CopyToTemporary(source.get(), fromStat, folder, host::BaseName(to), &fromStat, temporary, {});
    const bool placed = PlaceWithoutReplacing(temporary, to);
    if (steps_.Do(FileStep::Unlink, [&] { return unlink(from.c_str()); }) != 0) {
        // The original must not be lost, so the copy goes again.
        int error = errno;
        unlink(to.c_str());
        throw ErrorFor(error);
    }
    if (!steps_.SyncFolder(host::Parent(from)) || !placed) throw vb::ChangeNotSaved();
}

void PosixFiles::Name(const std::string& OldPath, const std::string& NewPath) {
    const std::string from = paths_.ToHost(OldPath);
    std::string to = paths_.ToHost(NewPath);

    struct stat fromStat{};
    if (lstat(from.c_str(), &fromStat) != 0) throw errno == ENOENT ? MissingError(from) : ErrorFor(errno);
    if (S_ISREG(fromStat.st_mode) && HeldByAnotherProcess(from, &steps_)) throw vb::HeldByProgram();

    // The new name may be the old one in other letter case ("data.mdb" to
    // "Data.mdb"): mapping found the old file under it, but Windows renames
    // then rather than report that the name is taken.
    struct stat toStat{};
    if (lstat(to.c_str(), &toStat) == 0 && host::SameFile(toStat, fromStat) && host::Parent(to) == host::Parent(from)) {
        std::string written = NewPath;
        size_t cut = written.find_last_of("\\/");
        if (cut != std::string::npos) written = written.substr(cut + 1);
        if (written.empty() || written == "." || written == ".." || written == host::BaseName(from))
            throw vb::FileAlreadyExists();
        to = host::Parent(from) + "/" + written;
    }

    if (steps_.Do(FileStep::Rename, [&] { return RenameNoReplace(from, to); }) == 0) {
        bool saved = steps_.SyncFolder(host::Parent(to));
        if (host::Parent(from) != host::Parent(to)) saved = steps_.SyncFolder(host::Parent(from)) && saved;
        if (!saved) throw vb::ChangeNotSaved();
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
            if (!steps_.SyncFolder(host::Parent(to))) throw vb::ChangeNotSaved();
            return;
        default:
            throw ErrorFor(errno);
    }
}

void PosixFiles::MoveBack(const std::string& OldPath, const std::string& NewPath) {
    const std::string from = paths_.ToHost(OldPath);
    const std::string to = paths_.ToHost(NewPath);
    if (steps_.Do(FileStep::Rename, [&] { return RenameNoReplace(from, to); }) != 0) {
        if (errno == EEXIST) throw vb::FileAlreadyExists();
        if (errno == ENOENT) throw MissingError(from);
        if (errno != EINVAL && errno != ENOSYS) throw ErrorFor(errno);
        struct stat fromStat{};
        if (lstat(from.c_str(), &fromStat) != 0) throw errno == ENOENT ? MissingError(from) : ErrorFor(errno);
        RenameNoReplaceFallback(from, fromStat, to);
    }
    if (!steps_.SyncFolder(host::Parent(to))) throw vb::ChangeNotSaved();
}

bool PosixFiles::HeldOpen(const std::string& Path) { return HeldByAnotherProcess(paths_.ToHost(Path), &steps_); }

bool PosixFiles::Link(const std::string& Path, const std::string& NewPath) {
    const std::string from = paths_.ToHost(Path);
    const std::string to = paths_.ToHost(NewPath);
    struct stat fromStat{};
    if (stat(from.c_str(), &fromStat) != 0) throw errno == ENOENT ? MissingError(from) : ErrorFor(errno);
    if (!S_ISREG(fromStat.st_mode)) throw vb::PathFileAccessError();
    // A name that is a symbolic link stands for the file it points to, and
    // that file is what FileCopy replaces: the second name is given to it.
    if (steps_.Do(FileStep::Link, [&] { return linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW); }) !=
        0) {
        switch (errno) {
            case EEXIST:
                throw vb::FileAlreadyExists();
            case ENOENT:
                throw MissingError(to);
            default:
                if (NoSecondName(errno)) return false;
                throw ErrorFor(errno);
        }
    }
    if (!steps_.SyncFolder(host::Parent(to))) throw vb::ChangeNotSaved();
    return true;
}

bool PosixFiles::SameFile(const std::string& Path, const std::string& OtherPath) {
    struct stat a{}, b{};
    return stat(paths_.ToHost(Path).c_str(), &a) == 0 && stat(paths_.ToHost(OtherPath).c_str(), &b) == 0 &&
           S_ISREG(a.st_mode) && host::SameFile(a, b);
}

bool PosixFiles::RemoveExtraName(const std::string& ExtraPath, const std::string& Path) {
    const std::string extra = paths_.ToHost(ExtraPath);
    const std::string live = paths_.ToHost(Path);
    struct stat extraStat{}, liveStat{};
    if (lstat(extra.c_str(), &extraStat) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        throw ErrorFor(errno);
    }
    // Without a file at Path, ExtraPath may be the only name its data has.
    if (stat(live.c_str(), &liveStat) != 0 || !S_ISREG(extraStat.st_mode)) return false;
    if (!host::SameFile(extraStat, liveStat) && !IsAsideCopy(extraStat, liveStat)) return false;
    if (steps_.Do(FileStep::Unlink, [&] { return unlink(extra.c_str()); }) != 0) {
        if (errno == ENOENT) return false;
        throw ErrorFor(errno);
    }
    // A removal the disk failed to save comes back at worst as a second
    // name, which the next command tidies away.
    steps_.SyncFolder(host::Parent(extra));
    return true;
}

bool PosixFiles::IsAsideCopy(const struct stat& copy, const struct stat& live) {
    const std::lock_guard<std::mutex> lock(asidesLock_);
    return std::any_of(asides_.begin(), asides_.end(), [&](const AsideCopy& aside) {
        return host::SameFile(aside.copy, copy) && SameData(aside.copy, copy) && host::SameFile(aside.live, live) &&
               SameData(aside.live, live);
    });
}

void PosixFiles::RemoveTemporaries(const std::string& Path) {
    if (Path.empty()) return;
    // FileCopy writes beside the file a symbolic link points to; CopyAside
    // writes beside the link, under the link's name.
    const std::string host = paths_.ToHost(Path);
    const std::string target = host::LinkTarget(host);
    RemoveTemporariesOf(host::Parent(target), host::BaseName(target), steps_);
    if (target != host) RemoveTemporariesOf(host::Parent(host), host::BaseName(host), steps_);
}

}  // namespace posix
