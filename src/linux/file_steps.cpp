#include "linux/file_steps.h"

#include <fcntl.h>
#include <unistd.h>

#include "host/host_files.h"

namespace linux {

void Steps::SyncFolder(const std::string& folder) const {
    host::Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return;
    // Some file systems cannot flush a folder at all (EINVAL). Where the
    // flush fails (EIO), the rename is in the folder as the system sees it
    // and will stay there unless the machine loses power now: it is done.
    Do(FileStep::FlushFolder, [&] { return fsync(dir.get()); });
}

vb::Error ErrorFor(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case ETXTBSY:
            return vb::PermissionDenied();
        case ENOSPC:
        case EDQUOT:
            return vb::DiskFull();
        case EIO:
            return vb::DeviceIOError();
        case ENOTDIR:
            return vb::PathNotFound();
        default:
            return vb::PathFileAccessError();
    }
}

vb::Error MissingError(const std::string& hostPath) {
    return host::IsDirectory(host::Parent(hostPath)) ? vb::FileNotFound() : vb::PathNotFound();
}

}  // namespace linux
