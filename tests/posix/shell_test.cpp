#include "posix/shell.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace {

using ports::CSIDL_APPDATA;
using ports::CSIDL_PERSONAL;
using ports::CSIDL_PROGRAM_FILES;
using ports::HostEnvironment;
using posix::PosixShell;
using platform_test::TempFolder;
using platform_test::WriteFile;

HostEnvironment Env(const std::string& home, const std::string& user = "me") {
    HostEnvironment env;
    env.home = home;
    env.user = user;
    return env;
}

// All three ids through the two-step lookup the procedures use.
std::vector<std::string> Folders(PosixShell& shell) {
    std::vector<std::string> paths;
    for (int id : {CSIDL_PERSONAL, CSIDL_APPDATA, CSIDL_PROGRAM_FILES}) {
        int location = -1;
        std::string path = "unset";
        EXPECT_EQ(shell.GetSpecialFolderLocation(id, location), 0) << id;
        EXPECT_TRUE(shell.GetPathFromIDList(location, path)) << id;
        paths.push_back(path);
    }
    return paths;
}

const char* kSystem64 = R"reg(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Microsoft\\Windows\\CurrentVersion] 1700000000
#time=1da0b1c2d3e4f50
"CommonFilesDir"="C:\\Program Files\\Common Files"
"ProgramFilesDir"="C:\\Program Files"
"ProgramFilesDir (x86)"="C:\\Program Files (x86)"

[Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion] 1700000000
"ProgramFilesDir"="C:\\Program Files (x86)"
)reg";

const char* kSystem32 = R"reg(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win32

[Software\\Microsoft\\Windows\\CurrentVersion] 1700000000
"ProgramFilesDir"="C:\\Program Files"
)reg";

// Shell Folders last written for another user; User Shell Folders relative
// to the profile, one of them redirected to another drive.
const char* kUserRegOtherUser = R"reg(WINE REGISTRY Version 2
#arch=win64

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders] 1700000000
"AppData"="C:\\users\\bob\\AppData\\Roaming"
"Personal"="C:\\users\\bob\\Documents"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders] 1700000000
"AppData"=str(2):"%USERPROFILE%\\AppData\\Roaming\\"
"Personal"=str(2):"D:\\Shared\\%USERNAME% Docs"
)reg";

// Only Shell Folders, for the current user, with a non-default folder.
const char* kUserRegResolvedOnly = R"reg(WINE REGISTRY Version 2
[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders] 1700000000
"AppData"="C:\\users\\bob\\AppData\\Roaming"
"Personal"="C:\\users\\J\xfcrgen\\My Documents"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders] 1700000000
"Personal"=str(2):"%UNKNOWNVAR%\\Documents"
)reg";

// A CrossOver bottle: its one Windows user is "crossover", whoever runs it.
const char* kUserRegBottle = R"reg(WINE REGISTRY Version 2
[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders] 1700000000
"Personal"="C:\\users\\crossover\\Documents"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders] 1700000000
"AppData"=str(2):"%USERPROFILE%\\AppData\\Roaming"
)reg";

TEST(PosixShellInPrefix, GivesTheFoldersA32BitProgramSees) {
    const struct {
        const char* what;
        const char* systemReg;  // nullptr: no file
        const char* userReg;
        std::string user;
        std::vector<std::string> folders;
        std::vector<std::string> profiles = {};  // folders under drive_c/users
    } cases[] = {
        {"64-bit, defaults", kSystem64, nullptr, "me",
         {"C:\\users\\me\\Documents", "C:\\users\\me\\AppData\\Roaming", "C:\\Program Files (x86)"}},
        {"32-bit, defaults", kSystem32, nullptr, "me",
         {"C:\\users\\me\\Documents", "C:\\users\\me\\AppData\\Roaming", "C:\\Program Files"}},
        {"64-bit without values", "WINE REGISTRY Version 2\n#arch=win64\n", "", "me",
         {"C:\\users\\me\\Documents", "C:\\users\\me\\AppData\\Roaming", "C:\\Program Files (x86)"}},
        {"another user ran last", kSystem64, kUserRegOtherUser, "me",
         {"D:\\Shared\\me Docs", "C:\\users\\me\\AppData\\Roaming", "C:\\Program Files (x86)"}},
        {"resolved values only", kSystem32, kUserRegResolvedOnly, "Jürgen",
         {"C:\\users\\Jürgen\\My Documents", "C:\\users\\Jürgen\\AppData\\Roaming", "C:\\Program Files"}},
        {"a bottle's own Windows user", kSystem32, kUserRegBottle, "me",
         {"C:\\users\\crossover\\Documents", "C:\\users\\crossover\\AppData\\Roaming", "C:\\Program Files"},
         {"crossover", "Public"}},
        {"this user's profile beside another", kSystem64, kUserRegOtherUser, "me",
         {"D:\\Shared\\me Docs", "C:\\users\\me\\AppData\\Roaming", "C:\\Program Files (x86)"},
         {"bob", "ME", "Public"}},
        {"several other profiles", kSystem32, kUserRegBottle, "me",
         {"C:\\users\\me\\Documents", "C:\\users\\me\\AppData\\Roaming", "C:\\Program Files"},
         {"crossover", "steamuser"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder prefix;
        if (c.systemReg) WriteFile(prefix / "system.reg", c.systemReg);
        if (c.userReg) WriteFile(prefix / "user.reg", c.userReg);
        for (const std::string& profile : c.profiles)
            std::filesystem::create_directories(prefix / ("drive_c/users/" + profile));
        PosixShell shell(prefix.path(), Env("/home/" + c.user, c.user));
        EXPECT_EQ(Folders(shell), c.folders);
    }
}

TEST(PosixShellWithoutPrefix, GivesTheUsersOwnFolders) {
    TempFolder home;
    PosixShell plain("", Env(home.path()));
    EXPECT_EQ(Folders(plain), (std::vector<std::string>{home / "Documents", home / ".local/share", "/opt"}));

    WriteFile(home / ".config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\n"
              "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    PosixShell german("", Env(home.path()));
    EXPECT_EQ(german.FolderPath(CSIDL_PERSONAL), home / "Dokumente");

    TempFolder config;
    WriteFile(config / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
    HostEnvironment env = Env(home.path());
    env.xdgConfigHome = config.path();
    env.xdgDataHome = "/data/share/";
    PosixShell custom("", env);
    EXPECT_EQ(custom.FolderPath(CSIDL_PERSONAL), "/srv/docs");
    EXPECT_EQ(custom.FolderPath(CSIDL_APPDATA), "/data/share");
}

TEST(PosixShell, OtherIdsAreUnknown) {
    TempFolder prefix;
    for (const std::string& p : {std::string(), prefix.path()}) {
        PosixShell shell(p, Env("/home/me"));
        for (int id : {0, 7, 28, 35, 42, -1}) {
            int location = 1234;
            EXPECT_NE(shell.GetSpecialFolderLocation(id, location), 0) << id;
            std::string path;
            EXPECT_FALSE(shell.GetPathFromIDList(id, path)) << id;
        }
    }
}

}  // namespace
