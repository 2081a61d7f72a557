#include "posix/copy_data.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace posix {

void CopyData(int source, int out, uint64_t total, const ports::CopyProgress& progress, const Steps& steps,
              const WriteStep& write) {
    const bool kernelCopy = !write;
    uint64_t copied = 0;
    auto told = [&](uint64_t done) {
        if (progress) progress(std::min(done, total), total);
    };
    auto fail = [](int error) -> vb::Error { return ErrorFor(error); };

    // Where the file system shares extents (btrfs, XFS), a clone is the whole
    // copy at once, whatever the size.
    if (kernelCopy && total > 0) {
        if (steps.Do(FileStep::CopyChunk, [&] { return ioctl(out, FICLONE, source); }) == 0) {
            told(total);
            return;
        }
        // Not possible here (another file system, no shared extents, or an
        // injected failure): the data goes by one of the ways below.
    }

    // The kernel copies between the files without passing the data through
    // this process, in large chunks so that progress can be told between
    // them. A file system that cannot do that from the start falls back to
    // the buffer loop.
    constexpr size_t kChunk = size_t{4} << 20;
    bool kernel = kernelCopy;
    while (kernel) {
        steps.StopPoint();
        const ssize_t got = steps.Do(FileStep::CopyChunk, [&] {
            return copy_file_range(source, nullptr, out, nullptr, kChunk, 0);
        });
        if (got < 0) {
            if (errno == EINTR) continue;
            const bool unsupported = errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                                     errno == EOPNOTSUPP || errno == EBADF || errno == EPERM;
            if (copied == 0 && unsupported) break;
            throw fail(errno);
        }
        if (got == 0) {
            // The end of the file; some file systems answer 0 at once for
            // data they cannot copy this way.
            if (copied == 0 && total > 0) break;
            if (copied < total || copied == 0) told(total);  // an empty file reports once
            return;
        }
        copied += static_cast<uint64_t>(got);
        told(copied);
    }

    std::vector<char> buffer(size_t{1} << 20);
    for (;;) {
        ssize_t got = read(source, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            throw fail(errno);
        }
        if (got == 0) break;
        steps.StopPoint();
        if (const int error = steps.Before(FileStep::CopyChunk)) throw fail(error);
        size_t done = 0;
        while (done < static_cast<size_t>(got)) {
            ssize_t put = write ? write(out, buffer.data() + done, static_cast<size_t>(got) - done)
                                : ::write(out, buffer.data() + done, static_cast<size_t>(got) - done);
            if (put < 0) {
                if (errno == EINTR) continue;
                throw fail(errno);
            }
            if (put == 0) throw vb::DiskFull();
            done += static_cast<size_t>(put);
        }
        copied += static_cast<uint64_t>(got);
        told(copied);
    }
    if (copied < total || copied == 0) told(total);  // an empty file reports once
}

}  // namespace posix
