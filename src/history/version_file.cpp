#include "history/version_file.h"

#include <fcntl.h>
#include <dirent.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <future>

#include "history/pages.h"
#include "vb/error.h"

namespace history {

namespace {

vb::Error WriteError(int error) {
    if (error == ENOSPC || error == EDQUOT) return vb::DiskFull();
    if (error == EACCES || error == EPERM || error == EROFS) return vb::PermissionDenied();
    return vb::DeviceIOError();
}

constexpr const char* kPrivateFolder = "tmp";
constexpr const char* kPrefix = ".version-";

std::string RandomName() {
    uint64_t bits = 0;
    if (getentropy(&bits, sizeof bits) != 0)
        bits = static_cast<uint64_t>(getpid()) << 32 ^ static_cast<uint64_t>(time(nullptr));
    static const char kHex[] = "0123456789abcdef";
    std::string name = kPrefix;
    for (int n = 0; n < 16; ++n, bits >>= 4) name += kHex[bits & 15];
    return name + ".mdb";
}

}  // namespace

VersionFile::VersionFile(const std::string& folder, const std::string& name) {
    std::string tmp = host::Join(folder, kPrivateFolder);
    if (mkdir(tmp.c_str(), 0700) != 0 && errno != EEXIST) throw WriteError(errno);
    for (int attempt = 0; !name.empty() && ownFolder_.empty(); ++attempt) {
        const std::string own = host::Join(tmp, RandomName());
        if (mkdir(own.c_str(), 0700) == 0) ownFolder_ = own;
        else if (errno != EEXIST || attempt == 100) throw WriteError(errno);
    }
    if (!ownFolder_.empty()) tmp = ownFolder_;
    fd_.Reset(open(tmp.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    const bool unnamed = static_cast<bool>(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = host::Join(tmp, name.empty() ? RandomName() : name);
        if (unnamed) {
            if (flock(fd_.get(), LOCK_EX) != 0) throw WriteError(errno);
            const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
            if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                path_ = path;
                return;
            }
        } else {
            // A file system without unnamed files: named at once, locked
            // straight after.
            fd_.Reset(open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (fd_) {
                path_ = path;
                if (flock(fd_.get(), LOCK_EX) != 0) throw WriteError(errno);
                return;
            }
        }
        if (errno != EEXIST || !name.empty()) throw WriteError(errno);
    }
    throw vb::FileAlreadyExists();
}

VersionFile::~VersionFile() {
    if (!path_.empty()) unlink(path_.c_str());
    if (!ownFolder_.empty()) rmdir(ownFolder_.c_str());
}

namespace {

// Removes the version file at path unless a process holds it.
void RemoveUnheld(const std::string& path) {
    host::Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd && flock(fd.get(), LOCK_EX | LOCK_NB) == 0) unlink(path.c_str());
}

template <typename Each>
void ForEachIn(const std::string& folder, Each each) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") each(name, entry->d_type);
    }
    closedir(dir);
}

}  // namespace

void RemoveLeftovers(const std::string& folder) {
    const std::string tmp = host::Join(folder, kPrivateFolder);
    ForEachIn(tmp, [&](const std::string& name, unsigned char type) {
        if (name.rfind(kPrefix, 0) != 0) return;
        const std::string path = host::Join(tmp, name);
        if (type != DT_DIR) return RemoveUnheld(path);
        // A named file's own folder: removed once empty.
        ForEachIn(path, [&](const std::string& inner, unsigned char) { RemoveUnheld(host::Join(path, inner)); });
        rmdir(path.c_str());
    });
}

std::string_view ReadPage(int fd, size_t n, size_t pageSize, std::string& buffer) {
    buffer.resize(pageSize);
    size_t got = 0;
    while (got < pageSize) {
        const ssize_t r = pread(fd, buffer.data() + got, pageSize - got, static_cast<off_t>(n * pageSize + got));
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

Hashed HashPages(int fd, const std::function<void()>& stopped) {
    constexpr size_t kChunk = size_t{1} << 20;  // a whole number of pages of either size
    Hashed hashed;
    Sha256 pageHash, wholeHash;
    std::string chunk(kChunk, '\0');
    off_t at = 0;
    for (;;) {
        if (stopped) stopped();
        size_t filled = 0;
        while (filled < kChunk) {
            const ssize_t n = pread(fd, chunk.data() + filled, kChunk - filled, at + static_cast<off_t>(filled));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw vb::DeviceIOError();
            if (n == 0) break;
            filled += static_cast<size_t>(n);
        }
        if (filled == 0) break;
        if (hashed.pageSize == 0) hashed.pageSize = PageSizeOf(std::string_view(chunk.data(), filled));
        // The whole file's hash on a second core while this one hashes
        // the pages: the same bytes, hashed twice in the time of once.
        std::future<void> whole =
            std::async(std::launch::async, [&wholeHash, &chunk, filled] { wholeHash.Add(chunk.data(), filled); });
        for (size_t page = 0; page < filled; page += hashed.pageSize)
            hashed.pages.push_back(
                pageHash.Of(std::string_view(chunk.data() + page, std::min(hashed.pageSize, filled - page))));
        whole.get();
        at += static_cast<off_t>(filled);
        if (filled < kChunk) break;
    }
    if (hashed.pageSize == 0) hashed.pageSize = PageSizeOf({});
    hashed.whole = wholeHash.Finish();
    hashed.size = at;
    return hashed;
}

}  // namespace history
