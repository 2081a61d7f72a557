#include "posix/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <string_view>

#include "vb/casefold.h"

namespace posix {

namespace {

// A name for a temporary file, unlikely to be taken; creation is exclusive
// anyway and simply tries another one.
std::string RandomSuffix() {
    unsigned char bytes[8];
    static unsigned long counter = 0;
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        unsigned long mixed = static_cast<unsigned long>(getpid()) * 1000003UL + ++counter +
                              static_cast<unsigned long>(time(nullptr));
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(mixed >>= 3);
    }
    static const char digits[] = "0123456789abcdef";
    std::string suffix;
    for (unsigned char b : bytes) {
        suffix += digits[b >> 4];
        suffix += digits[b & 15];
    }
    return suffix;
}

constexpr size_t kStemLimit = 200;
constexpr size_t kSuffixDigits = 16;

std::string TemporaryStem(const std::string& name) { return "." + name.substr(0, kStemLimit) + "."; }

bool IsTemporaryOf(const std::string& entry, const std::string& name) {
    const std::string stem = TemporaryStem(name);
    const size_t length = stem.size() + kSuffixDigits + 4;
    if (entry.size() != length || !entry.ends_with(".tmp")) return false;
    // The name part without regard to case, as the live name is matched.
    if (!vb::EqualsIgnoringCase(std::string_view(entry).substr(0, stem.size()), stem)) return false;
    return std::all_of(entry.begin() + static_cast<long>(stem.size()),
                       entry.begin() + static_cast<long>(stem.size() + kSuffixDigits),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool LockWhole(int fd, short type) {
    struct flock lock{};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

}  // namespace

void CreateTemporary(const std::string& folder, const std::string& name, mode_t mode, const Steps& steps,
                     TemporaryFile& temporary) {
    const std::string stem = TemporaryStem(name);
    for (int attempt = 0; !temporary.fd; ++attempt) {
        std::string candidate = (folder == "/" ? "/" : folder + "/") + stem + RandomSuffix() + ".tmp";
        int fd = steps.Do(FileStep::CreateTemporary, [&] {
            return open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        });
        if (fd >= 0) {
            temporary.path = candidate;
            temporary.fd.Reset(fd);
        } else if (errno != EEXIST || attempt >= 100) {
            throw errno == ENOENT ? vb::PathNotFound() : ErrorFor(errno);
        }
    }
    // Held for as long as the copy runs: RemoveTemporariesOf leaves it alone.
    LockWhole(temporary.fd.get(), F_WRLCK);
}

void RemoveTemporariesOf(const std::string& folder, const std::string& name, const Steps& steps) {
    DIR* entries = opendir(folder.c_str());
    if (!entries) return;
    bool removed = false;
    const int folderFd = dirfd(entries);
    while (dirent* entry = readdir(entries)) {
        if (!IsTemporaryOf(entry->d_name, name)) continue;
        host::Fd file(openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat st{}, named{};
        if (!file || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) continue;
        // A copy still running holds its write lock, so this lock fails.
        if (!LockWhole(file.get(), F_RDLCK)) continue;
        // Still the file that was opened (not replaced since).
        if (fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !host::SameFile(st, named)) continue;
        if (steps.Do(FileStep::Unlink, [&] { return unlinkat(folderFd, entry->d_name, 0); }) == 0) removed = true;
    }
    closedir(entries);
    if (removed) steps.SyncFolder(folder);
}

}  // namespace posix
