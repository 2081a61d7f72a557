// Small helpers over host paths and descriptors, written once for every
// part of the tree that reads the host's files directly (the Linux file
// services, the Wine prefix readers). Paths here are host paths ("/home/..."),
// never Windows paths.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace host {

// An open file descriptor, closed when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Reset(); }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }
    // Gives the descriptor up without closing it.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor and reports the error of close(2), which on some
    // file systems is where a failed write shows up.
    int Close() {
        int result = close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// The folder part of path: "." without a "/", "/" for a name in the root.
std::string Parent(const std::string& path);

// The last component of path (everything after its last "/").
std::string BaseName(const std::string& path);

// The file a symbolic link at path points to, else path itself.
std::string LinkTarget(const std::string& path);

// Whether path names (after following links) a folder, or a regular file.
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);

// folder + "/" + name, with one separator; name alone when folder is empty
// (the working folder).
std::string Join(const std::string& folder, const std::string& name);

// path without trailing "/"; the root keeps its own.
std::string WithoutTrailingSlash(std::string path);

// Whether two stat results describe the same file.
inline bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace host
