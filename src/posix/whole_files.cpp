// The program's own small files beside the data (the index of the numbered
// copies): read whole, and written whole the way a copy is written, so that
// a reader never meets half of one.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "host/host_files.h"
#include "posix/files.h"
#include "posix/temporary_files.h"
#include "vb/error.h"

namespace posix {

namespace {

// Larger than any index of numbered copies the program writes.
constexpr off_t kSmallFileLimit = 1 << 20;

}  // namespace

std::optional<std::string> PosixFiles::ReadWhole(const std::string& Path) {
    const std::string host = paths_.ToHost(Path);
    host::Fd file(open(host.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw errno == ELOOP ? vb::PathFileAccessError() : ErrorFor(errno);
    }
    struct stat st{};
    if (fstat(file.get(), &st) != 0) throw ErrorFor(errno);
    if (!S_ISREG(st.st_mode) || st.st_size > kSmallFileLimit) throw vb::PathFileAccessError();
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t got = read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw ErrorFor(errno);
        if (got == 0) break;
        text.append(buffer, static_cast<size_t>(got));
        if (static_cast<off_t>(text.size()) > kSmallFileLimit) throw vb::PathFileAccessError();
    }
    return text;
}

void PosixFiles::WriteWhole(const std::string& Path, const std::string& Text) {
    const std::string to = paths_.ToHost(Path);
    const std::string folder = host::Parent(to);
    const std::string name = host::BaseName(to);
    if (!host::IsDirectory(folder)) throw vb::PathNotFound();
    // What a write of this file that was killed left behind.
    RemoveTemporariesOf(folder, name, steps_);

    // As FileCopy: a hidden temporary file, flushed, then renamed over the
    // name, which the system does at once; a crash leaves the old file or
    // the new one, and at worst a temporary file the next write removes.
    TemporaryFile temporary;
    CreateTemporary(folder, name, 0666, steps_, temporary);
    size_t done = 0;
    while (done < Text.size()) {
        const ssize_t wrote = steps_.Do(FileStep::CopyChunk, [&] {
            return write(temporary.fd.get(), Text.data() + done, Text.size() - done);
        });
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0) throw ErrorFor(errno);
        done += static_cast<size_t>(wrote);
    }
    if (steps_.Do(FileStep::FlushFile, [&] { return fsync(temporary.fd.get()); }) != 0) throw ErrorFor(errno);
    if (steps_.Do(FileStep::Replace, [&] { return rename(temporary.path.c_str(), to.c_str()); }) != 0)
        throw ErrorFor(errno);
    temporary.Placed();
    temporary.fd.Reset();
    // The folder is not flushed here: the rename reaches the disk with the
    // folder's next flush, which the copy a command goes on to make does.
    // Lost to a power cut before that, the index is the old one, whole.
}

}  // namespace posix
