// The files of a folder as the existence test counts them, file sizes, and
// moving a file to the user's trash.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "posix/files.h"
#include "posix/trash.h"
#include "vb/error.h"

namespace posix {

std::vector<std::string> PosixFiles::FilesIn(const std::string& Folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(paths_.ToHost(Folder).c_str());
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR) return names;
        throw errno == EACCES || errno == EPERM ? vb::PermissionDenied() : vb::PathFileAccessError();
    }
    // Each entry is put to the existence test itself, so that a file is
    // listed exactly when Dir would find it. A name holding a separator
    // cannot be written as a Windows path of this folder, so no procedure
    // could name it.
    std::string folder = Folder;
    if (folder.empty() || (folder.back() != '\\' && folder.back() != '/')) folder += '\\';
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.find_first_of("\\:") != std::string::npos) continue;
        if (!Dir(folder + name).empty()) names.push_back(name);
    }
    closedir(dir);
    return names;
}

int64_t PosixFiles::FileLen(const std::string& Path) {
    struct stat st{};
    if (stat(paths_.ToHost(Path).c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw vb::FileNotFound();
        throw errno == EACCES ? vb::PermissionDenied() : vb::PathFileAccessError();
    }
    return static_cast<int64_t>(st.st_size);
}

void PosixFiles::MoveToTrash(const std::string& Path) {
    Trash(ports::HostEnvironment::FromProcess(), getuid()).Put(paths_.ToHost(Path));
}

}  // namespace posix
