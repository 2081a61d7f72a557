// A database's bytes while the store takes or gives them: a file in the
// store's own private folder (tmp/, rwx for the user alone), outside every
// Wine prefix, so that nothing else sees it. The sandboxed reader opens it
// by its name, read-only as it opens every file (its Landlock domain may not
// reach into this process's /proc/<pid>/fd).
//   - It is made without a name (O_TMPFILE) and locked (flock) before it is
//     given one, so that a name always stands for a file some process holds
//     until that process ends.
//   - It is removed when it goes; one a killed process left (no process
//     holds its lock) is removed by the next store opened (RemoveLeftovers).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "history/digest.h"
#include "host/host_files.h"

namespace history {

class VersionFile {
public:
    // folder: the store's. With a name, the file has that name, in a
    // private folder of its own (tmp/.version-<random>/<name>), for a command
    // that shows it (Put Back names the copy it puts back). Throws the error
    // of the file system (61 full, 70 denied, 57 I/O).
    explicit VersionFile(const std::string& folder, const std::string& name = {});
    ~VersionFile();
    VersionFile(const VersionFile&) = delete;
    VersionFile& operator=(const VersionFile&) = delete;
    int Fd() const { return fd_.get(); }
    // Where another process of this user opens it.
    const std::string& Path() const { return path_; }

private:
    host::Fd fd_;
    std::string path_;
    std::string ownFolder_;  // with a name: the folder made for it
};

// Removes from the store's folder the version files that no process holds.
// Best effort: never throws.
void RemoveLeftovers(const std::string& folder);

// What tells that a file changed: its size, its dates and which file it is.
struct Stamp {
    int64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    uint64_t device = 0, inode = 0;
    bool operator==(const Stamp&) const = default;
};
Stamp StampOf(const struct stat& st);

// A file read once: its pages' hashes in order, its page size and its
// whole hash.
struct Hashed {
    std::vector<Digest> pages;
    size_t pageSize = 0;
    Digest whole{};
    int64_t size = 0;
};

// Reads the open file fd from its start, writing nothing; `stopped` is
// asked between chunks (it throws to stop). Throws 57 on a read error.
Hashed HashPages(int fd, const std::function<void()>& stopped);

// Page n of pageSize bytes of the open file fd (the last may be shorter),
// into buffer. Throws 57 on a read error.
std::string_view ReadPage(int fd, size_t n, size_t pageSize, std::string& buffer);

}  // namespace history
