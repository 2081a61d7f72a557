#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <functional>
#include <set>
#include <vector>

#include "posix/files_fixture.h"
#include "support/holder.h"

namespace {

using posix_files_test::ErrorOf;
using posix_files_test::KindOf;
using posix_files_test::Listing;
using posix_files_test::PosixFilesTest;
using posix::PosixFiles;
using platform_test::ReadFile;
using platform_test::WriteFile;
using test_support::Hold;
using test_support::Holder;
namespace fs = std::filesystem;

TEST_F(PosixFilesTest, DirFindsOnlyVisibleRegularFiles) {
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
    // Marked hidden by Wine (wine/dos_attributes.h), where the file system
    // keeps the mark.
    WriteFile(At("marked.mdb"), "db");
    if (setxattr(At("marked.mdb").c_str(), "user.DOSATTRIB", "0x22", 4, 0) == 0) {
        EXPECT_EQ(files.Dir(At("marked.mdb")), "");
    }
}

TEST_F(PosixFilesTest, FileDateTimeIsTheLocalModificationTime) {
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

// The digest tells files of the same content (of any size: this one
// spans several reads) from others, and follows a file that changes.
TEST_F(PosixFilesTest, ContentDigestTellsTheSameDataAndFollowsAChange) {
    const std::string big(3 * 1024 * 1024 + 7, 'x');
    WriteFile(At("bsrv.1"), big);
    WriteFile(At("bsrv.2"), big);
    WriteFile(At("bsrv.3"), big.substr(1) + "y");
    const auto one = files.ContentDigest(At("bsrv.1"));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->size(), 64u);  // SHA-256 in hex
    EXPECT_EQ(files.ContentDigest(At("bsrv.2")), one);
    EXPECT_NE(files.ContentDigest(At("bsrv.3")), one);
    WriteFile(At("bsrv.2"), "changed");
    EXPECT_EQ(files.ContentDigest(At("bsrv.2")),
              std::optional<std::string>("d67e2e944994496c8d8ec76eed0cf9f09679448d584b532bebf941852a37f5ed"));
    EXPECT_EQ(files.ContentDigest(At("missing")), std::nullopt);
}

TEST_F(PosixFilesTest, CopyKeepsModificationTimeAndReplacedPermissions) {
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

TEST_F(PosixFilesTest, CopyThroughALinkReplacesTheLinkedFile) {
    WriteFile(At("source.mdb"), "new");
    WriteFile(At("real/dest.mdb"), "old");
    fs::create_symlink(At("real/dest.mdb"), At("dest.mdb"));
    files.FileCopy(At("source.mdb"), At("dest.mdb"));
    EXPECT_TRUE(fs::is_symlink(At("dest.mdb")));
    EXPECT_EQ(ReadFile(At("real/dest.mdb")), "new");
}

TEST_F(PosixFilesTest, CopyFailuresReportTheirErrorAndChangeNothing) {
    WriteFile(At("source.mdb"), "src");
    WriteFile(At("dest.mdb"), "old");
    WriteFile(At("readonly.mdb"), "old");
    ASSERT_EQ(chmod(At("readonly.mdb").c_str(), 0444), 0);
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
        {At("source.mdb"), At("source.mdb"), vb::kPathFileAccessError},
        {At("source.mdb"), At("readonly.mdb"), vb::kPermissionDenied},  // refused even to root
        {"C:\\source.mdb", At("dest.mdb"), vb::kPathNotFound},  // no prefix: no C:
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorOf([&] { files.FileCopy(c.source, c.destination); }), c.error)
            << c.source << " -> " << c.destination;
    }
    EXPECT_EQ(ReadFile(At("dest.mdb")), "old");
    EXPECT_EQ(ReadFile(At("source.mdb")), "src");
    EXPECT_EQ(ReadFile(At("readonly.mdb")), "old");
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"source.mdb", "dest.mdb", "readonly.mdb", "Folder"}));
}

TEST_F(PosixFilesTest, CopyFailingMidwayLeavesDestinationAndNoTemporaryFile) {
    const std::string contents(3 << 20, 'x');  // several write steps
    WriteFile(At("source.mdb"), contents);
    WriteFile(At("dest.mdb"), "old");
    const struct {
        int error;
        int number;
    } cases[] = {
        {ENOSPC, vb::kDiskFull}, {EDQUOT, vb::kDiskFull}, {EIO, vb::kDeviceIOError}, {EFBIG, vb::kDiskFull}};
    for (const auto& c : cases) {
        size_t written = 0;
        PosixFiles failing(paths, [&](int fd, const void* data, size_t size) -> ssize_t {
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
    PosixFiles trickling(paths, [](int fd, const void* data, size_t size) { return write(fd, data, std::min<size_t>(size, 7)); });
    trickling.FileCopy(At("source.mdb"), At("dest.mdb"));
    EXPECT_EQ(ReadFile(At("dest.mdb")), contents);
}

TEST_F(PosixFilesTest, NameNeverReplacesAFile) {
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

TEST_F(PosixFilesTest, NameMovesFilesAcrossFileSystemsWithoutReplacing) {
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

// A second name is given to the file (through a symbolic link: to the file
// it points to) and never replaces a name; it is removed only while it
// still names the live file, which is when it cannot be the last name of
// the old data.
TEST_F(PosixFilesTest, SecondNamesNeverReplaceAndGoOnlyWhileTheyNameTheLiveFile) {
    WriteFile(At("real/target.mdb"), "live");
    fs::create_symlink(At("real/target.mdb"), At("bsrv.mdb"));
    WriteFile(At("bsrv.2"), "live");  // the same content, another file
    ASSERT_TRUE(files.Link(At("bsrv.mdb"), At("bsrv.1")));
    EXPECT_EQ(Inode(At("bsrv.1")), Inode(At("real/target.mdb")));
    EXPECT_EQ(ErrorOf([&] { files.Link(At("bsrv.mdb"), At("bsrv.2")); }), vb::kFileAlreadyExists);

    EXPECT_FALSE(files.RemoveExtraName(At("bsrv.2"), At("bsrv.mdb")));
    EXPECT_TRUE(files.RemoveExtraName(At("bsrv.1"), At("bsrv.mdb")));
    ASSERT_TRUE(files.Link(At("bsrv.mdb"), At("bsrv.1")));
    WriteFile(At("new.mdb"), "new");
    files.FileCopy(At("new.mdb"), At("bsrv.mdb"));
    EXPECT_FALSE(files.RemoveExtraName(At("bsrv.1"), At("bsrv.mdb")));
    EXPECT_EQ(ReadFile(At("bsrv.1")), "live");
    EXPECT_EQ(ReadFile(At("bsrv.2")), "live");
}

// Link answers false, with nothing made, for each error by which a file
// system says the file can have no second name; any other error is thrown.
TEST_F(PosixFilesTest, LinkIsFalseWhereTheFileSystemGivesNoSecondName) {
    WriteFile(At("bsrv.mdb"), "live");
    const struct {
        int error;
        int number;  // 0: false
    } cases[] = {{EPERM, 0}, {EOPNOTSUPP, 0}, {ENOSYS, 0}, {EMLINK, 0}, {EXDEV, 0}, {EIO, vb::kDeviceIOError},
                 {EROFS, vb::kPermissionDenied}};
    for (const auto& c : cases) {
        PosixFiles refusing(paths, {}, [&](PosixFiles::Step step) { return step == PosixFiles::Step::Link ? c.error : 0; });
        bool linked = true;
        EXPECT_EQ(ErrorOf([&] { linked = refusing.Link(At("bsrv.mdb"), At("bsrv.1")); }), c.number) << c.error;
        if (c.number == 0) {
            EXPECT_FALSE(linked) << c.error;
        }
        EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"bsrv.mdb"})) << c.error;
    }
}

// The copy that stands in for a second name: the live file's data, time and
// permissions under the new name, the live file itself only read, and no
// name ever replaced.
TEST_F(PosixFilesTest, CopyAsideKeepsTheLiveFileAndNeverReplaces) {
    WriteFile(At("bsrv.mdb"), std::string(5 << 20, 'o') + "old");
    ASSERT_EQ(chmod(At("bsrv.mdb").c_str(), 0640), 0);
    struct timespec times[2] = {{0, UTIME_OMIT}, {981173106, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, At("bsrv.mdb").c_str(), times, 0), 0);
    const ino_t live = Inode(At("bsrv.mdb"));
    WriteFile(At("bsrv.2"), "taken");

    std::vector<uint64_t> done;
    files.CopyAside(At("bsrv.mdb"), tmp.path() + "\\bsrv.1", [&](uint64_t d, uint64_t) { done.push_back(d); });
    struct stat copy{};
    ASSERT_EQ(stat(At("bsrv.1").c_str(), &copy), 0);
    EXPECT_EQ(ReadFile(At("bsrv.1")), ReadFile(At("bsrv.mdb")));
    EXPECT_NE(copy.st_ino, live);
    EXPECT_EQ(Inode(At("bsrv.mdb")), live);
    EXPECT_EQ(copy.st_mode & 07777, 0640u);
    EXPECT_EQ(copy.st_mtim.tv_sec, 981173106);
    EXPECT_EQ(copy.st_mtim.tv_nsec, 123456789);
    ASSERT_FALSE(done.empty());
    EXPECT_EQ(done.back(), ReadFile(At("bsrv.mdb")).size());

    const struct {
        std::string from, to;
        int error;
    } cases[] = {
        {At("bsrv.mdb"), At("bsrv.2"), vb::kFileAlreadyExists},
        {At("bsrv.mdb"), At("BSRV.2"), vb::kFileAlreadyExists},
        {At("missing.mdb"), At("bsrv.3"), vb::kFileNotFound},
        {At("bsrv.mdb"), At("nofolder/bsrv.3"), vb::kPathNotFound},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { files.CopyAside(c.from, c.to); }), c.error) << c.to;
    {
        Holder holder(At("bsrv.mdb"), Hold::PosixWriteLock);
        EXPECT_EQ(KindOf([&] { files.CopyAside(At("bsrv.mdb"), At("bsrv.3")); }), vb::ErrorKind::HeldByProgram);
    }
    // Failing midway: nothing but what was there.
    PosixFiles failing(paths, {}, [](PosixFiles::Step step) { return step == PosixFiles::Step::FlushFile ? EIO : 0; });
    EXPECT_EQ(ErrorOf([&] { failing.CopyAside(At("bsrv.mdb"), At("bsrv.3")); }), vb::kDeviceIOError);
    EXPECT_EQ(ReadFile(At("bsrv.2")), "taken");
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"bsrv.mdb", "bsrv.1", "bsrv.2"}));
}

// A copy goes only while it holds nothing the live file does not: neither
// it nor the live file changed since it was made.
TEST_F(PosixFilesTest, ACopyAsideGoesOnlyWhileItAndTheLiveFileAreAsMade) {
    WriteFile(At("new.mdb"), "new");
    const struct {
        const char* name;
        std::function<void()> change;
        bool removed;
    } cases[] = {
        {"unchanged", [] {}, true},
        {"copy written to", [&] { WriteFile(At("bsrv.1"), "other"); }, false},
        {"live replaced", [&] { files.FileCopy(At("new.mdb"), At("bsrv.mdb")); }, false},
        {"made by another service", [&] { PosixFiles other(paths); EXPECT_FALSE(other.RemoveExtraName(At("bsrv.1"), At("bsrv.mdb"))); }, true},
    };
    for (const auto& c : cases) {
        WriteFile(At("bsrv.mdb"), "live");
        fs::remove(At("bsrv.1"));
        files.CopyAside(At("bsrv.mdb"), At("bsrv.1"));
        c.change();
        EXPECT_EQ(files.RemoveExtraName(At("bsrv.1"), At("bsrv.mdb")), c.removed) << c.name;
        EXPECT_EQ(fs::exists(At("bsrv.1")), !c.removed) << c.name;
    }
}

TEST_F(PosixFilesTest, TheNewFileIsNeverMoreOpenThanTheOneItReplaces) {
    WriteFile(At("source.mdb"), "new");
    const bool root = geteuid() == 0;  // only root can give the file a group we are not in
    const gid_t group = root ? getegid() + 4242 : getegid();
    for (mode_t mode : {0600u, 0640u, 0200u}) {
        WriteFile(At("dest.mdb"), "old");
        ASSERT_EQ(chmod(At("dest.mdb").c_str(), mode), 0);
        ASSERT_EQ(chown(At("dest.mdb").c_str(), geteuid(), group), 0);
        const mode_t mask = umask(0);  // the widest umask: the copy must not take it
        files.FileCopy(At("source.mdb"), At("dest.mdb"));
        umask(mask);
        struct stat st{};
        ASSERT_EQ(stat(At("dest.mdb").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(st.st_gid, group);
        fs::remove(At("dest.mdb"));
    }
}

TEST_F(PosixFilesTest, AccessDenialsArePermissionDenied) {
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

namespace {

// A folder flush that fails (EIO) after a copy, second name or rename took
// effect: the change stands and is reported as perhaps not on the disk. A
// file system that cannot flush folders at all (EINVAL) is no failure.
// A folder that fails its flush, or cannot be opened for it, after a
// change: the change is made, but may not be on the disk.
TEST_F(PosixFilesTest, AFailedFolderFlushAfterAChangeIsReportedAsNotSaved) {
    const struct {
        const char* name;
        std::function<void(PosixFiles&)> change;
        std::set<std::string> after;
    } changes[] = {
        {"FileCopy", [&](PosixFiles& f) { f.FileCopy(At("new.mdb"), At("bsrv.mdb")); }, {"bsrv.mdb", "new.mdb"}},
        {"Link", [&](PosixFiles& f) { f.Link(At("bsrv.mdb"), At("bsrv.1")); }, {"bsrv.mdb", "bsrv.1", "new.mdb"}},
        {"CopyAside", [&](PosixFiles& f) { f.CopyAside(At("bsrv.mdb"), At("bsrv.1")); }, {"bsrv.mdb", "bsrv.1", "new.mdb"}},
        {"Name", [&](PosixFiles& f) { f.Name(At("bsrv.mdb"), At("bsrv.1")); }, {"bsrv.1", "new.mdb"}},
        {"MoveBack", [&](PosixFiles& f) { f.MoveBack(At("bsrv.mdb"), At("bsrv.1")); }, {"bsrv.1", "new.mdb"}},
    };
    const struct {
        PosixFiles::Step step;
        int error;
        bool notSaved;
    } faults[] = {{PosixFiles::Step::FlushFolder, EIO, true},
                  {PosixFiles::Step::FlushFolder, EINVAL, false},  // no flush for folders here
                  {PosixFiles::Step::OpenFolder, EIO, true},
                  {PosixFiles::Step::OpenFolder, EACCES, true}};
    for (const auto& c : changes) {
        for (const auto& fault : faults) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(static_cast<int>(fault.step)) + " " +
                         std::to_string(fault.error));
            for (const std::string& name : Listing(tmp.path())) fs::remove(At(name));
            WriteFile(At("bsrv.mdb"), "old");
            WriteFile(At("new.mdb"), "new");
            PosixFiles flushing(paths, {},
                                [&](PosixFiles::Step step) { return step == fault.step ? fault.error : 0; });
            const auto kind = KindOf([&] { c.change(flushing); });
            EXPECT_EQ(kind, fault.notSaved ? std::optional(vb::ErrorKind::NotSaved) : std::nullopt);
            EXPECT_EQ(Listing(tmp.path()), c.after);
        }
    }
    EXPECT_EQ(ReadFile(At("bsrv.1")), "old");
}

}  // namespace
