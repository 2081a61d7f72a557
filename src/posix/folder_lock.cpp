#include "posix/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>

#include "host/host_files.h"
#include "vb/error.h"

namespace posix {

namespace {

class HeldLock : public ports::FolderLock::Held {
public:
    explicit HeldLock(int fd) : fd_(fd) {}

private:
    host::Fd fd_;  // closing it lets the lock go
};

void Pause(std::chrono::milliseconds length) {
    struct timespec pause{0, static_cast<long>(std::chrono::nanoseconds(length).count())};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

}  // namespace

PosixFolderLock::PosixFolderLock(const wine::WinePaths& paths, LockWait wait, StepHook step)
    : paths_(paths), wait_(wait), steps_(std::move(step)) {}

std::unique_ptr<ports::FolderLock::Held> PosixFolderLock::Take(const std::string& LivePath,
                                                              const std::function<void()>& Waiting) {
    const std::string live = paths_.ToHost(LivePath);
    const std::string folder = host::Parent(host::LinkTarget(live));
    const std::string lockPath = host::Join(folder, kLockFileName);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    bool told = false;

    for (;;) {
        steps_.StopPoint();
        // Read-only is enough for flock, so a lock file another user made
        // can be held too; never through a symbolic link.
        host::Fd fd(steps_.Do(FileStep::OpenLock, [&] {
            return open(lockPath.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644);
        }));
        if (!fd) throw errno == ENOENT ? vb::PathNotFound() : ErrorFor(errno);

        while (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) throw ErrorFor(errno);
            steps_.StopPoint();
            const auto waited = Clock::now() - start;
            if (waited >= wait_.giveUpAfter) throw vb::HeldByCommand();
            if (!told && waited >= wait_.tellAfter) {
                told = true;
                if (Waiting) Waiting();
            }
            Pause(std::chrono::milliseconds(20));
        }
        // Still the file of that name: one removed (by hand) while we waited
        // would lock nothing another command can see.
        struct stat held{}, named{};
        if (fstat(fd.get(), &held) == 0 && lstat(lockPath.c_str(), &named) == 0 && host::SameFile(held, named)) {
            return std::make_unique<HeldLock>(fd.Release());
        }
    }
}

}  // namespace posix
