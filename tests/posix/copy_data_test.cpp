// The data of a copy: it falls back from a clone to the kernel's copy to the
// buffer loop, and what it tells its progress observer, whatever its chunk
// size: bytes done never go back, the total is the file's size, the last
// report is the total, and a clone reports once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "posix/files_fixture.h"
#include "support/temp_folder.h"

namespace {

using posix_files_test::PosixFilesTest;
using posix::PosixFiles;
using platform_test::ReadFile;
using platform_test::WriteFile;

using Reports = std::vector<std::pair<uint64_t, uint64_t>>;  // done, total

Reports CopyOf(const platform_test::TempFolder& tmp, size_t size) {
    platform_test::WriteFile(tmp / "source.mdb", std::string(size, 'r'));
    const wine::WinePaths paths("");
    posix::PosixFiles files(paths);
    Reports reports;
    files.FileCopy(tmp / "source.mdb", tmp / "dest.mdb", [&](uint64_t d, uint64_t t) { reports.emplace_back(d, t); });
    EXPECT_EQ(platform_test::ReadFile(tmp / "dest.mdb").size(), size);
    return reports;
}

TEST(CopyProgress, ReportsRiseToTheTotalAndEndThere) {
    const platform_test::TempFolder tmp;
    for (size_t size : {size_t{0}, size_t{1}, size_t{4096}, (size_t{5} << 20) + 7}) {
        const Reports reports = CopyOf(tmp, size);
        ASSERT_FALSE(reports.empty()) << size << " bytes: even a small file reports";
        for (size_t i = 0; i < reports.size(); ++i) {
            EXPECT_EQ(reports[i].second, size);
            EXPECT_LE(reports[i].first, size);
            EXPECT_GE(reports[i].first, i > 0 ? reports[i - 1].first : 0) << size;
        }
        EXPECT_EQ(reports.back().first, size);
    }
}

TEST(CopyProgress, AClonedFileReportsOnce) {
    const platform_test::TempFolder tmp;
    platform_test::WriteFile(tmp / "probe", "probe");
    const int from = open((tmp / "probe").c_str(), O_RDONLY | O_CLOEXEC);
    const int to = open((tmp / "probe.clone").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const bool clones = ioctl(to, FICLONE, from) == 0;
    close(from);
    close(to);
    if (!clones) GTEST_SKIP() << "the temporary folder's file system cannot clone files (btrfs and XFS can)";
    const size_t size = size_t{16} << 20;
    EXPECT_EQ(CopyOf(tmp, size), (Reports{{size, size}}));
}

TEST_F(PosixFilesTest, CopyFallsBackStepByStepAndTellsProgressUpToTheTotal) {
    const std::string contents = std::string(5 << 20, 'x') + "end";  // two chunks
    WriteFile(At("source.mdb"), contents);
    // Refused: nothing (a clone where the file system can, else the kernel's
    // copy); the clone; the clone and the kernel's copy (the buffer loop).
    for (int refused = 0; refused <= 2; ++refused) {
        int chunk = 0;
        PosixFiles files(paths, {}, [&](PosixFiles::Step step) {
            return step == PosixFiles::Step::CopyChunk && chunk++ < refused ? EOPNOTSUPP : 0;
        });
        std::vector<uint64_t> done;
        files.FileCopy(At("source.mdb"), At("dest.mdb"), [&](uint64_t d, uint64_t total) {
            EXPECT_EQ(total, contents.size());
            done.push_back(d);
        });
        EXPECT_EQ(ReadFile(At("dest.mdb")), contents) << refused;
        EXPECT_TRUE(std::is_sorted(done.begin(), done.end())) << refused;
        EXPECT_EQ(done.back(), contents.size()) << refused;
        EXPECT_GE(done.size(), refused ? 2u : 1u) << refused;
    }
}

}  // namespace
