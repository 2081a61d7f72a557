// What a copy tells its progress observer, whatever its chunk size: bytes
// done never go back, the total is the file's size, the last report is the
// total, and a clone reports once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/files_linux.h"
#include "temp_folder.h"

namespace {

using platform_test::ReadFile;
using platform_test::TempFolder;
using platform_test::WriteFile;

struct Report {
    uint64_t done, total;
};

class CopyProgressTest : public ::testing::Test {
protected:
    std::vector<Report> Copy(const std::string& content) {
        WriteFile(tmp / "source.mdb", content);
        std::vector<Report> reports;
        files.FileCopy(tmp / "source.mdb", tmp / "dest.mdb",
                       [&](uint64_t done, uint64_t total) { reports.push_back({done, total}); });
        EXPECT_EQ(ReadFile(tmp / "dest.mdb"), content);
        return reports;
    }

    TempFolder tmp;
    platform::WinePaths paths{""};
    platform::LinuxFiles files{paths};
};

TEST_F(CopyProgressTest, ReportsRiseToTheTotalAndEndThere) {
    for (size_t size : {size_t{1}, size_t{4096}, (size_t{5} << 20) + 7}) {
        const std::vector<Report> reports = Copy(std::string(size, 'r'));
        ASSERT_FALSE(reports.empty()) << size << " bytes: even a small file reports";
        uint64_t before = 0;
        for (const Report& r : reports) {
            EXPECT_EQ(r.total, size);
            EXPECT_GE(r.done, before) << size;
            EXPECT_LE(r.done, r.total) << size;
            before = r.done;
        }
        EXPECT_EQ(reports.back().done, size);
    }
}

TEST_F(CopyProgressTest, AClonedFileReportsOnce) {
    // Only file systems that share extents between files (btrfs, XFS) clone.
    WriteFile(tmp / "probe.a", "probe");
    const int from = open((tmp / "probe.a").c_str(), O_RDONLY | O_CLOEXEC);
    const int to = open((tmp / "probe.b").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const bool clones = from >= 0 && to >= 0 && ioctl(to, FICLONE, from) == 0;
    if (from >= 0) close(from);
    if (to >= 0) close(to);
    if (!clones) GTEST_SKIP() << "the temporary folder's file system cannot clone files";

    const size_t size = size_t{16} << 20;
    const std::vector<Report> reports = Copy(std::string(size, 'c'));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].done, size);
    EXPECT_EQ(reports[0].total, size);
}

}  // namespace
