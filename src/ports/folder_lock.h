// One command at a time per live database: the lock a command that replaces
// data (Restore, Create Blank, Put Back, Move to Trash) holds on the live
// database's folder from the user's consent to its last step, so that two
// commands that both had consent run one after the other and each keeps
// what it replaced as a numbered copy.
//
// How a command uses it, after consent and before its first step:
//     auto held = sys.lock.Take(LivePath, [&] { say "another restore is running, waiting" });
//     ... look again at what is live, set it aside, copy, undo ...
// and lets `held` go after its last step. Take throws:
//   - vb::HeldByCommand() (70, ErrorKind::HeldByCommand) when another command
//     still holds the lock after a few seconds: "in use" with its own reason,
//     never the served application's in-use text (exit 75 on the command
//     line, a message box in the window);
//   - the error the command's first write would meet where the folder cannot
//     hold the lock file: 76 missing folder, 70 read-only folder or medium,
//     57 I/O error, 75 anything else (ErrorKind::Plain);
//   - vb::Stopped() (18) when a stop signal arrives while it waits
//     (stop_signals.h).
// Nothing is left behind by a Take that throws.
//
// The lock only locks: what a killed command left beside the live database
// is the commands' to tidy, once they hold it (operations/setaside.h).
//
// In production: PosixFolderLock (posix/folder_lock.h), an flock(2) lock on a
// dotted file beside the live database, which the kernel drops with the
// process however it ends. In tests: FakeFolderLock (tests/fakes/fakes.h),
// which "another command" can hold.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace ports {

class FolderLock {
public:
    // The lock while it is held; letting it go releases it.
    class Held {
    public:
        virtual ~Held() = default;
    };

    virtual ~FolderLock() = default;

    // Takes the lock of the folder of the live database at LivePath (a
    // Windows path; the file need not exist), waiting a few seconds while
    // another command holds it. Waiting, when given, is called once, on the
    // calling thread, when Take has waited about a second.
    virtual std::unique_ptr<Held> Take(const std::string& LivePath, const std::function<void()>& Waiting) = 0;
};

}  // namespace ports
