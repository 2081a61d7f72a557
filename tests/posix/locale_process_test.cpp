#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "posix/locale.h"
#include "posix/process.h"

namespace {

TEST(PosixLocale, ShortDateAndLongTimeDateAloneAtMidnight) {
    posix::PosixLocale c("C");
    EXPECT_EQ(c.GeneralDate({2026, 12, 8, 4, 22, 56}), "12/08/26 04:22:56");
    EXPECT_EQ(c.GeneralDate({2026, 12, 8, 0, 0, 0}), "12/08/26");
    EXPECT_EQ(c.GeneralDate({2026, 12, 8, 0, 0, 1}), "12/08/26 00:00:01");
    // A locale that is not installed falls back to C.
    posix::PosixLocale missing("xx_NOWHERE.UTF-8");
    EXPECT_EQ(missing.GeneralDate({2001, 2, 3, 13, 4, 5}), "02/03/01 13:04:05");
}

TEST(PosixProcess, EndsAtOnceWithoutFlushing) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        dup2(out[1], STDOUT_FILENO);
        setvbuf(stdout, nullptr, _IOFBF, 4096);
        std::fputs("buffered", stdout);
        posix::PosixProcess().End();
    }
    close(out[1]);
    char buffer[16];
    ssize_t got = read(out[0], buffer, sizeof buffer);
    close(out[0]);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(got, 0);  // nothing flushed
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
