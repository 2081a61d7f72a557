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
#include <functional>
#include <optional>

#include "support/holder.h"
#include "support/temp_folder.h"

namespace {

using platform_test::TempFolder;
using platform_test::WriteFile;
using test_support::Hold;
using test_support::Holder;
using wine::ServerHold;
namespace fs = std::filesystem;
using Fds = std::vector<std::string>;

TEST(ParseLocks, ReadsTheHolderAndTheLockedFileOfEachLine) {
    const char* locks =
        "1: POSIX  ADVISORY  WRITE 5737 fe:00:10956071 0 0\n"
        "1: -> POSIX ADVISORY  WRITE 5738 fe:00:10956071 0 0\n"
        "2: FLOCK  ADVISORY  WRITE 42 00:1a:123 0 EOF\n"
        "3: OFDLCK ADVISORY  READ  -1 08:01:1234 0 EOF\n"
        "4: POSIX  ADVISORY  READ  0 08:01:99 0 EOF\n"  // a holder outside this PID namespace
        "6: POSIX  ADVISORY\n"
        "7: POSIX  ADVISORY  WRITE 12x 08:01:1 0 0\n"
        "8: POSIX  ADVISORY  WRITE 12 08:01 0 0";
    const std::vector<wine::LockLine> lines = wine::ParseLocks(locks);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].pid, 5737);
    EXPECT_TRUE(lines[0].posix);
    EXPECT_EQ(lines[0].device, makedev(0xfe, 0));
    EXPECT_EQ(lines[0].inode, 10956071u);
    EXPECT_EQ(lines[1].pid, 5738);
    EXPECT_EQ(lines[2].pid, 42);
    EXPECT_FALSE(lines[2].posix);
    EXPECT_EQ(lines[2].device, makedev(0, 0x1a));
}

TEST(IsServerLockPath, KnowsWinesServerFoldersAndNothingElse) {
    const struct {
        const char* path;
        bool server;
    } rows[] = {
        {"/tmp/.wine-1000/server-fe00-a7f3b1/lock", true},
        {"/tmp/wine-Xy3kQ9/server-803-4e21/lock", true},  // Debian's
        {"/proc/42/root/tmp/.wine-0/server-1-2/lock", true},
        {"/tmp/.wine-1000/server-fe00-a7f3b1/socket", false},
        {"/tmp/.wine-ann/server-fe00-a7f3b1/lock", false},
        {"/tmp/.wine-1000/server-fe00/lock", false},
        {"/tmp/.wine-1000/server-fg00-1/lock", false},
        {"/tmp/elsewhere/server-fe00-1/lock", false},
        {"/tmp/.wine-1000/lock", false},
        {"lock", false},
    };
    for (const auto& row : rows) EXPECT_EQ(wine::IsServerLockPath(row.path), row.server) << row.path;
}

TEST(CouldOpen, GoesByTheOwnerGroupAndModeAndRootAlwaysCan) {
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
        {0600, 1000, 1000, {}, true},   {0060, 1000, 100, {}, false},  // the owner's bits alone count for the owner
        {0640, 1001, 100, {}, true},    {0640, 1001, 5, {7, 100}, true}, {0604, 1001, 5, {100}, false},
        {0604, 1001, 5, {}, true},      {0600, 1001, 100, {}, false},   {0000, 0, 0, {}, true},
    };
    for (const auto& row : rows) {
        file.st_mode = S_IFREG | row.mode;
        EXPECT_EQ(wine::CouldOpen(file, row.uid, row.gid, row.groups), row.could)
            << std::oct << row.mode << std::dec << " uid " << row.uid << " gid " << row.gid;
    }
}

// A process tree of its own: <root>/proc with the list of locks and each
// process's status, comm, open files (links to real files) and root, and
// <root>/tmp, the temporary folder whose server folders are looked through;
// <root>/sandbox is the root of a process with a /tmp of its own.
class FakeProcesses {
public:
    FakeProcesses() {
        WriteFile(File(), "db");
        WriteFile(root / "tmp/.wine-1000/server-fe00-1b/lock", "");
        WriteFile(root / "sandbox/tmp/.wine-1000/server-fe00-2c/lock", "");  // out of the temporary folder's sight
        fs::create_directories(root / "proc");
        view.proc = root / "proc";
        view.temporaryFolders = {root / "tmp"};
    }
    std::string File() const { return root / "files/bsrv.mdb"; }
    std::string TmpServerLock() const { return root / "tmp/.wine-1000/server-fe00-1b/lock"; }
    std::string SandboxServerLock() const { return root / "sandbox/tmp/.wine-1000/server-fe00-2c/lock"; }
    std::string OtherFile() const { return root / "files/other.lock"; }

    // pid holds a POSIX lock on path.
    void Lock(pid_t pid, const std::string& path, const char* kind = "POSIX") {
        struct stat st{};
        if (stat(path.c_str(), &st) != 0) WriteFile(path, "");
        stat(path.c_str(), &st);
        char line[256];
        std::snprintf(line, sizeof line, "%zu: %s  ADVISORY  WRITE %d %02x:%02x:%lu 0 EOF\n", locks.size() + 1, kind,
                      pid, major(st.st_dev), minor(st.st_dev), static_cast<unsigned long>(st.st_ino));
        locks += line;
    }
    // A process; without fds its open files cannot be read.
    void Process(pid_t pid, const std::string& name, uid_t uid, const std::optional<Fds>& fds) {
        const std::string folder = root / ("proc/" + std::to_string(pid));
        WriteFile(folder + "/comm", name + "\n");
        WriteFile(folder + "/status", "Name:\t" + name + "\nUmask:\t0022\nUid:\t" + Ids(uid) + "\nGid:\t" +
                                          Ids(uid) + "\nGroups:\t\n");
        if (!fds) return;
        fs::create_directories(folder + "/fd");
        int n = 3;
        for (const std::string& target : *fds) fs::create_symlink(target, folder + "/fd/" + std::to_string(n++));
    }
    // pid sees its files from <root>/sandbox.
    void Sandboxed(pid_t pid) {
        fs::create_directory_symlink(root / "sandbox", root / ("proc/" + std::to_string(pid) + "/root"));
    }
    wine::ServerAnswer Find(bool withLocks = true) {
        if (withLocks) WriteFile(root / "proc/locks", locks);
        struct stat st{};
        stat(File().c_str(), &st);
        return wine::FindInWineServer(st, view);
    }

    TempFolder root;
    wine::ProcessView view;
    std::string locks;

private:
    static std::string Ids(uid_t id) {
        const std::string one = std::to_string(id);
        return one + "\t" + one + "\t" + one + "\t" + one;
    }
};

TEST(FindInWineServer, KnowsAServerByItsLockAndTellsCannotTellFromOpen) {
    const uid_t me = geteuid();
    const uid_t other = me + 4242;
    const pid_t server = 5000001, second = 5000002;  // above any pid the kernel gives
    using Lay = std::function<void(FakeProcesses&)>;
    const struct {
        const char* name;
        Lay lay;
        ServerHold hold;
        pid_t pid;
    } rows[] = {
        {"any name, its server lock in the temporary folder, has the file",
         [&](FakeProcesses& p) {
             p.Lock(server, p.TmpServerLock());
             p.Process(server, "anything", me, Fds{p.TmpServerLock(), p.File()});
         },
         ServerHold::kOpen, server},
        {"any name, its server lock in a /tmp of its own, has the file",
         [&](FakeProcesses& p) {
             p.Lock(server, p.SandboxServerLock());
             p.Process(server, "anything", me, Fds{p.SandboxServerLock(), p.File()});
             p.Sandboxed(server);
         },
         ServerHold::kOpen, server},
        {"wineserver32 without the file",
         [&](FakeProcesses& p) {
             p.Lock(server, p.TmpServerLock());
             p.Process(server, "wineserver32", me, Fds{p.TmpServerLock()});
         },
         ServerHold::kNotOpen, 0},
        {"a holder of another lock, no wineserver, has the file",
         [&](FakeProcesses& p) {
             p.Lock(server, p.OtherFile());
             p.Process(server, "sqlite-user", me, Fds{p.OtherFile(), p.File()});
             p.Sandboxed(server);
         },
         ServerHold::kNotOpen, 0},
        {"a server lock of the temporary folder, open files unreadable",
         [&](FakeProcesses& p) {
             p.Lock(server, p.TmpServerLock());
             p.Process(server, "srv", me, std::nullopt);
         },
         ServerHold::kCannotTell, server},
        {"another user's wineserver64 whose lock is out of sight, who could open the file",
         [&](FakeProcesses& p) {
             p.Lock(server, p.OtherFile());
             p.Process(server, "wineserver64", other, std::nullopt);
         },
         ServerHold::kCannotTell, server},
        {"another user's wineserver64 who could not open the file",
         [&](FakeProcesses& p) {
             fs::permissions(p.File(), fs::perms::owner_read | fs::perms::owner_write);
             p.Lock(server, p.OtherFile());
             p.Process(server, "wineserver64", other, std::nullopt);
         },
         ServerHold::kNotOpen, 0},
        {"another user's server whose open files can be read",
         [&](FakeProcesses& p) {
             p.Lock(server, p.SandboxServerLock());
             p.Process(server, "proton-server", other, Fds{p.SandboxServerLock(), p.File()});
             p.Sandboxed(server);
         },
         ServerHold::kOpen, server},
        {"one cannot be looked into, the next has the file",
         [&](FakeProcesses& p) {
             p.Lock(server, p.TmpServerLock());
             p.Process(server, "srv", me, std::nullopt);
             p.Lock(second, p.SandboxServerLock());
             p.Process(second, "srv", me, Fds{p.SandboxServerLock(), p.File()});
             p.Sandboxed(second);
         },
         ServerHold::kOpen, second},
        {"a flock holder named wineserver",
         [&](FakeProcesses& p) {
             p.Lock(server, p.OtherFile(), "FLOCK");
             p.Process(server, "wineserver", me, Fds{p.File()});
         },
         ServerHold::kNotOpen, 0},
        {"a holder that has ended", [&](FakeProcesses& p) { p.Lock(server, p.TmpServerLock()); },
         ServerHold::kNotOpen, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeProcesses p;
        row.lay(p);
        const wine::ServerAnswer answer = p.Find();
        EXPECT_EQ(answer.hold, row.hold);
        EXPECT_EQ(answer.pid, row.pid);
        if (row.hold == ServerHold::kCannotTell) {
            EXPECT_NE(answer.error, 0);
            EXPECT_NE(answer.why.find("(process " + std::to_string(row.pid)), std::string::npos) << answer.why;
        }
    }
}

// Where the list of locks cannot be read, the name alone tells, and every
// "wineserver*" counts; where the processes cannot be read, nobody can tell.
TEST(FindInWineServer, WithoutTheListOfLocksGoesByTheName) {
    const pid_t pid = 5000003;
    const struct {
        const char* name;
        ServerHold hold;
    } rows[] = {{"wineserver", ServerHold::kOpen},
                {"wineserver32", ServerHold::kOpen},
                {"wineserver-stag", ServerHold::kOpen},
                {"anything", ServerHold::kNotOpen}};
    for (const auto& row : rows) {
        FakeProcesses p;
        p.Process(pid, row.name, geteuid(), Fds{p.File()});
        EXPECT_EQ(p.Find(false).hold, row.hold) << row.name;
    }
    FakeProcesses p;
    p.view.proc = p.root / "no-proc";
    const wine::ServerAnswer answer = p.Find(false);
    EXPECT_EQ(answer.hold, ServerHold::kCannotTell);
    EXPECT_EQ(answer.error, ENOENT);
    EXPECT_NE(answer.why.find("no-proc"), std::string::npos) << answer.why;
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
        SCOPED_TRACE(name);
        Holder server(tmp / "held.mdb", Hold::OpenInWineServer, name);
        EXPECT_EQ(find("held.mdb"), ServerHold::kOpen);
        EXPECT_EQ(find("free.mdb"), ServerHold::kNotOpen);
    }
    Holder locker(tmp / "held.mdb", Hold::PosixWriteLock);
    EXPECT_EQ(find("held.mdb"), ServerHold::kNotOpen);
}

}  // namespace
