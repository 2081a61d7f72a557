// The lock of a live database's folder on Linux (ports/folder_lock.h): an
// flock(2) lock on the file ".restore-rolvane-data.lock" in the folder that
// holds the live database (the folder of the file a symbolic link at the live
// name points to: the folder whose file is replaced).
//
// Why this lock:
//   - it is held on an open file, so the kernel drops it when the process
//     ends, however it ends: a kill -9 never leaves a stale lock. The file
//     itself locks nothing while nobody holds it open, so it may stay after
//     the command; its dotted name keeps it out of Wine's listings (hidden)
//     and out of the catalogue (the existence test passes dotted names over);
//   - it is never a lock on bsrv.mdb: the served application locks bytes of
//     that file (POSIX record locks, through Wine) and must never meet ours,
//     and the in-use check (held_open.h) must see only the application's;
//   - flock locks an open file description, so two commands in one process
//     exclude each other as two processes do.
// File systems: on ext4, xfs, btrfs, tmpfs, NTFS (ntfs3, or ntfs-3g through
// FUSE), FAT and exFAT (vfat, exfat, or their FUSE drivers) flock is kept by
// the local kernel, so it excludes every command on this machine. On NFS the
// kernel forwards flock to the server as a lock on the whole file (NFSv4
// LOCK, NLM on NFSv3): it then excludes commands on other clients too, but a
// client cut off from the server may lose it when its lease runs out, and
// a mount with "nolock" keeps it on this machine only. A server that answers
// no locks (ENOLCK) makes Take fail (75 Path/File access error: a failure,
// exit status 1, never "in use") rather than run unguarded.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "posix/file_steps.h"
#include "ports/folder_lock.h"
#include "wine/windows_paths.h"

namespace posix {

inline constexpr const char* kLockFileName = ".restore-rolvane-data.lock";

// How long Take waits for another command, and when it says so.
struct LockWait {
    std::chrono::milliseconds giveUpAfter{5000};
    std::chrono::milliseconds tellAfter{1000};
};

class PosixFolderLock : public ports::FolderLock {
public:
    // paths: how Windows paths map to the host; it must outlive this object.
    // step: told before the lock file is opened (FileStep::OpenLock); tests
    // fail it there.
    explicit PosixFolderLock(const wine::WinePaths& paths, LockWait wait = {}, StepHook step = {});

    // Only locks: nothing beside the live database is looked at or removed.
    std::unique_ptr<Held> Take(const std::string& LivePath, const std::function<void()>& Waiting) override;

private:
    const wine::WinePaths& paths_;
    LockWait wait_;
    Steps steps_;
};

}  // namespace posix
