#include "jet/reader/output.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "jet/reader/failure.h"
#include "jet/reader_protocol.h"

namespace jet::reader {

void Output::Frame(char tag, const std::string& payload) {
    PutFrame(buf_, tag, payload);
    if (buf_.size() >= 64 * 1024) Flush();
}

void Output::Flush() {
    size_t off = 0;
    while (off < buf_.size()) {
        ssize_t n = write(kProtocolFd, buf_.data() + off, buf_.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(3);  // the window's process went away
        off += static_cast<size_t>(n);
    }
    buf_.clear();
}

void Noise::Capture() {
    int fd = memfd_create("libmdb-output", MFD_CLOEXEC);
    if (fd < 0) fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (fd < 0) _exit(4);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    close(fd);
}

void Noise::Begin() {
    fflush(stdout);
    fflush(stderr);
    start_ = Size();
}

bool Noise::Grew() {
    fflush(stdout);
    fflush(stderr);
    return Size() > start_;
}

void Noise::Check() {
    if (Grew()) {
        char text[200] = {};
        ssize_t n = pread(STDOUT_FILENO, text, sizeof text - 1, start_);
        std::string first = n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
        first = first.substr(0, first.find('\n'));
        Damaged("libmdb reported: " + first);
    }
}

off_t Noise::Size() {
    struct stat st {};
    return fstat(STDOUT_FILENO, &st) == 0 ? st.st_size : 0;
}

}  // namespace jet::reader
