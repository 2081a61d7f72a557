// Which wineserver holds a file open: servers known by the lock of their
// server folder whatever their name, by their name where nothing else
// tells, other users' servers, and "cannot tell" told apart from "open".
#include "wine/wineserver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "support/holder.h"
#include "support/temp_folder.h"

namespace {

using platform_test::TempFolder;
using platform_test::WriteFile;
using test_support::Hold;
using test_support::Holder;
using wine::ServerHold;
namespace fs = std::filesystem;

TEST(ParseLocks, ReadsTheHolderAndTheLockedFileOfEachLine) {
    const std::vector<wine::LockLine> lines = wine::ParseLocks(
        "1: POSIX  ADVISORY  WRITE 5737 fe:00:10956071 0 0\n"
        "1: -> POSIX ADVISORY  WRITE 5738 fe:00:10956071 0 0\n"
        "2: FLOCK  ADVISORY  WRITE 42 00:1a:123 0 EOF\n"
        "3: OFDLCK ADVISORY  READ  -1 08:01:1234 0 EOF\n"
        "4: POSIX  ADVISORY  READ  0 08:01:99 0 EOF\n"  // a holder outside this PID namespace
        "6: POSIX  ADVISORY\n"
        "7: POSIX  ADVISORY  WRITE 12x 08:01:1 0 0\n"
        "8: POSIX  ADVISORY  WRITE 12 08:01 0 0");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].pid == 5737 && lines[0].posix && lines[0].device == makedev(0xfe, 0) &&
                lines[0].inode == 10956071u);
    EXPECT_TRUE(lines[1].pid == 5738 && lines[1].posix);
    EXPECT_TRUE(lines[2].pid == 42 && !lines[2].posix && lines[2].device == makedev(0, 0x1a));
}

TEST(WineServerNames, ServerFoldersAndUsersWhoCouldOpenAFile) {
    for (const char* path : {"/tmp/.wine-1000/server-fe00-a7f3b1/lock", "/tmp/wine-Xy3kQ9/server-803-4e21/lock",
                             "/proc/42/root/tmp/.wine-0/server-1-2/lock"})
        EXPECT_TRUE(wine::IsServerLockPath(path)) << path;
    for (const char* path : {"/tmp/.wine-1000/server-fe00-a7f3b1/socket", "/tmp/.wine-ann/server-fe00-1/lock",
                             "/tmp/.wine-1000/server-fg00-1/lock", "/tmp/elsewhere/server-fe00-1/lock"})
        EXPECT_FALSE(wine::IsServerLockPath(path)) << path;

    struct stat file{};
    file.st_uid = 1000;
    file.st_gid = 100;
    const struct {
        mode_t mode;
        uid_t uid;
        gid_t gid;
        std::vector<gid_t> groups;
        bool could;
    } rows[] = {
        {0060, 1000, 100, {}, false},  // the owner's bits alone count for the owner
        {0640, 1001, 5, {7, 100}, true}, {0604, 1001, 5, {100}, false}, {0604, 1001, 5, {}, true},
        {0000, 0, 0, {}, true},
    };
    for (const auto& row : rows) {
        file.st_mode = S_IFREG | row.mode;
        EXPECT_EQ(wine::CouldOpen(file, row.uid, row.gid, row.groups), row.could) << std::oct << row.mode;
    }
}

// A process tree of its own: <root>/proc with the list of locks and each
// process's comm, status, open files (links to real files) and root, and
// <root>/tmp, the temporary folder whose server folders are looked through.
enum class Lock { kTmpServer, kOwnTmpServer, kOther, kEnded };
struct FakeProcess {
    const char* name;
    bool otherUser;
    Lock lock;
    bool filesReadable;
    bool hasFile;
};

wine::ServerAnswer FindAmong(const std::vector<FakeProcess>& processes, mode_t mode, bool withLocks = true) {
    TempFolder root;
    const std::string file = root / "files/bsrv.mdb", other = root / "files/other.lock";
    const std::string tmpServer = root / "tmp/.wine-1000/server-fe00-1b/lock";
    const std::string ownTmpServer = root / "sandbox/tmp/.wine-1000/server-fe00-2c/lock";
    for (const std::string& path : {file, other, tmpServer, ownTmpServer}) WriteFile(path, "");
    fs::permissions(file, static_cast<fs::perms>(mode));
    std::string locks;
    for (size_t i = 0; i < processes.size(); ++i) {
        const FakeProcess& p = processes[i];
        const pid_t pid = 5000001 + static_cast<pid_t>(i);  // above any pid the kernel gives
        const std::string locked = p.lock == Lock::kTmpServer      ? tmpServer
                                   : p.lock == Lock::kOwnTmpServer ? ownTmpServer
                                                                   : other;
        struct stat st{};
        stat(locked.c_str(), &st);
        char line[200];
        std::snprintf(line, sizeof line, "%zu: POSIX  ADVISORY  WRITE %d %02x:%02x:%lu 0 EOF\n", i + 1, pid,
                      major(st.st_dev), minor(st.st_dev), static_cast<unsigned long>(st.st_ino));
        locks += line;
        if (p.lock == Lock::kEnded) continue;
        const std::string folder = root / ("proc/" + std::to_string(pid));
        const std::string uid = std::to_string(geteuid() + (p.otherUser ? 4242 : 0));
        WriteFile(folder + "/comm", std::string(p.name) + "\n");
        WriteFile(folder + "/status", std::string("Name:\t") + p.name + "\nUid:\t" + uid + "\t" + uid + "\t" + uid +
                                          "\t" + uid + "\nGid:\t" + uid + "\t" + uid + "\t" + uid + "\t" + uid +
                                          "\nGroups:\t\n");
        if (p.lock == Lock::kOwnTmpServer) fs::create_directory_symlink(root / "sandbox", folder + "/root");
        if (!p.filesReadable) continue;
        fs::create_directories(folder + "/fd");
        fs::create_symlink(locked, folder + "/fd/3");
        if (p.hasFile) fs::create_symlink(file, folder + "/fd/4");
    }
    if (withLocks) WriteFile(root / "proc/locks", locks);
    wine::ProcessView view;
    view.proc = root / "proc";
    view.temporaryFolders = {root / "tmp"};
    struct stat st{};
    stat(file.c_str(), &st);
    return wine::FindInWineServer(st, view);
}

TEST(FindInWineServer, KnowsAServerByItsLockAndTellsCannotTellFromOpen) {
    const struct {
        const char* name;
        std::vector<FakeProcess> processes;
        mode_t mode;
        ServerHold hold;
        int which;  // the process the answer names (-1: none)
    } rows[] = {
        {"any name, its lock in the temporary folder", {{"anything", false, Lock::kTmpServer, true, true}}, 0644,
         ServerHold::kOpen, 0},
        {"any name, its lock in a /tmp of its own", {{"anything", false, Lock::kOwnTmpServer, true, true}}, 0644,
         ServerHold::kOpen, 0},
        {"wineserver32 without the file", {{"wineserver32", false, Lock::kTmpServer, true, false}}, 0644,
         ServerHold::kNotOpen, -1},
        {"no wineserver: another lock", {{"sqlite-user", false, Lock::kOther, true, true}}, 0644,
         ServerHold::kNotOpen, -1},
        {"a server whose open files cannot be read", {{"srv", false, Lock::kTmpServer, false, false}}, 0644,
         ServerHold::kCannotTell, 0},
        {"another user's wineserver64 who could open the file", {{"wineserver64", true, Lock::kOther, false, false}},
         0644, ServerHold::kCannotTell, 0},
        {"another user's wineserver64 who could not", {{"wineserver64", true, Lock::kOther, false, false}}, 0600,
         ServerHold::kNotOpen, -1},
        {"another user's server, readable", {{"proton-srv", true, Lock::kOwnTmpServer, true, true}}, 0644,
         ServerHold::kOpen, 0},
        {"one cannot be read, the next has the file",
         {{"srv", false, Lock::kTmpServer, false, false}, {"srv", false, Lock::kOwnTmpServer, true, true}}, 0644,
         ServerHold::kOpen, 1},
        {"a holder that has ended", {{"", false, Lock::kEnded, false, false}}, 0644, ServerHold::kNotOpen, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const wine::ServerAnswer answer = FindAmong(row.processes, row.mode);
        EXPECT_EQ(answer.hold, row.hold);
        EXPECT_EQ(answer.pid, row.which < 0 ? 0 : 5000001 + row.which);
        if (row.hold == ServerHold::kCannotTell) {
            EXPECT_NE(answer.why.find("(process 500000"), std::string::npos) << answer.why;
        }
    }
}

// Where the list of locks cannot be read, every "wineserver*" counts by its
// name; where the processes cannot be read, nobody can tell.
TEST(FindInWineServer, WithoutTheListOfLocksGoesByTheName) {
    for (const char* name : {"wineserver", "wineserver32", "wineserver-stag", "anything"})
        EXPECT_EQ(FindAmong({{name, false, Lock::kOther, true, true}}, 0644, false).hold,
                  std::string(name) == "anything" ? ServerHold::kNotOpen : ServerHold::kOpen)
            << name;
    struct stat st{};
    wine::ProcessView nowhere;
    nowhere.proc = "/nonexistent-proc";
    const wine::ServerAnswer answer = wine::FindInWineServer(st, nowhere);
    EXPECT_EQ(answer.hold, ServerHold::kCannotTell);
    EXPECT_EQ(answer.error, ENOENT);
    EXPECT_NE(answer.why.find("/nonexistent-proc"), std::string::npos) << answer.why;
}

// Real processes: a server of any name is found through the kernel's list
// of locks; a process that locks the file itself is no wineserver.
TEST(FindInWineServer, FindsARunningServerWhateverItsName) {
    TempFolder tmp;
    WriteFile(tmp / "held.mdb", "db");
    WriteFile(tmp / "free.mdb", "db");
    auto find = [&](const std::string& name) {
        struct stat st{};
        EXPECT_EQ(stat((tmp / name).c_str(), &st), 0);
        return wine::FindInWineServer(st).hold;
    };
    for (const char* name : {"rolvane-holder", "wineserver32"}) {
        Holder server(tmp / "held.mdb", Hold::OpenInWineServer, name);
        EXPECT_EQ(find("held.mdb"), ServerHold::kOpen) << name;
        EXPECT_EQ(find("free.mdb"), ServerHold::kNotOpen) << name;
    }
    Holder locker(tmp / "held.mdb", Hold::PosixWriteLock);
    EXPECT_EQ(find("held.mdb"), ServerHold::kNotOpen);
}

}  // namespace
