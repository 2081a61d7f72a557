// What the parts of the Linux file services share: the system calls that
// change what is on disk, each told to a hook before it runs (tests stop or
// fail a command there), and the Visual Basic error that a failed system
// call stands for.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <functional>
#include <string>

#include "vb/error.h"

namespace posix {

// The system calls that change what is on disk, named for what they do.
enum class FileStep {
    CreateTemporary,  // a copy creates its hidden temporary file
    CopyChunk,        // one chunk of data goes into it (a clone: all at once)
    FlushFile,        // the temporary file is flushed to disk
    Replace,          // it is renamed over the destination
    Rename,           // Name renames a file
    Link,             // Link gives a file its second name
    Unlink,           // RemoveExtraName / RemoveTemporaries remove a name
    OpenFolder,       // a folder is opened for its flush
    FlushFolder,      // a folder is flushed after a rename, link or removal
    OpenLock,         // a command opens its folder's lock file, made when missing
    OpenToCheck,      // the in-use check opens a file to ask who holds it
};

// Told before each step runs: returns 0 to let it run, or an errno value
// that the step then fails with, as if the system call had returned it.
using StepHook = std::function<int(FileStep)>;

// One write step of a copy: writes up to size bytes of data to fd and
// returns how many it wrote, or -1 with errno set, as write(2) does.
using WriteStep = std::function<ssize_t(int fd, const void* data, size_t size)>;

class Steps {
public:
    explicit Steps(StepHook hook = {}) : hook_(std::move(hook)) {}

    // 0 when step may run, else the errno it is to fail with.
    int Before(FileStep step) const { return hook_ ? hook_(step) : 0; }

    // Runs one step: the result of call(), or -1 with errno set by the hook.
    template <class Call>
    auto Do(FileStep step, Call call) const -> decltype(call()) {
        if (const int error = Before(step)) {
            errno = error;
            return -1;
        }
        return call();
    }

    // Flushes a folder after a rename, link or removal has taken effect. A
    // failure does not undo it. False when the disk failed to save it (EIO,
    // and the like, or the folder could not be opened for it); true when it
    // is saved or the file system cannot flush a folder at all (EINVAL).
    bool SyncFolder(const std::string& folder) const;

    // Throws vb::Stopped() when a stop signal has been noted for the
    // command that runs (host/signal_flag.h): called by a copy between its
    // chunks and before it takes its place, never after.
    void StopPoint() const;

private:
    StepHook hook_;
};

// Where a failed system call is reported: the numbers differ only where a
// line of the table says so.
enum class ErrnoUse {
    FileStep,  // the file services' own steps
    Trash,     // moving a file to the trash (trash.h)
};

// The error a failed system call stands for in the served application.
vb::Error ErrorFor(int error, ErrnoUse use = ErrnoUse::FileStep);

// A file that is not there: 53 when its folder exists, 76 when the folder
// itself is missing.
vb::Error MissingError(const std::string& hostPath);

}  // namespace posix
