// One command at a time per live database: the folder's lock, on every file
// system this machine can mount.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <set>

#include "posix/files_fixture.h"
#include "posix/folder_lock.h"
#include "posix/stop_on_signal.h"
#include "support/mounted_image.h"

namespace {

using posix::FileStep;
using posix::PosixFolderLock;
using posix_files_test::ErrorOf;
using posix_files_test::KindOf;
using posix_files_test::Listing;
using posix_files_test::PosixFilesTest;
using platform_test::WriteFile;
using test_support::MountedImage;
namespace fs = std::filesystem;

constexpr posix::LockWait kNoWait{std::chrono::milliseconds(0), std::chrono::milliseconds(0)};

// Another command holds the lock: a second one gives up as in use, with a
// reason of its own; released, or gone with its killed process, the lock can
// be taken at once. The lock file is dotted and listed nowhere.
void ExpectOneCommandAtATime(const std::string& folder) {
    const wine::WinePaths paths{""};
    posix::PosixFiles files{paths};
    const std::string live = folder + "/bsrv.mdb";
    WriteFile(live, "live");
    PosixFolderLock lock(paths, kNoWait);
    auto held = lock.Take(live, {});
    EXPECT_TRUE(fs::exists(folder + "/" + posix::kLockFileName));
    for (const std::string& name : files.FilesIn(folder)) EXPECT_NE(name, posix::kLockFileName);
    EXPECT_EQ(KindOf([&] { lock.Take(live, {}); }), vb::ErrorKind::HeldByCommand);
    held.reset();
    held = lock.Take(live, {});
    held.reset();

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        auto mine = lock.Take(live, {});
        if (write(ready[1], "y", 1) != 1) _exit(2);
        pause();
        _exit(0);
    }
    char got = 0;
    ASSERT_EQ(read(ready[0], &got, 1), 1);
    EXPECT_EQ(KindOf([&] { lock.Take(live, {}); }), vb::ErrorKind::HeldByCommand);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_NO_THROW(lock.Take(live, {}));
    close(ready[0]);
    close(ready[1]);
}

TEST_F(PosixFilesTest, OneCommandAtATimeOnEachFileSystemHere) {
    {
        SCOPED_TRACE(tmp.path());
        ExpectOneCommandAtATime(tmp.path());
    }
    char shm[] = "/dev/shm/rolvane-lock-XXXXXX";  // tmpfs
    if (mkdtemp(shm)) {
        SCOPED_TRACE(shm);
        ExpectOneCommandAtATime(shm);
        fs::remove_all(shm);
    }
    for (const auto kind : {MountedImage::Kind::Fat, MountedImage::Kind::ExFat}) {
        const std::string folder = At(kind == MountedImage::Kind::Fat ? "fat" : "exfat");
        fs::create_directory(folder);
        const MountedImage image(kind, folder + ".img", folder, off_t{16} << 20);
        if (!image.Mounted()) {
            std::cout << "not on " << folder << ": " << image.Why() << "\n";
            continue;
        }
        SCOPED_TRACE(folder);
        ExpectOneCommandAtATime(folder);
    }
}

// A second command waits, is told once that it waits, and goes on as soon as
// the first one lets go.
TEST_F(PosixFilesTest, ASecondCommandWaitsForTheFirstAndIsToldOnce) {
    PosixFolderLock first(paths, kNoWait);
    PosixFolderLock second(paths, {std::chrono::seconds(60), std::chrono::milliseconds(30)});
    auto held = first.Take(At("bsrv.mdb"), {});
    int told = 0;
    auto mine = second.Take(At("bsrv.mdb"), [&] {
        ++told;
        held.reset();
    });
    EXPECT_TRUE(mine);
    EXPECT_EQ(told, 1);
}

// Where the folder cannot hold the lock file, the command fails as its
// first write would, and leaves nothing.
TEST_F(PosixFilesTest, AFolderThatCannotHoldTheLockFailsAsAWriteWould) {
    EXPECT_EQ(ErrorOf([&] { PosixFolderLock(paths).Take(At("missing/bsrv.mdb"), {}); }), vb::kPathNotFound);
    WriteFile(At("bsrv.mdb"), "live");
    const struct {
        int error, number;
    } cases[] = {{EROFS, vb::kPermissionDenied}, {EACCES, vb::kPermissionDenied}, {EIO, vb::kDeviceIOError},
                 {ENOSPC, vb::kDiskFull}};
    for (const auto& c : cases) {
        PosixFolderLock refused(paths, kNoWait, [&](FileStep step) { return step == FileStep::OpenLock ? c.error : 0; });
        EXPECT_EQ(ErrorOf([&] { refused.Take(At("bsrv.mdb"), {}); }), c.number) << c.error;
        EXPECT_EQ(KindOf([&] { refused.Take(At("bsrv.mdb"), {}); }), vb::ErrorKind::Plain) << c.error;
    }
    EXPECT_EQ(Listing(tmp.path()), std::set<std::string>{"bsrv.mdb"});
}

// A stop signal while waiting ends the wait; the process dies of it.
TEST_F(PosixFilesTest, AStopSignalEndsTheWait) {
    PosixFolderLock lock(paths, {std::chrono::seconds(60), std::chrono::milliseconds(0)});
    auto held = lock.Take(At("bsrv.mdb"), {});
    const pid_t child = fork();
    if (child == 0) {
        posix::PosixStopSignals stops;
        auto span = stops.Catch();
        try {
            lock.Take(At("bsrv.mdb"), [] { kill(getpid(), SIGTERM); });
        } catch (const vb::Error& e) {
            if (e.Kind() == vb::ErrorKind::Stopped) stops.EndIfRequested();
        }
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

// The lock only locks: a numbered copy that is a second name of the live
// file, and a temporary file, are the commands' to tidy (operations).
TEST_F(PosixFilesTest, TakingTheLockLeavesTheFolderAsItWas) {
    WriteFile(At("bsrv.mdb"), "live");
    fs::create_hard_link(At("bsrv.mdb"), At("bsrv.1"));
    WriteFile(At(".bsrv.mdb.0123456789abcdef.tmp"), "partial");

    auto held = PosixFolderLock(paths, kNoWait).Take(At("bsrv.mdb"), {});
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"bsrv.mdb", "bsrv.1", ".bsrv.mdb.0123456789abcdef.tmp",
                                                          posix::kLockFileName}));
}

}  // namespace
