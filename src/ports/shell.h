// The shell's special folders. The two calls mirror the Windows shell's
// two-step lookup (location first, then its file-system path), so that the
// caller can tell a failed lookup from a failed conversion. Linux
// implementation: shell_linux.cpp (Wine prefix registry, else XDG folders).
#pragma once

#include <string>

namespace platform {

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

}  // namespace platform
