#include "platform/files_linux.h"
#include "support/holder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "vb/error.h"
#include "temp_folder.h"

namespace {

using platform::LinuxFiles;
using platform::WinePaths;
using platform_test::ReadFile;
using platform_test::TempFolder;
using platform_test::WriteFile;
namespace fs = std::filesystem;

// The error number an operation throws, or 0 when it succeeds.
int ErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const vb::Error& error) {
        return error.Number();
    }
    return 0;
}

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

using test_support::Hold;
using test_support::Holder;

class LinuxFilesTest : public ::testing::Test {
protected:
    std::string At(const std::string& name) const { return tmp / name; }

    TempFolder tmp;
    WinePaths paths{""};
    LinuxFiles files{paths};
};

TEST_F(LinuxFilesTest, DirFindsOnlyVisibleRegularFiles) {
    WriteFile(At("bsrv.mdb"), "db");
    WriteFile(At(".hidden.mdb"), "db");
    fs::create_directory(At("Folder"));
    ASSERT_EQ(mkfifo(At("pipe").c_str(), 0600), 0);
    fs::create_symlink(At("bsrv.mdb"), At("link.mdb"));
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string socketPath = At("sock");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const struct {
        std::string path;
        std::string name;
    } cases[] = {
        {At("bsrv.mdb"), "bsrv.mdb"},
        {tmp.path() + "\\BSRV.MDB", "bsrv.mdb"},  // the name as it is on disk
        {At("link.mdb"), "link.mdb"},
        {At(".hidden.mdb"), ""},
        {At("Folder"), ""},
        {At("pipe"), ""},
        {At("sock"), ""},
        {At("missing.mdb"), ""},
        {At("missing/bsrv.mdb"), ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(files.Dir(c.path), c.name) << c.path;
    close(sock);
}

TEST_F(LinuxFilesTest, FileDateTimeIsTheLocalModificationTime) {
    WriteFile(At("bsrv.mdb"), "db");
    std::tm when{};
    when.tm_year = 2021 - 1900;
    when.tm_mon = 6;
    when.tm_mday = 14;
    when.tm_hour = 9;
    when.tm_min = 30;
    when.tm_sec = 5;
    when.tm_isdst = -1;
    struct timespec times[2] = {{0, UTIME_OMIT}, {mktime(&when), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, At("bsrv.mdb").c_str(), times, 0), 0);
    EXPECT_EQ(files.FileDateTime(At("bsrv.mdb")), (vb::DateTime{2021, 7, 14, 9, 30, 5}));
    EXPECT_EQ(ErrorOf([&] { files.FileDateTime(At("missing.mdb")); }), vb::kFileNotFound);
}

TEST_F(LinuxFilesTest, CopyKeepsModificationTimeAndReplacedPermissions) {
    WriteFile(At("source.mdb"), "new contents");
    WriteFile(At("dest.mdb"), "old");
    ASSERT_EQ(chmod(At("dest.mdb").c_str(), 0640), 0);
    struct timespec times[2] = {{0, UTIME_OMIT}, {981173106, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, At("source.mdb").c_str(), times, 0), 0);

    files.FileCopy(At("source.mdb"), At("dest.mdb"));
    files.FileCopy(At("source.mdb"), At("fresh.mdb"));

    struct stat replaced{}, fresh{};
    ASSERT_EQ(stat(At("dest.mdb").c_str(), &replaced), 0);
    ASSERT_EQ(stat(At("fresh.mdb").c_str(), &fresh), 0);
    EXPECT_EQ(ReadFile(At("dest.mdb")), "new contents");
    EXPECT_EQ(ReadFile(At("fresh.mdb")), "new contents");
    EXPECT_EQ(replaced.st_mode & 07777, 0640u);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(fresh.st_mode & 07777, 0666u & ~mask);
    for (const struct stat& copy : {replaced, fresh}) {
        EXPECT_EQ(copy.st_mtim.tv_sec, 981173106);
        EXPECT_EQ(copy.st_mtim.tv_nsec, 123456789);
    }
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"source.mdb", "dest.mdb", "fresh.mdb"}));
}

TEST_F(LinuxFilesTest, CopyThroughALinkReplacesTheLinkedFile) {
    WriteFile(At("source.mdb"), "new");
    WriteFile(At("real/dest.mdb"), "old");
    fs::create_symlink(At("real/dest.mdb"), At("dest.mdb"));
    files.FileCopy(At("source.mdb"), At("dest.mdb"));
    EXPECT_TRUE(fs::is_symlink(At("dest.mdb")));
    EXPECT_EQ(ReadFile(At("real/dest.mdb")), "new");
}

TEST_F(LinuxFilesTest, CopyFailuresReportTheirErrorAndChangeNothing) {
    WriteFile(At("source.mdb"), "src");
    WriteFile(At("dest.mdb"), "old");
    fs::create_directory(At("Folder"));
    const struct {
        std::string source, destination;
        int error;
    } cases[] = {
        {At("missing.mdb"), At("dest.mdb"), vb::kFileNotFound},
        {At("nofolder/source.mdb"), At("dest.mdb"), vb::kPathNotFound},
        {At("source.mdb"), At("nofolder/dest.mdb"), vb::kPathNotFound},
        {At("Folder"), At("dest.mdb"), vb::kPathFileAccessError},
        {At("source.mdb"), At("Folder"), vb::kPathFileAccessError},
        {At("source.mdb"), At("source.mdb"), vb::kPermissionDenied},
        {"C:\\source.mdb", At("dest.mdb"), vb::kPathNotFound},  // no prefix: no C:
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorOf([&] { files.FileCopy(c.source, c.destination); }), c.error)
            << c.source << " -> " << c.destination;
    }
    EXPECT_EQ(ReadFile(At("dest.mdb")), "old");
    EXPECT_EQ(ReadFile(At("source.mdb")), "src");
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"source.mdb", "dest.mdb", "Folder"}));
}

TEST_F(LinuxFilesTest, CopyFailingMidwayLeavesDestinationAndNoTemporaryFile) {
    const std::string contents(3 << 20, 'x');  // several write steps
    WriteFile(At("source.mdb"), contents);
    WriteFile(At("dest.mdb"), "old");
    const struct {
        int error;
        int number;
    } cases[] = {
        {ENOSPC, vb::kDiskFull}, {EDQUOT, vb::kDiskFull}, {EIO, vb::kDeviceIOError}, {EFBIG, vb::kPathFileAccessError}};
    for (const auto& c : cases) {
        size_t written = 0;
        LinuxFiles failing(paths, [&](int fd, const void* data, size_t size) -> ssize_t {
            if (written >= (1u << 20) + 5) {
                errno = c.error;
                return -1;
            }
            ssize_t n = write(fd, data, std::min<size_t>(size, 4096));
            if (n > 0) written += static_cast<size_t>(n);
            return n;
        });
        EXPECT_EQ(ErrorOf([&] { failing.FileCopy(At("source.mdb"), At("dest.mdb")); }), c.number);
        EXPECT_EQ(ErrorOf([&] { failing.FileCopy(At("source.mdb"), At("new.mdb")); }), c.number);
        EXPECT_EQ(ReadFile(At("dest.mdb")), "old");
        EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"source.mdb", "dest.mdb"}));
    }
    // Partial writes alone are no failure.
    LinuxFiles trickling(paths, [](int fd, const void* data, size_t size) { return write(fd, data, std::min<size_t>(size, 7)); });
    trickling.FileCopy(At("source.mdb"), At("dest.mdb"));
    EXPECT_EQ(ReadFile(At("dest.mdb")), contents);
}

TEST_F(LinuxFilesTest, FilesHeldByAnotherProcessAreNotCopiedOrRenamed) {
    for (Hold how : {Hold::PosixWriteLock, Hold::PosixReadLockBeyondEnd, Hold::OfdLock, Hold::OpenInWineServer}) {
        SCOPED_TRACE(static_cast<int>(how));
        WriteFile(At("source.mdb"), "src");
        WriteFile(At("dest.mdb"), "old");
        {
            Holder holder(At("source.mdb"), how);
            EXPECT_EQ(ErrorOf([&] { files.FileCopy(At("source.mdb"), At("copy.mdb")); }), vb::kPermissionDenied);
            EXPECT_EQ(ErrorOf([&] { files.Name(At("source.mdb"), At("renamed.mdb")); }), vb::kPermissionDenied);
        }
        {
            Holder holder(At("dest.mdb"), how);
            EXPECT_EQ(ErrorOf([&] { files.FileCopy(At("source.mdb"), At("dest.mdb")); }), vb::kPermissionDenied);
            EXPECT_EQ(ReadFile(At("dest.mdb")), "old");
            EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"source.mdb", "dest.mdb"}));
        }
        // Once let go, the same operations go through.
        files.FileCopy(At("source.mdb"), At("dest.mdb"));
        EXPECT_EQ(ReadFile(At("dest.mdb")), "src");
        files.Name(At("source.mdb"), At("renamed.mdb"));
        fs::remove(At("renamed.mdb"));
    }
}

TEST_F(LinuxFilesTest, NameNeverReplacesAFile) {
    WriteFile(At("old.mdb"), "old");
    WriteFile(At("taken.mdb"), "taken");
    fs::create_directory(At("Folder"));
    const struct {
        std::string from, to;
        int error;
    } cases[] = {
        {At("old.mdb"), At("taken.mdb"), vb::kFileAlreadyExists},
        {At("old.mdb"), tmp.path() + "\\TAKEN.MDB", vb::kFileAlreadyExists},
        {At("old.mdb"), At("Folder"), vb::kFileAlreadyExists},
        {At("old.mdb"), At("old.mdb"), vb::kFileAlreadyExists},
        {At("missing.mdb"), At("new.mdb"), vb::kFileNotFound},
        {At("nofolder/old.mdb"), At("new.mdb"), vb::kPathNotFound},
        {At("old.mdb"), At("nofolder/new.mdb"), vb::kPathNotFound},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { files.Name(c.from, c.to); }), c.error) << c.from << " -> " << c.to;
    EXPECT_EQ(ReadFile(At("old.mdb")), "old");
    EXPECT_EQ(ReadFile(At("taken.mdb")), "taken");

    files.Name(At("old.mdb"), tmp.path() + "\\Folder\\moved.mdb");
    EXPECT_EQ(ReadFile(At("Folder/moved.mdb")), "old");
    // Only the letter case changes: Windows renames, it does not report a clash.
    files.Name(At("Folder/moved.mdb"), At("Folder/Moved.MDB"));
    EXPECT_EQ(Listing(At("Folder")), (std::set<std::string>{"Moved.MDB"}));
}

TEST_F(LinuxFilesTest, NameMovesFilesAcrossFileSystemsWithoutReplacing) {
    struct stat here{}, shm{};
    if (stat(tmp.path().c_str(), &here) != 0 || stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev)
        GTEST_SKIP() << "needs /dev/shm on another file system";
    std::string pattern = "/dev/shm/rolvane-plat-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string other = pattern;
    WriteFile(At("old.mdb"), "old");
    struct timespec times[2] = {{0, UTIME_OMIT}, {981173106, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, At("old.mdb").c_str(), times, 0), 0);
    WriteFile(other + "/taken.mdb", "taken");
    fs::create_directory(At("Folder"));

    EXPECT_EQ(ErrorOf([&] { files.Name(At("old.mdb"), other + "/taken.mdb"); }), vb::kFileAlreadyExists);
    EXPECT_EQ(ErrorOf([&] { files.Name(At("Folder"), other + "/Folder"); }), 74);
    files.Name(At("old.mdb"), other + "/moved.mdb");

    struct stat moved{};
    EXPECT_EQ(stat((other + "/moved.mdb").c_str(), &moved), 0);
    EXPECT_EQ(moved.st_mtim.tv_sec, 981173106);
    EXPECT_EQ(ReadFile(other + "/moved.mdb"), "old");
    EXPECT_EQ(ReadFile(other + "/taken.mdb"), "taken");
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"Folder"}));
    EXPECT_EQ(Listing(other), (std::set<std::string>{"taken.mdb", "moved.mdb"}));
    fs::remove_all(other);
}

ino_t Inode(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST_F(LinuxFilesTest, LinkGivesASecondNameAndNeverReplacesOne) {
    WriteFile(At("bsrv.mdb"), "live");
    WriteFile(At("bsrv.1"), "older");
    WriteFile(At("real/target.mdb"), "linked");
    fs::create_symlink(At("real/target.mdb"), At("link.mdb"));

    EXPECT_TRUE(files.Link(At("bsrv.mdb"), At("bsrv.2")));
    EXPECT_EQ(Inode(At("bsrv.2")), Inode(At("bsrv.mdb")));
    // A symbolic link: the file it points to gets the second name.
    EXPECT_TRUE(files.Link(At("link.mdb"), At("real.1")));
    EXPECT_EQ(Inode(At("real.1")), Inode(At("real/target.mdb")));
    EXPECT_FALSE(fs::is_symlink(At("real.1")));

    const struct {
        std::string from, to;
        int error;
    } cases[] = {
        {At("bsrv.mdb"), At("bsrv.1"), vb::kFileAlreadyExists},
        {At("bsrv.mdb"), At("real"), vb::kFileAlreadyExists},
        {At("missing.mdb"), At("bsrv.3"), vb::kFileNotFound},
        {At("bsrv.mdb"), At("nofolder/bsrv.3"), vb::kPathNotFound},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { files.Link(c.from, c.to); }), c.error) << c.to;
    EXPECT_EQ(ReadFile(At("bsrv.1")), "older");

    // No hard links on this file system: false, nothing changed.
    for (int error : {EPERM, EOPNOTSUPP, EMLINK, EXDEV}) {
        LinuxFiles noLinks(paths, {}, [error](LinuxFiles::Step step) { return step == LinuxFiles::Step::Link ? error : 0; });
        EXPECT_FALSE(noLinks.Link(At("bsrv.mdb"), At("bsrv.3"))) << error;
    }
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"bsrv.mdb", "bsrv.1", "bsrv.2", "real", "link.mdb", "real.1"}));
}

TEST_F(LinuxFilesTest, RemoveExtraNameRemovesOnlyASecondNameOfTheLiveFile) {
    WriteFile(At("bsrv.mdb"), "live");
    ASSERT_TRUE(files.Link(At("bsrv.mdb"), At("bsrv.1")));
    WriteFile(At("bsrv.2"), "live");  // same content, another file

    EXPECT_FALSE(files.RemoveExtraName(At("bsrv.2"), At("bsrv.mdb")));
    EXPECT_FALSE(files.RemoveExtraName(At("bsrv.9"), At("bsrv.mdb")));
    EXPECT_TRUE(files.RemoveExtraName(At("bsrv.1"), At("bsrv.mdb")));
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"bsrv.mdb", "bsrv.2"}));

    // Once the live name stands for another file, or for none, the numbered
    // name may be all that is left of the old data: it stays.
    ASSERT_TRUE(files.Link(At("bsrv.mdb"), At("bsrv.1")));
    WriteFile(At("new.mdb"), "new");
    files.FileCopy(At("new.mdb"), At("bsrv.mdb"));
    EXPECT_FALSE(files.RemoveExtraName(At("bsrv.1"), At("bsrv.mdb")));
    fs::remove(At("bsrv.mdb"));
    EXPECT_FALSE(files.RemoveExtraName(At("bsrv.1"), At("bsrv.mdb")));
    EXPECT_EQ(ReadFile(At("bsrv.1")), "live");
}

TEST_F(LinuxFilesTest, RemoveTemporariesRemovesOnlyOurUnheldLeftovers) {
    WriteFile(At("bsrv.mdb"), "live");
    const std::set<std::string> ours = {".bsrv.mdb.0123456789abcdef.tmp", ".BSRV.MDB.fedcba9876543210.tmp"};
    const std::set<std::string> notOurs = {
        ".bsrv.mdb.0123456789abcdeg.tmp",  // not hex
        ".bsrv.mdb.0123456789abcde.tmp",   // too short
        ".bsrv.mdb.tmp",
        "bsrv.mdb.0123456789abcdef.tmp",   // not hidden
        ".other.mdb.0123456789abcdef.tmp",  // another file's
        ".bsrv.mdb.0123456789abcdef.tmp.x",
        "bsrv.1",
    };
    for (const auto& name : ours) WriteFile(At(name), "partial");
    for (const auto& name : notOurs) WriteFile(At(name), "keep");
    fs::create_directory(At(".bsrv.mdb.aaaaaaaaaaaaaaaa.tmp"));
    WriteFile(At(".bsrv.mdb.1111111111111111.tmp"), "a copy still running");
    {
        Holder running(At(".bsrv.mdb.1111111111111111.tmp"), Hold::OfdLock);
        files.RemoveTemporaries(tmp.path() + "\\bsrv.mdb");
    }
    std::set<std::string> expected(notOurs);
    expected.insert({"bsrv.mdb", ".bsrv.mdb.aaaaaaaaaaaaaaaa.tmp", ".bsrv.mdb.1111111111111111.tmp"});
    EXPECT_EQ(Listing(tmp.path()), expected);
    files.RemoveTemporaries(At("missing/bsrv.mdb"));  // no folder: nothing to do, no error
}

TEST_F(LinuxFilesTest, AFailedFlushAfterARenameIsNoFailureOneBeforeItIs) {
    WriteFile(At("source.mdb"), "new");
    WriteFile(At("dest.mdb"), "old");
    LinuxFiles failingFlush(paths, {}, [](LinuxFiles::Step step) {
        return step == LinuxFiles::Step::FlushFolder ? EIO : 0;
    });
    failingFlush.FileCopy(At("source.mdb"), At("dest.mdb"));
    EXPECT_EQ(ReadFile(At("dest.mdb")), "new");
    failingFlush.Name(At("dest.mdb"), At("renamed.mdb"));
    EXPECT_TRUE(failingFlush.Link(At("renamed.mdb"), At("bsrv.1")));
    EXPECT_TRUE(failingFlush.RemoveExtraName(At("bsrv.1"), At("renamed.mdb")));
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"source.mdb", "renamed.mdb"}));

    for (LinuxFiles::Step before : {LinuxFiles::Step::FlushFile, LinuxFiles::Step::Replace}) {
        LinuxFiles failing(paths, {}, [before](LinuxFiles::Step step) { return step == before ? EIO : 0; });
        EXPECT_EQ(ErrorOf([&] { failing.FileCopy(At("source.mdb"), At("renamed.mdb")); }), vb::kDeviceIOError);
    }
    WriteFile(At("source.mdb"), "newer");
    EXPECT_EQ(ReadFile(At("renamed.mdb")), "new");
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"source.mdb", "renamed.mdb"}));
}

TEST_F(LinuxFilesTest, CopyFallsBackStepByStepAndTellsProgressUpToTheTotal) {
    std::string contents(5 << 20, 'x');  // several chunks
    contents += "end";
    WriteFile(At("source.mdb"), contents);
    // 0: every way works (a clone where the file system can, else the
    // kernel's copy); 1: no clone; 2: no clone and no kernel copy either.
    for (int refused = 0; refused <= 2; ++refused) {
        SCOPED_TRACE(refused);
        int chunk = 0;
        LinuxFiles files(paths, {}, [&](LinuxFiles::Step step) {
            return step == LinuxFiles::Step::CopyChunk && chunk++ < refused ? EOPNOTSUPP : 0;
        });
        std::vector<std::pair<uint64_t, uint64_t>> told;
        files.FileCopy(At("source.mdb"), At("dest.mdb"), [&](uint64_t done, uint64_t total) { told.emplace_back(done, total); });
        EXPECT_EQ(ReadFile(At("dest.mdb")), contents);
        ASSERT_FALSE(told.empty());
        for (size_t i = 0; i < told.size(); ++i) {
            EXPECT_EQ(told[i].second, contents.size());
            if (i > 0) {
                EXPECT_GE(told[i].first, told[i - 1].first);
            }
        }
        EXPECT_EQ(told.back().first, contents.size());
        if (refused > 0) {
            EXPECT_GE(told.size(), 2u) << "between the chunks";
        }
    }
}

TEST_F(LinuxFilesTest, TheNewFileIsNeverMoreOpenThanTheOneItReplaces) {
    WriteFile(At("source.mdb"), "new");
    ASSERT_EQ(chmod(At("source.mdb").c_str(), 0644), 0);
    const gid_t otherGroup = getegid() + 4242;
    for (mode_t mode : {0600u, 0640u, 0400u}) {
        WriteFile(At("dest.mdb"), "old");
        ASSERT_EQ(chmod(At("dest.mdb").c_str(), mode), 0);
        // As root, the group can be another than ours; it is kept.
        const bool root = geteuid() == 0;
        if (root) {
            ASSERT_EQ(chown(At("dest.mdb").c_str(), 0, otherGroup), 0);
        }
        mode_t mask = umask(0);  // the widest umask: the copy must not take it
        files.FileCopy(At("source.mdb"), At("dest.mdb"));
        umask(mask);
        struct stat st{};
        ASSERT_EQ(stat(At("dest.mdb").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        if (root) {
            EXPECT_EQ(st.st_gid, otherGroup);
        }
        fs::remove(At("dest.mdb"));
    }
}

TEST_F(LinuxFilesTest, AccessDenialsArePermissionDenied) {
    if (geteuid() == 0) GTEST_SKIP() << "root is never denied access";
    WriteFile(At("source.mdb"), "src");
    WriteFile(At("readonly.mdb"), "old");
    ASSERT_EQ(chmod(At("readonly.mdb").c_str(), 0444), 0);
    WriteFile(At("locked/inside.mdb"), "x");
    ASSERT_EQ(chmod(At("locked").c_str(), 0555), 0);
    EXPECT_EQ(ErrorOf([&] { files.FileCopy(At("source.mdb"), At("readonly.mdb")); }), vb::kPermissionDenied);
    EXPECT_EQ(ErrorOf([&] { files.FileCopy(At("source.mdb"), At("locked/new.mdb")); }), vb::kPermissionDenied);
    EXPECT_EQ(ErrorOf([&] { files.Name(At("locked/inside.mdb"), At("out.mdb")); }), vb::kPermissionDenied);
    EXPECT_EQ(ReadFile(At("readonly.mdb")), "old");
    chmod(At("locked").c_str(), 0755);
}

}  // namespace
