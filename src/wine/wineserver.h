// Files held open by a Windows program under Wine. Such a program keeps its
// files open inside wineserver, not in its own process, so the wineservers
// of this user are the ones to ask.
//
// Every wineserver holds a POSIX write lock on the file "lock" in its server
// folder for as long as it runs: that lock is how a second wineserver of the
// same prefix knows to stop. The server folder is
// /tmp/.wine-UID/server-DEV-INODE with Wine's own builds, but Debian's Wine
// makes it in a folder of its own under /tmp (named in the prefix's file
// "wineserver"), and a sandboxed Wine (Flatpak) in a /tmp of its own. The
// kernel's list of locks (/proc/locks) names the holder of every lock,
// whatever folder its file is in, so the wineservers are found there without
// looking at every process on the machine.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace wine {

enum class ServerHold {
    kNotOpen,     // no wineserver of this user has the file open
    kOpen,        // one has
    kCannotTell,  // the wineservers or their files could not be looked into
};

// Whether a wineserver of this user (a process named wineserver or
// wineserver64, by its name or its program file) has the file (device,
// inode) open. The wineservers are the holders of locks in locksList (the
// kernel's list); where that list cannot be read, every process of this
// user is looked at instead.
ServerHold FindInWineServer(dev_t device, ino_t inode, const std::string& locksList = "/proc/locks");

// FindInWineServer, where "cannot tell" counts as open: the file is never
// taken for free when that cannot be known.
bool OpenInWineServer(dev_t device, ino_t inode);

// The processes that hold or wait for a lock in the text of the kernel's
// list of locks, each once, in the order of the list. A line reads
// "1: POSIX  ADVISORY  WRITE 5737 fe:00:10956071 0 0" (a waiting lock
// "1: -> POSIX ..."); OFD locks have no process (-1), and a holder outside
// this process's PID namespace shows as 0: neither is listed.
std::vector<pid_t> LockHolders(std::string_view locks);

}  // namespace wine
