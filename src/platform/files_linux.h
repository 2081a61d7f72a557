// Files on Linux: Windows paths are mapped through the Wine prefix
// (WinePaths), and "held open by another process" means what it means for a
// Windows program running under Wine: a record lock on the file, or the file
// open inside a wineserver of this user.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/winepaths.h"

namespace platform {

// True when another process holds a POSIX or OFD record lock on any byte of
// the open file fd, or a wineserver of this user has the file open. Closing
// fd afterwards is safe: this process itself holds no record locks on the
// files it serves.
bool HeldByAnotherProcess(int fd);

// The same for a file named by its host path; false when it cannot be found.
bool HeldByAnotherProcess(const std::string& hostPath);

class LinuxFiles : public Files {
public:
    // One write step of a copy: writes up to size bytes of data to fd and
    // returns how many it wrote, or -1 with errno set, as write(2) does.
    using WriteStep = std::function<ssize_t(int fd, const void* data, size_t size)>;

    // paths: how Windows paths map to the host; it must outlive this object.
    // write: the write step of FileCopy, write(2) when empty.
    explicit LinuxFiles(const WinePaths& paths, WriteStep write = {});

    std::string Dir(const std::string& Path) override;
    vb::DateTime FileDateTime(const std::string& Path) override;
    void FileCopy(const std::string& Source, const std::string& Destination,
                  const platform::CopyProgress& Progress = {}) override;
    void Name(const std::string& OldPath, const std::string& NewPath) override;

private:
    class TemporaryFile;

    // Copies the open source file into a new temporary file in folder,
    // flushed to disk, with the given permissions (else those of a new file)
    // and the source's modification time. The temporary file is removed again
    // if anything fails.
    void CopyToTemporary(int source, const struct stat& sourceStat, const std::string& folder,
                         const std::string& name, std::optional<mode_t> mode, TemporaryFile& temporary,
                         const CopyProgress& progress);
    void MoveAcrossFileSystems(const std::string& from, const struct stat& fromStat, const std::string& to);

    const WinePaths& paths_;
    WriteStep write_;
};

}  // namespace platform
