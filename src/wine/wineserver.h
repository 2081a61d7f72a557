// Files held open by a Windows program under Wine. Such a program keeps its
// files open inside wineserver, not in its own process, so the wineservers
// are the ones to ask.
//
// A wineserver is known by what it does, not by its name (Debian starts
// wineserver32 or wineserver64, builds under /opt/wine-* and Proton start
// their own): every wineserver holds a POSIX write lock on the file "lock"
// in its server folder for as long as it runs, which is how a second
// wineserver of the same prefix knows to stop. The server folder is
// <tmp>/.wine-UID/server-DEV-INODE with Wine's own builds, and
// /tmp/wine-XXXXXX/server-DEV-INODE with Debian's; a sandboxed Wine
// (Flatpak) has a /tmp of its own. The kernel's list of locks (/proc/locks)
// names the holder of every POSIX lock and the locked file (device, inode),
// so a holder is a wineserver when the file it locks is such a lock file:
// found in the server folders of the temporary folders, or, for a holder
// with a /tmp of its own, in that one (through /proc/PID/root). A holder
// whose lock file is out of sight (another user's server folder) is taken
// for a wineserver by its name (comm or program file "wineserver*"). Where
// the list of locks cannot be read, every process is looked at, by its name
// alone. Only the wineservers' open files are looked through.
//
// A wineserver of another user counts only where that user could open the
// file (by its owner, group and mode; root always can): it then holds the
// file, or, when its open files cannot be read, nobody can tell.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace wine {

enum class ServerHold {
    kNotOpen,     // no wineserver has the file open
    kOpen,        // one has
    kCannotTell,  // a wineserver that may hold it, or the processes, could not be looked into
};

struct ServerAnswer {
    ServerHold hold = ServerHold::kNotOpen;
    pid_t pid = 0;     // kOpen, kCannotTell: the process (0 when no one process is meant)
    int error = 0;     // kCannotTell: the errno of what could not be read
    std::string why;   // kCannotTell: what could not be read and why, as a sentence's end
};

// Where the processes are looked at: the process file system, and the
// temporary folders whose Wine server folders are looked through. Tests
// point both at trees of their own.
struct ProcessView {
    std::string proc = "/proc";
    std::vector<std::string> temporaryFolders = {"/tmp"};

    // /proc, with /tmp and $TMPDIR (where set and not /tmp).
    static ProcessView OfHost();
};

// Whether a wineserver has the file (as fstat gave it) open.
ServerAnswer FindInWineServer(const struct stat& file, const ProcessView& view = ProcessView::OfHost());

// One line of the kernel's list of locks, "1: POSIX  ADVISORY  WRITE 5737
// fe:00:10956071 0 0" (a waiting lock "1: -> POSIX ..."): the holder, whether
// it is a POSIX record lock (as wineserver takes) rather than flock or OFD,
// and the locked file's device (major:minor, hex) and inode.
struct LockLine {
    pid_t pid = 0;
    bool posix = false;
    dev_t device = 0;
    ino_t inode = 0;
};

// The lines of the list of locks that name a holder. OFD locks have no
// process (-1), and a holder outside this process's PID namespace shows as
// 0: neither is listed, nor a line that does not read as one.
std::vector<LockLine> ParseLocks(std::string_view locks);

// Whether path names the lock file of a Wine server folder:
// ".../.wine-UID/server-DEV-INODE/lock" or ".../wine-XXXXXX/server-DEV-INODE/lock".
bool IsServerLockPath(std::string_view path);

// Whether a process of this name (comm, or its program file's name) is
// taken for a wineserver where nothing better tells: "wineserver*".
bool IsWineServerName(std::string_view name);

// Whether a process of user uid, group gid and supplementary groups could
// open a file of this owner, group and mode for reading or writing.
bool CouldOpen(const struct stat& file, uid_t uid, gid_t gid, const std::vector<gid_t>& groups);

}  // namespace wine
