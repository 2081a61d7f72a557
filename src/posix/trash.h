// The user's trash as freedesktop.org desktops keep it (the Trash rules
// that GNOME, KDE and Qt follow): a file is moved, never
// copied and never deleted, into a trash folder on its own file system, with
// a .trashinfo file that names where it came from, so that the desktop's
// file manager lists it and can put it back.
//
// Which trash takes a file:
//   - the home trash, $XDG_DATA_HOME/Trash (~/.local/share/Trash), for a
//     file on the file system that holds it;
//   - on any other file system, $topdir/.Trash/$uid when the administrator
//     made $topdir/.Trash (a real folder with the sticky bit), else
//     $topdir/.Trash-$uid, $topdir being the top of that file system.
// Each has files/ (the trashed files) and info/ (one NAME.trashinfo for
// each files/NAME). The .trashinfo is created first, exclusively, so that
// two programs trashing the same name at once cannot take the same one;
// then the file is renamed into files/ without replacing anything there.
// A crash between the two leaves an info file without its file, which file
// managers pass over; the file itself stays where it was.
#pragma once

#include <sys/types.h>

#include <string>

#include "ports/environment.h"

namespace posix {

class Trash {
public:
    // env: where the home trash is ($XDG_DATA_HOME when absolute, else
    // $HOME/.local/share); uid: whose trash on other file systems.
    explicit Trash(ports::HostEnvironment env, uid_t uid);

    // Moves the file (not a folder) at hostPath into the trash and returns
    // the host path it has there. Throws vb::Error: 53 no such file (76 no
    // such folder), 70 access denied, 74 when no trash on the file's own
    // file system can be made, 61 disk full, 57/75 anything else. Nothing
    // is left behind when it throws.
    std::string Put(const std::string& hostPath) const;

    // The home trash folder; empty when neither variable gives one.
    std::string HomeTrash() const;

private:
    ports::HostEnvironment env_;
    uid_t uid_;
};

// The text of a .trashinfo: Path percent-encoded as in URLs (bytes other
// than letters, digits, "-_.!~*'()" and "/"), DeletionDate in local time.
std::string TrashInfo(const std::string& path, time_t deleted);

}  // namespace posix
