#include "posix/file_steps.h"

#include <fcntl.h>
#include <unistd.h>

#include "host/host_files.h"
#include "host/signal_flag.h"

namespace posix {

bool Steps::SyncFolder(const std::string& folder) const {
    // A folder that cannot be opened for its flush is not known to be saved.
    host::Fd dir(Do(FileStep::OpenFolder, [&] { return open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (!dir) return false;
    if (Do(FileStep::FlushFolder, [&] { return fsync(dir.get()); }) == 0) return true;
    // Some file systems cannot flush a folder at all (EINVAL, and EROFS or
    // EOPNOTSUPP through some FUSE drivers): nothing was lost by asking.
    // Anything else (EIO) means the change may not be on the disk.
    return errno == EINVAL || errno == EROFS || errno == EOPNOTSUPP || errno == EBADF;
}

void Steps::StopPoint() const {
    if (host::StopRequested()) throw vb::Stopped();
}

namespace {

using MakeError = vb::Error (*)();

// The one table from errno values to Visual Basic errors. A line with a
// second builder says what that errno means in the trash instead.
struct ErrnoLine {
    int error;
    MakeError fileStep;
    MakeError trash;  // null: as for a file step
};

constexpr ErrnoLine kErrnoTable[] = {
    {EACCES, vb::PermissionDenied, nullptr},
    {EPERM, vb::PermissionDenied, nullptr},
    // A write-protected medium: Windows says Permission denied.
    {EROFS, vb::PermissionDenied, nullptr},
    {ETXTBSY, vb::PermissionDenied, nullptr},
    {ENOSPC, vb::DiskFull, nullptr},
    {EDQUOT, vb::DiskFull, nullptr},
    // A file larger than the file system takes (FAT's 4 GB): Windows says
    // the disk is full.
    {EFBIG, vb::DiskFull, nullptr},
    {EIO, vb::DeviceIOError, nullptr},
    {ENOTDIR, vb::PathNotFound, nullptr},
    // The file steps tell a missing file from a missing folder before they
    // get here (MissingError); the trash is asked to move one file, and that
    // file is what is missing.
    {ENOENT, vb::PathFileAccessError, vb::FileNotFound},
    // A trash on another file system cannot take the file by a rename.
    {EXDEV, vb::PathFileAccessError, vb::DifferentDrive},
};

}  // namespace

vb::Error ErrorFor(int error, ErrnoUse use) {
    for (const ErrnoLine& line : kErrnoTable) {
        if (line.error != error) continue;
        return use == ErrnoUse::Trash && line.trash ? line.trash() : line.fileStep();
    }
    return vb::PathFileAccessError();
}

vb::Error MissingError(const std::string& hostPath) {
    return host::IsDirectory(host::Parent(hostPath)) ? vb::FileNotFound() : vb::PathNotFound();
}

}  // namespace posix
