// Which wineserver holds a file open: the holders of locks in the kernel's
// list, and every process where that list cannot be read.
#include "wine/wineserver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/holder.h"
#include "support/temp_folder.h"

namespace {

using platform_test::TempFolder;
using platform_test::WriteFile;
using test_support::Hold;
using test_support::Holder;
using wine::ServerHold;

TEST(LockHolders, AreTheProcessesTheKernelNamesForEachLock) {
    const char* locks =
        "1: POSIX  ADVISORY  WRITE 5737 fe:00:10956071 0 0\n"
        "1: -> POSIX  ADVISORY  WRITE 5738 fe:00:10956071 0 0\n"
        "2: FLOCK  ADVISORY  WRITE 42 00:1a:123 0 EOF\n"
        "3: OFDLCK ADVISORY  READ  -1 08:01:1234 0 EOF\n"
        "4: POSIX  ADVISORY  READ  0 08:01:99 0 EOF\n"  // a holder outside this PID namespace
        "5: POSIX  ADVISORY  READ  5737 08:01:1235 268435456 268435456\n"
        "6: POSIX  ADVISORY\n"
        "7: POSIX  ADVISORY  WRITE 12x 08:01:1 0 0";
    EXPECT_EQ(wine::LockHolders(locks), (std::vector<pid_t>{5737, 5738, 42}));
    EXPECT_TRUE(wine::LockHolders("").empty());
}

// Found through the list of locks, and by looking at every process where
// the list cannot be read; a process that locks a file but is no
// wineserver has nothing open in Wine's sense.
TEST(FindInWineServer, FindsTheWineServerThatHasTheFileOpen) {
    TempFolder tmp;
    WriteFile(tmp / "held.mdb", "db");
    WriteFile(tmp / "free.mdb", "db");
    auto find = [&](const std::string& name, const std::string& locks) {
        struct stat st{};
        EXPECT_EQ(stat((tmp / name).c_str(), &st), 0);
        return wine::FindInWineServer(st.st_dev, st.st_ino, locks);
    };
    for (const std::string& locks : {std::string("/proc/locks"), tmp / "no-such-list"}) {
        SCOPED_TRACE(locks);
        {
            Holder server(tmp / "held.mdb", Hold::OpenInWineServer);
            EXPECT_EQ(find("held.mdb", locks), ServerHold::kOpen);
            EXPECT_EQ(find("free.mdb", locks), ServerHold::kNotOpen);
        }
        Holder locker(tmp / "held.mdb", Hold::PosixWriteLock);
        EXPECT_EQ(find("held.mdb", locks), ServerHold::kNotOpen);
    }
}

}  // namespace
