// The special folders of the fake shell.
#include "fakes/fakes.h"

namespace fakes {

long FakeShell::GetSpecialFolderLocation(int FolderId, int& Location) {
    failures.Check("GetSpecialFolderLocation");
    if (!folders.count(FolderId)) return 1;
    Location = FolderId;
    return 0;
}

bool FakeShell::GetPathFromIDList(int Location, std::string& Path) {
    failures.Check("GetPathFromIDList");
    if (conversionFails.count(Location)) return false;
    // Like the shell, fill the caller's buffer with a NUL-terminated path.
    std::string path = folders.at(Location);
    Path.replace(0, std::min(Path.size(), path.size() + 1), path + '\0');
    return true;
}

}  // namespace fakes
