#include "posix/held_open.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "host/host_files.h"
#include "posix/file_steps.h"
#include "wine/wineserver.h"

namespace posix {

namespace {

// The check could not look: the error of what it met, told as such.
vb::Error CannotTell(int error, const std::string& what) {
    const vb::Error met = ErrorFor(error);
    return vb::CannotTellIfHeld(met.Number(), what + ": " + met.Description());
}

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
    if (errno == EINVAL) {
        // A kernel without OFD locks: F_GETLK sees other processes' locks.
        query = {};
        query.l_type = F_WRLCK;
        query.l_whence = SEEK_SET;
        if (fcntl(fd, F_GETLK, &query) == 0) return query.l_type != F_UNLCK;
    }
    // A file system that keeps no record locks: nobody can hold one.
    if (errno == EINVAL || errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS) return false;
    throw CannotTell(errno, "its record locks cannot be asked for");
}

bool OpenInWineServer(const struct stat& file) {
    const wine::ServerAnswer answer = wine::FindInWineServer(file);
    if (answer.hold == wine::ServerHold::kCannotTell)
        throw vb::CannotTellIfHeld(ErrorFor(answer.error).Number(), answer.why);
    return answer.hold == wine::ServerHold::kOpen;
}

}  // namespace

bool HeldByAnotherProcess(int fd) {
    struct stat st{};
    if (fstat(fd, &st) != 0) throw CannotTell(errno, "the file cannot be looked at");
    return HasRecordLock(fd) || OpenInWineServer(st);
}

bool HeldByAnotherProcess(const std::string& hostPath, const Steps* steps) {
    auto opened = [&] { return open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); };
    host::Fd fd(steps ? steps->Do(FileStep::OpenToCheck, opened) : opened());
    if (fd) return HeldByAnotherProcess(fd.get());
    if (errno == ENOENT || errno == ENOTDIR) return false;
    // Failing to open it for any reason but its permissions (EIO), the check
    // cannot tell: it fails closed.
    if (errno != EACCES && errno != EPERM) throw CannotTell(errno, "the file cannot be opened to look");
    // Unreadable: no lock can be queried, but wineserver can still be asked.
    struct stat st{};
    if (stat(hostPath.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        throw CannotTell(errno, "the file cannot be looked at");
    }
    return OpenInWineServer(st);
}

}  // namespace posix
