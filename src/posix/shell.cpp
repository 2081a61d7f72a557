#include "posix/shell.h"

#include "posix/xdg_folders.h"
#include "wine/shell_folders.h"

namespace posix {

namespace {

constexpr long kUnknownFolder = 0x80070057L;  // E_INVALIDARG, as the shell answers

bool IsKnown(int id) { return id == ports::CSIDL_PERSONAL || id == ports::CSIDL_APPDATA || id == ports::CSIDL_PROGRAM_FILES; }

}  // namespace

PosixShell::PosixShell(std::string prefix, ports::HostEnvironment env) : prefix_(std::move(prefix)), env_(std::move(env)) {}

long PosixShell::GetSpecialFolderLocation(int FolderId, int& Location) {
    if (!IsKnown(FolderId)) return kUnknownFolder;
    Location = FolderId;
    return 0;
}

bool PosixShell::GetPathFromIDList(int Location, std::string& Path) {
    std::optional<std::string> path = FolderPath(Location);
    if (!path) return false;
    Path = *path;
    return true;
}

std::optional<std::string> PosixShell::FolderPath(int FolderId) const {
    if (!IsKnown(FolderId)) return std::nullopt;
    return prefix_.empty() ? XdgFolder(env_, FolderId) : wine::WinePrefixFolder(prefix_, env_.user, FolderId);
}

}  // namespace posix
