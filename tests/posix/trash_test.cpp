// The trash on real folders: the home trash, a file system's own trash,
// names taken already, and the folder listing and sizes that Previous
// Versions reads through PosixFiles.
#include "posix/trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "posix/files.h"
#include "support/temp_folder.h"
#include "vb/error.h"

namespace {

using posix::Trash;
using platform_test::ReadFile;
using platform_test::TempFolder;
using platform_test::WriteFile;
namespace fs = std::filesystem;

int ErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const vb::Error& error) {
        return error.Number();
    }
    return 0;
}

// The home trash in this test's folder, through $XDG_DATA_HOME, for the
// file service that reads the process's environment; put back afterwards.
class TrashTest : public ::testing::Test {
protected:
    TrashTest() {
        if (const char* saved = std::getenv("XDG_DATA_HOME")) saved_ = saved;
        setenv("XDG_DATA_HOME", (tmp / "xdg").c_str(), 1);
    }
    ~TrashTest() override {
        if (saved_) setenv("XDG_DATA_HOME", saved_->c_str(), 1);
        else unsetenv("XDG_DATA_HOME");
    }
    std::string Real(const std::string& relative) const {
        return fs::canonical(tmp.path()).string() + "/" + relative;
    }

    TempFolder tmp;
    std::optional<std::string> saved_;
    ports::HostEnvironment env{tmp / "home", "ann", "", "", tmp / "xdg"};
};

// Universal time for the life of one test; the zone before is put back.
class InUniversalTime : public ::testing::Test {
protected:
    InUniversalTime() {
        if (const char* saved = std::getenv("TZ")) saved_ = saved;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    ~InUniversalTime() override {
        if (saved_) setenv("TZ", saved_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> saved_;
};

TEST_F(InUniversalTime, TrashInfoEscapesThePathAsInURLsAndGivesTheLocalDate) {
    EXPECT_EQ(posix::TrashInfo("/home/ann/My Documents/b%srv.1", 1767323045),
              "[Trash Info]\nPath=/home/ann/My%20Documents/b%25srv.1\nDeletionDate=2026-01-02T03:04:05\n");
    EXPECT_EQ(posix::TrashInfo("Daten/Müller/~a_b-c.(1)!*'", 0),
              "[Trash Info]\nPath=Daten/M%C3%BCller/~a_b-c.(1)!*'\nDeletionDate=1970-01-01T00:00:00\n");
}

TEST_F(TrashTest, TheHomeTrashTakesTheFileWholeWithItsInfoAndNeverReplacesAName) {
    const Trash trash(env, getuid());
    EXPECT_EQ(trash.HomeTrash(), tmp / "xdg/Trash");
    EXPECT_EQ(Trash({"/home/ann", "ann", "", "", "relative/data"}, 0).HomeTrash(), "/home/ann/.local/share/Trash");
    EXPECT_EQ(Trash({"", "ann", "", "", ""}, 0).HomeTrash(), "");

    const std::string content = std::string(100000, 'a') + "end";
    WriteFile(tmp / "Data/bsrv.3", content);
    const std::string placed = trash.Put(tmp / "Data/bsrv.3");
    EXPECT_EQ(placed, tmp / "xdg/Trash/files/bsrv.3");
    EXPECT_EQ(ReadFile(placed), content);
    EXPECT_FALSE(fs::exists(tmp / "Data/bsrv.3"));
    const std::string info = ReadFile(tmp / "xdg/Trash/info/bsrv.3.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + Real("Data/bsrv.3") + "\nDeletionDate=20", 0), 0u) << info;
    EXPECT_EQ(fs::status(tmp / "xdg/Trash").permissions(), fs::perms::owner_all);

    // The same name again, and a name whose file is there without its info.
    WriteFile(tmp / "Data/bsrv.3", "second");
    WriteFile(tmp / "xdg/Trash/files/bsrv.3.2", "stray");
    EXPECT_EQ(trash.Put(tmp / "Data/bsrv.3"), tmp / "xdg/Trash/files/bsrv.3.3");
    EXPECT_EQ(ReadFile(tmp / "xdg/Trash/files/bsrv.3"), content);
    EXPECT_EQ(ReadFile(tmp / "xdg/Trash/files/bsrv.3.2"), "stray");
    EXPECT_EQ(ReadFile(tmp / "xdg/Trash/files/bsrv.3.3"), "second");
    EXPECT_FALSE(fs::exists(tmp / "xdg/Trash/info/bsrv.3.2.trashinfo")) << "no info left for a name not taken";
    EXPECT_TRUE(fs::exists(tmp / "xdg/Trash/info/bsrv.3.3.trashinfo"));

    EXPECT_EQ(ErrorOf([&] { trash.Put(tmp / "Data/bsrv.9"); }), vb::kFileNotFound);
    EXPECT_EQ(ErrorOf([&] { trash.Put(tmp / "Nowhere/bsrv.9"); }), vb::kPathNotFound);
    fs::create_directories(tmp / "Data/Folder");
    EXPECT_EQ(ErrorOf([&] { trash.Put(tmp / "Data/Folder"); }), vb::kPathFileAccessError);
    EXPECT_TRUE(fs::exists(tmp / "Data/Folder"));
}

TEST_F(TrashTest, AFileOnAnotherFileSystemGoesToThatFileSystemsOwnTrash) {
    struct stat here{}, shm{};
    if (stat(tmp.path().c_str(), &here) != 0 || stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev)
        GTEST_SKIP() << "needs /dev/shm on another file system";
    const std::string own = "/dev/shm/.Trash-" + std::to_string(getuid());
    struct stat st{};
    const bool existed = lstat(own.c_str(), &st) == 0;
    std::string pattern = "/dev/shm/rolvane-trash-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string name = fs::path(pattern).filename().string();
    WriteFile(pattern + "/bsrv.1", "elsewhere");

    const std::string placed = Trash(env, getuid()).Put(pattern + "/bsrv.1");
    EXPECT_EQ(placed, own + "/files/bsrv.1");
    EXPECT_EQ(ReadFile(placed), "elsewhere");
    // Relative to the top of that file system, so it stays right wherever
    // the file system is mounted next.
    const std::string info = ReadFile(own + "/info/bsrv.1.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + name + "/bsrv.1\n", 0), 0u) << info;
    EXPECT_FALSE(fs::exists(tmp / "xdg/Trash")) << "the home trash is not used for it";

    fs::remove(placed);
    fs::remove(own + "/info/bsrv.1.trashinfo");
    if (!existed) fs::remove_all(own);
    fs::remove_all(pattern);
}

TEST_F(TrashTest, TheFileServiceListsWhatDirCountsGivesSizesAndTrashesThroughTheEnvironment) {
    const wine::WinePaths paths("");
    posix::PosixFiles files(paths);
    WriteFile(tmp / "Data/bsrv.mdb", "live");
    WriteFile(tmp / "Data/BSRV.2", "12345");
    WriteFile(tmp / "Data/.bsrv.3", "dot");
    WriteFile(tmp / "Data/back\\slash", "x");
    fs::create_directories(tmp / "Data/bsrv.4");
    WriteFile(tmp / "Data/marked", "x");
    const bool attributes = setxattr((tmp / "Data/marked").c_str(), "user.DOSATTRIB", "0x22", 4, 0) == 0;

    std::vector<std::string> names = files.FilesIn(tmp / "Data");
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {"BSRV.2", "bsrv.mdb"};
    if (!attributes) expected.push_back("marked");
    EXPECT_EQ(names, expected);
    EXPECT_EQ(files.FilesIn(tmp.path() + "\\DATA\\").size(), expected.size()) << "the folder matched as paths are";
    EXPECT_TRUE(files.FilesIn(tmp / "Missing").empty());

    EXPECT_EQ(files.FileLen(tmp / "Data/BSRV.2"), 5);
    EXPECT_EQ(ErrorOf([&] { files.FileLen(tmp / "Data/bsrv.9"); }), vb::kFileNotFound);

    files.MoveToTrash(tmp.path() + "\\data\\bsrv.2");
    EXPECT_EQ(ReadFile(tmp / "xdg/Trash/files/BSRV.2"), "12345");
    EXPECT_TRUE(fs::exists(tmp / "xdg/Trash/info/BSRV.2.trashinfo"));
    EXPECT_FALSE(fs::exists(tmp / "Data/BSRV.2"));
}

}  // namespace
