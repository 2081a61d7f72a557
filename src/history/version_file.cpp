#include "history/version_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "history/pages.h"
#include "vb/error.h"

namespace history {

namespace {

vb::Error WriteError(int error) {
    if (error == ENOSPC || error == EDQUOT) return vb::DiskFull();
    if (error == EACCES || error == EPERM || error == EROFS) return vb::PermissionDenied();
    return vb::DeviceIOError();
}

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw WriteError(errno);
        data += n;
        size -= static_cast<size_t>(n);
    }
}

}  // namespace

VersionFile::VersionFile(const std::string& folder) {
    fd_.Reset(open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    // A file system without unnamed files: memory instead.
    if (!fd_ && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOENT))
        fd_.Reset(memfd_create("restore-rolvane-data-version", MFD_CLOEXEC));
    if (!fd_) throw WriteError(errno);
}

std::string VersionFile::Path() const {
    return "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(fd_.get());
}

std::string_view VersionFile::Page(size_t n, size_t pageSize, std::string& buffer) const {
    buffer.resize(pageSize);
    size_t got = 0;
    while (got < pageSize) {
        const ssize_t r = pread(fd_.get(), buffer.data() + got, pageSize - got, static_cast<off_t>(n * pageSize + got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) throw vb::DeviceIOError();
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    buffer.resize(got);
    return buffer;
}

Stamp StampOf(const struct stat& st) {
    return {st.st_size, st.st_mtim.tv_sec * int64_t{1000000000} + st.st_mtim.tv_nsec,
            st.st_ctim.tv_sec * int64_t{1000000000} + st.st_ctim.tv_nsec, st.st_dev, st.st_ino};
}

Copied CopyIn(int from, VersionFile& into, const std::function<void()>& stopped) {
    constexpr size_t kChunk = size_t{1} << 20;  // a whole number of pages of either size
    Copied copied;
    Sha256 pageHash, wholeHash;
    std::string chunk(kChunk, '\0');
    if (lseek(into.Fd(), 0, SEEK_SET) != 0 || ftruncate(into.Fd(), 0) != 0) throw vb::DeviceIOError();
    off_t at = 0;
    for (;;) {
        if (stopped) stopped();
        size_t filled = 0;
        while (filled < kChunk) {
            const ssize_t n = pread(from, chunk.data() + filled, kChunk - filled, at + static_cast<off_t>(filled));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw vb::DeviceIOError();
            if (n == 0) break;
            filled += static_cast<size_t>(n);
        }
        if (filled == 0) break;
        if (copied.pageSize == 0) copied.pageSize = PageSizeOf(std::string_view(chunk.data(), filled));
        for (size_t page = 0; page < filled; page += copied.pageSize)
            copied.pages.push_back(pageHash.Of(std::string_view(chunk.data() + page,
                                                                std::min(copied.pageSize, filled - page))));
        wholeHash.Add(chunk.data(), filled);
        WriteAll(into.Fd(), chunk.data(), filled);
        at += static_cast<off_t>(filled);
        if (filled < kChunk) break;
    }
    if (copied.pageSize == 0) copied.pageSize = PageSizeOf({});
    copied.whole = wholeHash.Finish();
    copied.size = at;
    return copied;
}

}  // namespace history
