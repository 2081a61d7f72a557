// The line mechanism under the standard handler: what the user's choice in
// the error report does to the running procedure.
#include "common/procedure.h"

#include <gtest/gtest.h>

#include "fakes/fakes.h"

using common::Flow;
using common::Procedure;
using ports::vbAbort;
using ports::vbIgnore;
using ports::vbNoAnswer;
using ports::vbRetry;

namespace {

struct ProcedureTest : ::testing::Test {
    fakes::World w;
    std::vector<int> ran;
    Procedure proc{w.sys, "Sample", "Form1"};

    // A line that records itself and fails its first `failures` runs.
    auto Failing(int line, int failures) {
        return [this, line, failures, count = 0]() mutable {
            ran.push_back(line);
            if (count++ < failures) throw vb::Error(53, "File not found");
        };
    }
    auto Plain(int line) {
        return [this, line] { ran.push_back(line); };
    }
};

TEST_F(ProcedureTest, RetryRunsTheSameLineAgainUntilItSucceeds) {
    w.msgbox.Answer({vbRetry, vbRetry, vbRetry});
    proc.Line(10, Plain(10)).Line(20, Failing(20, 3)).Line(30, Plain(30));
    proc.Run();
    EXPECT_EQ(ran, (std::vector<int>{10, 20, 20, 20, 20, 30}));
    ASSERT_EQ(w.msgbox.shown.size(), 3u);
    EXPECT_NE(w.msgbox.shown[2].prompt.find("Line Number: 20"), std::string::npos);
}

TEST_F(ProcedureTest, IgnoreIntoABranchAndOutOfALoop) {
    int i = 0;
    bool condition = false;
    proc.Line(10, [&] {
        ran.push_back(10);
        throw vb::Error(5, "x");  // failing test of a branch
        return condition ? Flow::Next() : Flow::Goto(40);
    });
    proc.Line(20, Plain(20));  // first line inside the branch
    proc.Line(40, [&] {
        ran.push_back(40);
        i = 1;
    });
    proc.Line(50, Plain(50));
    proc.Line(60, [&] {  // loop end that fails on its second pass
        ran.push_back(60);
        if (++i == 3) throw vb::Error(6, "Overflow");
        return Flow::Goto(50);
    });
    proc.Line(70, Plain(70));
    w.msgbox.Answer({vbIgnore, vbIgnore});
    proc.Run();
    EXPECT_EQ(ran, (std::vector<int>{10, 20, 40, 50, 60, 50, 60, 70}));
}

TEST_F(ProcedureTest, DeclaredIgnoreTargetSkipsTheRestOfTheBranch) {
    proc.Line(10, [&] {
        ran.push_back(10);
        throw vb::Error(5, "x");
        return Flow::Goto(30);
    });
    proc.IgnoreTo(30);
    proc.Line(20, Plain(20));  // the other branch
    proc.Line(30, Plain(30));
    w.msgbox.Answer(vbIgnore);
    proc.Run();
    EXPECT_EQ(ran, (std::vector<int>{10, 30}));
}

TEST_F(ProcedureTest, AnyOtherAnswerLeavesWithThePartialResult) {
    for (int answer : {0, 1, 2, 6, 7}) {
        fakes::World world;
        int result = 0;
        Procedure p(world.sys, "Sample", "Form1");
        p.Line(10, [&] { result = 42; });
        p.Line(20, [&] { throw vb::Error(70, "Permission denied"); });
        p.Line(30, [&] { result = 99; });
        world.msgbox.Answer(answer);
        p.Run();
        EXPECT_EQ(result, 42) << "answer " << answer;
    }
}

TEST_F(ProcedureTest, AbortEndsTheProgramWithNothingAfterIt) {
    proc.Line(10, Failing(10, 1)).Line(20, Plain(20));
    w.msgbox.Answer(vbAbort);
    EXPECT_THROW(proc.Run(), ports::ProcessEnded);
    EXPECT_EQ(ran, (std::vector<int>{10}));
    EXPECT_EQ(w.process.ends, 1);
    EXPECT_EQ(w.msgbox.shown.size(), 1u);
}

TEST_F(ProcedureTest, ReportNamesProcedureModuleAndTheFailingLine) {
    proc.Line(10, Plain(10)).Line(40, Failing(40, 1));
    w.msgbox.Answer(vbIgnore);
    proc.Run();
    ASSERT_EQ(w.msgbox.shown.size(), 1u);
    EXPECT_EQ(w.msgbox.shown[0].title, "Error 53 in Sample");
    EXPECT_EQ(w.msgbox.shown[0].buttons, ports::vbAbortRetryIgnore);
    EXPECT_NE(w.msgbox.shown[0].prompt.find("Module: Form1\r\nLine Number: 40"), std::string::npos);
}

TEST_F(ProcedureTest, NonPlatformExceptionsAreReportedWithAVbNumber) {
    proc.Line(10, [] { throw std::out_of_range("bad index"); });
    w.msgbox.Answer(vbIgnore);
    proc.Run();
    ASSERT_EQ(w.msgbox.shown.size(), 1u);
    EXPECT_EQ(w.msgbox.shown[0].title, "Error 5 in Sample");
}

TEST_F(ProcedureTest, WiringFaultsAreNotReportedToTheUser) {
    proc.Line(20, Plain(20));
    EXPECT_THROW(proc.Line(10, Plain(10)), common::WiringError);
    Procedure jumps(w.sys, "Sample", "Form1");
    jumps.Line(10, [] { return Flow::Goto(15); });
    EXPECT_THROW(jumps.Run(), common::WiringError);
    Procedure ignores(w.sys, "Sample", "Form1");
    ignores.Line(10, [] {}).IgnoreTo(99);
    EXPECT_THROW(ignores.Run(), common::WiringError);  // found before any line runs
    EXPECT_TRUE(w.msgbox.shown.empty());
}

}  // namespace
