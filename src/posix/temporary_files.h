// The hidden temporary files a copy writes before it takes its place, and
// their cleanup after a copy that was killed.
//
// A temporary file is named ".<name>.<16 hex digits>.tmp" after the file it
// is to become, in that file's folder: hidden, so that nobody listing the
// folder takes one for a database, and recognisable, so that leftovers can
// be told from anything else in the folder. While a copy writes it, the copy
// holds a write lock on the whole file: an open file description lock,
// which the kernel drops when the process ends, however it ends. The locks
// are the registry of the temporary files in use, shared by every process:
// a leftover is a temporary file that nobody holds, and only those are
// removed.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <string>

#include "posix/file_steps.h"
#include "host/host_files.h"

namespace posix {

// A temporary file that is removed again unless it was put in place.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        fd.Reset();
        if (!path.empty()) unlink(path.c_str());
    }
    // It has taken its place: it is no longer removed.
    void Placed() { path.clear(); }

    std::string path;
    host::Fd fd;
};

// Creates a new temporary file for name in folder (exclusively, write-only,
// with mode) into temporary and takes its write lock. Throws the error of
// the creation (76 for a missing folder).
void CreateTemporary(const std::string& folder, const std::string& name, mode_t mode, const Steps& steps,
                     TemporaryFile& temporary);

// Removes the temporary files for name in folder that nobody holds and
// that belong to this user. Best effort: never throws.
void RemoveTemporariesOf(const std::string& folder, const std::string& name, const Steps& steps);

}  // namespace posix
