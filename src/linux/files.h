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
#include <vector>

#include "ports/files.h"
#include "wine/windows_paths.h"

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

    // The system calls that change what is on disk, named for what they do.
    enum class Step {
        CreateTemporary,  // FileCopy creates its hidden temporary file
        CopyChunk,        // one chunk of data goes into it (a clone: all at once)
        FlushFile,        // the temporary file is flushed to disk
        Replace,          // it is renamed over the destination
        Rename,           // Name renames a file
        Link,             // Link gives a file its second name
        Unlink,           // RemoveExtraName / RemoveTemporaries remove a name
        FlushFolder,      // a folder is flushed after a rename, link or removal
    };
    // Told before each step runs: returns 0 to let it run, or an errno value
    // that the step then fails with, as if the system call had returned it.
    using StepHook = std::function<int(Step)>;

    // paths: how Windows paths map to the host; it must outlive this object.
    // write: the write step of FileCopy; when given, FileCopy copies through
    // its own buffer loop only, never letting the kernel copy.
    // step: told before every step (see Step); tests stop or fail a command
    // there.
    explicit LinuxFiles(const WinePaths& paths, WriteStep write = {}, StepHook step = {});

    std::string Dir(const std::string& Path) override;
    vb::DateTime FileDateTime(const std::string& Path) override;
    // files_folder.cpp: the files of a folder, sizes and the trash (trash.h).
    std::vector<std::string> FilesIn(const std::string& Folder) override;
    int64_t FileLen(const std::string& Path) override;
    void MoveToTrash(const std::string& Path) override;
    void FileCopy(const std::string& Source, const std::string& Destination,
                  const platform::CopyProgress& Progress = {}) override;
    void Name(const std::string& OldPath, const std::string& NewPath) override;
    bool Link(const std::string& Path, const std::string& NewPath) override;
    bool RemoveExtraName(const std::string& ExtraPath, const std::string& Path) override;
    void RemoveTemporaries(const std::string& Path) override;

private:
    class TemporaryFile;

    // Runs one step: 0 or the result of call(), or -1 with errno set by the
    // step hook.
    template <class Call>
    auto Do(Step step, Call call) -> decltype(call());

    // Copies the open source file into a new temporary file in folder,
    // flushed to disk and still open, with the permissions and group of the
    // file it is to replace (else those of a new file) and the source's
    // modification time. The temporary file is removed again if anything
    // fails.
    void CopyToTemporary(int source, const struct stat& sourceStat, const std::string& folder,
                         const std::string& name, const struct stat* replaced, TemporaryFile& temporary,
                         const CopyProgress& progress);
    // The data itself: a clone, else the kernel's copy, else the buffer loop.
    void CopyData(int source, int out, uint64_t total, const CopyProgress& progress);
    void MoveAcrossFileSystems(const std::string& from, const struct stat& fromStat, const std::string& to);
    // Flushes a folder after a rename, link or removal has taken effect. A
    // failure does not undo it, so it is not reported as if it had failed.
    void SyncFolder(const std::string& folder);

    const WinePaths& paths_;
    WriteStep write_;
    bool kernelCopy_;  // false when a write step was given
    StepHook step_;
};

}  // namespace platform
