#include "wine/windows_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "support/temp_folder.h"

namespace {

using wine::WinePaths;
using platform_test::TempFolder;
using platform_test::WriteFile;
namespace fs = std::filesystem;

// A Wine prefix as Wine lays it out: drive_c with a user profile and a
// program, dosdevices links c: and z:.
class FakePrefix : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(tmp / "system.reg", "WINE REGISTRY Version 2\n");
        fs::create_directories(tmp / "dosdevices");
        fs::create_directory_symlink("../drive_c", tmp / "dosdevices/c:");
        fs::create_directory_symlink("/", tmp / "dosdevices/z:");
        WriteFile(tmp / "drive_c/users/me/Documents/Varnock Rolvane/Data/bsrv.mdb", "db");
        WriteFile(tmp / "drive_c/Program Files (x86)/Brenwick Software/Rolvane/rolvane.exe", "exe");
        WriteFile(tmp / "drive_c/users/me/Documents/Ünïcode Földer/Straße.mdb", "db");
        WriteFile(tmp / "drive_c/twins/Report.txt", "upper");
        WriteFile(tmp / "drive_c/twins/report.txt", "lower");
    }
    std::string C(const std::string& tail) const { return tmp.path() + "/dosdevices/c:/" + tail; }

    TempFolder tmp;
};

TEST_F(FakePrefix, MapsWindowsPathsAsWineDoes) {
    const WinePaths paths(tmp.path());
    const std::string data = "users/me/Documents/Varnock Rolvane/Data";
    const struct {
        std::string windows;
        std::string host;
    } cases[] = {
        {R"(C:\users\me\Documents\Varnock Rolvane\Data\bsrv.mdb)", C(data + "/bsrv.mdb")},
        {R"(c:\USERS\ME\documents\varnock rolvane\data\BSRV.MDB)", C(data + "/bsrv.mdb")},
        // Written exactly up to one folder, then in other letter case, then exactly.
        {R"(C:\users\me\Documents\VARNOCK rolvane\Data\bsrv.mdb)", C(data + "/bsrv.mdb")},
        {R"(C:/users\\me//Documents\.\Temp\..\Varnock Rolvane\Data\)", C(data)},
        {R"(C:\..\..\users\me)", C("users/me")},
        {R"(c:\program files (x86)\brenwick software\rolvane\ROLVANE.EXE)",
         C("Program Files (x86)/Brenwick Software/Rolvane/rolvane.exe")},
        {R"(C:\Users\Me\Documents\üNÏCODE fÖLDER\STRASSE.mdb)",
         C("users/me/Documents/Ünïcode Földer/STRASSE.mdb")},  // ß has no one-letter capital
        {R"(C:\Users\Me\Documents\üNÏCODE fÖLDER\straße.MDB)", C("users/me/Documents/Ünïcode Földer/Straße.mdb")},
        // Missing components stay as written, and so does all that follows.
        {R"(C:\users\me\Documents\Varnock Rolvane\Backup\DATA\new.mdb)",
         C("users/me/Documents/Varnock Rolvane/Backup/DATA/new.mdb")},
        // The exact name wins; otherwise the first case variant in byte order.
        {R"(C:\twins\report.txt)", C("twins/report.txt")},
        {R"(C:\twins\Report.txt)", C("twins/Report.txt")},
        {R"(C:\TWINS\REPORT.TXT)", C("twins/Report.txt")},
        {"C:", tmp.path() + "/dosdevices/c:"},
        // Z: is the host's root, resolved the same way.
        {"Z:" + tmp.path() + R"(\DRIVE_C\Users\ME)", tmp.path() + "/dosdevices/z:" + tmp.path() + "/drive_c/users/me"},
        // Host paths keep their root; appended Windows tails still separate.
        {tmp.path() + R"(\drive_c\USERS\me\\)", tmp.path() + "/drive_c/users/me"},
    };
    for (const auto& c : cases) EXPECT_EQ(paths.ToHost(c.windows), c.host) << c.windows;
}

TEST_F(FakePrefix, MappedPathsReachTheFiles) {
    const WinePaths paths(tmp.path());
    struct stat st{};
    EXPECT_EQ(stat(paths.ToHost(R"(C:\USERS\me\documents\VARNOCK ROLVANE\data\bsrv.mdb)").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST(WinePathsWithoutDosDevices, DriveCIsDriveC) {
    // As a prefix copied without its links: Wine makes dosdevices/c: anew.
    TempFolder prefix;
    WriteFile(prefix / "drive_c/users/me/Documents/bsrv.mdb", "db");
    const WinePaths paths(prefix.path());
    EXPECT_EQ(paths.ToHost(R"(C:\Users\ME\documents\BSRV.mdb)"), prefix / "drive_c/users/me/Documents/bsrv.mdb");
    EXPECT_EQ(paths.ToHost(R"(\users\me)"), prefix / "drive_c/users/me");
    EXPECT_EQ(paths.ToHost(R"(D:\x)"), prefix / "dosdevices/d:/x");
}

TEST(WinePathsWithoutPrefix, DrivePathsMapToNothingThatCanExist) {
    const WinePaths paths("");
    for (const std::string path : {R"(C:\users\me\Documents)", R"(z:\tmp)", R"(\\server\share\x.mdb)", R"(\x.mdb)"}) {
        const std::string host = paths.ToHost(path);
        EXPECT_EQ(host, paths.ToHost(path));
        struct stat st{};
        EXPECT_NE(stat(host.c_str(), &st), 0) << host;
        EXPECT_EQ(errno, ENOTDIR) << host;
    }
}

TEST_F(FakePrefix, FindPrefixFollowsWinesChoice) {
    TempFolder home;
    const std::string homePrefix = home / ".wine";
    WriteFile(homePrefix + "/system.reg", "WINE REGISTRY Version 2\n");
    fs::create_directories(homePrefix + "/dosdevices");
    TempFolder broken;  // no dosdevices
    WriteFile(broken / "system.reg", "");

    auto find = [](std::string home, std::string prefix) {
        ports::HostEnvironment env;
        env.home = std::move(home);
        env.winePrefix = std::move(prefix);
        return WinePaths::FindPrefix(env);
    };
    EXPECT_EQ(find(home.path(), tmp.path()), tmp.path());
    EXPECT_EQ(find(home.path(), tmp.path() + "/"), tmp.path());
    EXPECT_EQ(find(home.path(), ""), homePrefix);
    EXPECT_EQ(find(home.path(), broken.path()), std::nullopt);  // not silently ~/.wine
    EXPECT_EQ(find(broken.path(), ""), std::nullopt);
    EXPECT_EQ(find("", ""), std::nullopt);
}

}  // namespace
