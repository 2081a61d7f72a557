// Files on Linux: Windows paths are mapped through the Wine prefix
// (WinePaths), and "held open by another process" means what it means for a
// Windows program running under Wine (held_open.h). The parts: the data copy
// (copy_data.h), the hidden temporary files and their cleanup
// (temporary_files.h), the steps that change the disk and their errors
// (file_steps.h).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <map>
#include <mutex>
#include <tuple>
#include <optional>
#include <string>
#include <vector>

#include "posix/file_steps.h"
#include "ports/files.h"
#include "wine/windows_paths.h"

namespace posix {

class TemporaryFile;

class PosixFiles : public ports::Files {
public:
    using WriteStep = ::posix::WriteStep;
    using Step = FileStep;
    using StepHook = ::posix::StepHook;

    // paths: how Windows paths map to the host; it must outlive this object.
    // write: the write step of FileCopy; when given, FileCopy copies through
    // its own buffer loop only, never letting the kernel copy.
    // step: told before every step (see FileStep); tests stop or fail a
    // command there.
    explicit PosixFiles(const wine::WinePaths& paths, WriteStep write = {}, StepHook step = {});

    std::string Dir(const std::string& Path) override;
    vb::DateTime FileDateTime(const std::string& Path) override;
    // files_folder.cpp: the files of a folder, sizes and the trash (trash.h).
    std::vector<std::string> FilesIn(const std::string& Folder) override;
    int64_t FileLen(const std::string& Path) override;
    void MoveToTrash(const std::string& Path) override;
    void FileCopy(const std::string& Source, const std::string& Destination,
                  const ports::CopyProgress& Progress = {}) override;
    void Name(const std::string& OldPath, const std::string& NewPath) override;
    void MoveBack(const std::string& OldPath, const std::string& NewPath) override;
    bool HeldOpen(const std::string& Path) override;
    bool Link(const std::string& Path, const std::string& NewPath) override;
    void CopyAside(const std::string& Path, const std::string& NewPath,
                   const ports::CopyProgress& Progress = {}) override;
    bool RemoveExtraName(const std::string& ExtraPath, const std::string& Path) override;
    bool SameFile(const std::string& Path, const std::string& OtherPath) override;
    void RemoveTemporaries(const std::string& Path) override;
    // whole_files.cpp: the program's own small files.
    std::optional<std::string> ReadWhole(const std::string& Path) override;
    void WriteWhole(const std::string& Path, const std::string& Text) override;
    // file_digest.cpp: each file's digest is worked out once while it stays
    // the same file with the same size and modification time.
    std::optional<std::string> ContentDigest(const std::string& Path) override;

private:
    // Copies the open source file into a new temporary file in folder,
    // flushed to disk and still open, with the permissions and group of the
    // file it is to replace (else those of a new file) and the source's
    // modification time. The temporary file is removed again if anything
    // fails.
    void CopyToTemporary(int source, const struct stat& sourceStat, const std::string& folder,
                         const std::string& name, const struct stat* replaced, TemporaryFile& temporary,
                         const ports::CopyProgress& progress);
    void MoveAcrossFileSystems(const std::string& from, const struct stat& fromStat, const std::string& to);
    // Gives the flushed temporary file the name to, never replacing a file
    // there (58), and flushes the folder: false when the flush failed (the
    // name is there, but may not be on the disk).
    bool PlaceWithoutReplacing(TemporaryFile& temporary, const std::string& to);
    // Whether copy is a copy CopyAside made of live, neither of them
    // changed since.
    bool IsAsideCopy(const struct stat& copy, const struct stat& live);

    const wine::WinePaths& paths_;
    WriteStep write_;  // empty: the kernel may copy
    Steps steps_;

    // The copies CopyAside made, and the files they were made of, as they
    // were then: RemoveExtraName removes such a copy only while both are
    // unchanged, when it holds nothing the live file does not. CopyAside
    // may run on another thread than RemoveExtraName.
    struct AsideCopy {
        struct stat copy;
        struct stat live;
    };
    std::vector<AsideCopy> asides_;
    std::mutex asidesLock_;

    // Digests already worked out, by device, inode, size and modification
    // time.
    std::map<std::tuple<dev_t, ino_t, off_t, int64_t, long>, std::string> digests_;
    std::mutex digestsLock_;
};

}  // namespace posix
