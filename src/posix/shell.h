// The shell's special folders on Linux. With a Wine prefix, the folders a
// 32-bit Windows program in that prefix sees, in Windows form
// ("C:\users\me\Documents"; wine/shell_folders.h). Without a prefix, the
// user's own folders as host paths ("/home/me/Documents"; xdg_folders.h).
#pragma once

#include <optional>
#include <string>

#include "ports/environment.h"
#include "ports/shell.h"

namespace posix {

class PosixShell : public ports::Shell {
public:
    // prefix: the Wine prefix folder (ChoosePrefix), empty for none.
    PosixShell(std::string prefix, ports::HostEnvironment env);

    long GetSpecialFolderLocation(int FolderId, int& Location) override;
    bool GetPathFromIDList(int Location, std::string& Path) override;

    // The folder's path without a trailing separator; nullopt for an id
    // that is not known here.
    std::optional<std::string> FolderPath(int FolderId) const;

private:
    std::string prefix_;
    ports::HostEnvironment env_;
};

}  // namespace posix
