// What a copy tells its progress observer, whatever its chunk size: bytes
// done never go back, the total is the file's size, the last report is the
// total, and a clone reports once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <vector>

#include "linux/files.h"
#include "support/temp_folder.h"

namespace {

using Reports = std::vector<std::pair<uint64_t, uint64_t>>;  // done, total

Reports CopyOf(const platform_test::TempFolder& tmp, size_t size) {
    platform_test::WriteFile(tmp / "source.mdb", std::string(size, 'r'));
    const platform::WinePaths paths("");
    platform::LinuxFiles files(paths);
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

}  // namespace
