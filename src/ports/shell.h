// The shell's special folders. The two calls mirror the Windows shell's
// two-step lookup (location first, then its file-system path), so that the
// caller can tell a failed lookup from a failed conversion.
// In production: PosixShell (posix/shell.h), which reads the Wine prefix's
// registry (wine/shell_folders.h), else the XDG folders (posix/xdg_folders.h).
// In tests: FakeShell (tests/fakes/fakes.h), a table of folders.
#pragma once

#include <string>

namespace ports {

enum SpecialFolder : int {
    CSIDL_PERSONAL = 5,
    CSIDL_APPDATA = 26,
    CSIDL_PROGRAM_FILES = 38,
};

class Shell {
public:
    virtual ~Shell() = default;

    // Finds the folder with the given id. Returns 0 and sets Location on
    // success; any other status means the id is unknown here.
    virtual long GetSpecialFolderLocation(int FolderId, int& Location) = 0;

    // The folder's path for a Location from GetSpecialFolderLocation, without
    // a trailing separator (a drive root keeps its own, "C:\"). False when the
    // location has no file-system path.
    virtual bool GetPathFromIDList(int Location, std::string& Path) = 0;
};

// A special folder as the procedures hold it ends in "\", so that a tail
// ("Varnock Rolvane\Data\bsrv.mdb") follows it directly; a path of three
// characters or fewer (a drive root, "C:\") keeps its own ending. True when
// Path, as GetPathFromIDList gives it, takes the "\".
inline bool TakesTrailingSeparator(const std::string& Path) { return Path.size() > 3; }

}  // namespace ports
