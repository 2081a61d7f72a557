#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "posix/process.h"

namespace {

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
