// A stop signal (Ctrl-C, kill, a closed terminal) sent at each step of a
// command that keeps the live database under a numbered name and copies new
// data over it. Before the new data takes its place the command undoes
// itself: no temporary file, no numbered copy, the old data live. After it
// the command is done. Either way the process then dies of that signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "posix/files_fixture.h"
#include "posix/stop_on_signal.h"

namespace {

using posix::FileStep;
using posix::PosixFiles;
using posix_files_test::Listing;
using posix_files_test::PosixFilesTest;
using platform_test::ReadFile;
using platform_test::WriteFile;

struct Moment {
    const char* name;
    bool copyAside;  // no hard links here: the old data is copied aside
    FileStep step;
    bool afterAside; // the signal comes as the step first runs after the copy aside is named
    bool replaced;   // the new data had taken its place
};

constexpr Moment kMoments[] = {
    {"second name made", false, FileStep::Link, false, false},
    {"its folder flushed", false, FileStep::FlushFolder, false, false},
    {"temporary file made", false, FileStep::CreateTemporary, false, false},
    {"first chunk", false, FileStep::CopyChunk, false, false},
    {"temporary file flushed", false, FileStep::FlushFile, false, false},
    {"renamed over the live name", false, FileStep::Replace, false, true},
    {"copying aside", true, FileStep::CopyChunk, false, false},
    {"copy aside named", true, FileStep::Rename, false, false},
    {"copying over, after the copy aside", true, FileStep::CopyChunk, true, false},
    {"renamed over, after the copy aside", true, FileStep::Replace, true, true},
};

// The command, in a child process: keep the live database, stop at the safe
// point between the steps, copy over it; on a stop undo, then end by the
// signal. Exits 0 if it was never stopped, 3 on any other failure.
[[noreturn]] void RunCommand(const wine::WinePaths& paths, const std::string& folder, const Moment& at, int signal) {
    posix::PosixStopSignals stops;
    auto span = stops.Catch();
    bool named = false, sent = false;
    PosixFiles files(paths, {}, [&](FileStep step) {
        if (at.copyAside && step == FileStep::Link) return EPERM;
        if (step == at.step && !sent && (!at.afterAside || named)) {
            sent = true;
            kill(getpid(), signal);
        }
        if (step == FileStep::Rename) named = true;
        return 0;
    });
    const std::string live = folder + "/bsrv.mdb", numbered = folder + "/bsrv.1";
    try {
        if (!files.Link(live, numbered)) files.CopyAside(live, numbered);
        stops.StopPoint();
        files.FileCopy(folder + "/new.mdb", live);
    } catch (const vb::Error& e) {
        if (e.Kind() != vb::ErrorKind::Stopped) _exit(3);
        files.RemoveExtraName(numbered, live);
    }
    stops.EndIfRequested();
    _exit(0);
}

TEST_F(PosixFilesTest, AStopSignalAtAnyStepUndoesOrFinishesThenEndsTheProcessByIt) {
    const std::string fresh(5 << 20, 'n');  // more than one chunk
    for (const Moment& at : kMoments) {
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
            SCOPED_TRACE(std::string(at.name) + ", signal " + std::to_string(signal));
            for (const std::string& name : Listing(tmp.path())) std::filesystem::remove(At(name));
            WriteFile(At("bsrv.mdb"), "old");
            WriteFile(At("new.mdb"), fresh);
            const pid_t child = fork();
            if (child == 0) RunCommand(paths, tmp.path(), at, signal);
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
            if (at.replaced) {
                EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"bsrv.mdb", "bsrv.1", "new.mdb"}));
                EXPECT_EQ(ReadFile(At("bsrv.1")), "old");
                EXPECT_EQ(ReadFile(At("bsrv.mdb")), fresh);
            } else {
                EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"bsrv.mdb", "new.mdb"}));
                EXPECT_EQ(ReadFile(At("bsrv.mdb")), "old");
            }
        }
    }
}

// A signal the process was started ignoring (nohup's SIGHUP) stays ignored:
// the command runs to its end.
TEST_F(PosixFilesTest, ASignalIgnoredFromTheStartStaysIgnored) {
    WriteFile(At("bsrv.mdb"), "old");
    WriteFile(At("new.mdb"), "new");
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGHUP, SIG_IGN);
        RunCommand(paths, tmp.path(), kMoments[3], SIGHUP);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFile(At("bsrv.mdb")), "new");
}

}  // namespace
