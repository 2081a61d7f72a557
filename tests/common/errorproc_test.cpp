// The error report's text and title, and failures of the report itself.
#include "common/errorproc.h"

#include <gtest/gtest.h>

#include "fakes/fakes.h"

using ports::vbAbort;
using ports::vbIgnore;
using ports::vbNoAnswer;
using ports::vbRetry;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2)
        lines.push_back(text.substr(start, pos - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST(ErrorReport, ThirteenLinesJoinedByCrLf) {
    const std::string text = common::ErrorReportText(53, "File not found", "GetRecordCount", "Form1", 40);
    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], "Error 53 has been encountered in GetRecordCount");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "Details of this error: ");
    EXPECT_EQ(lines[4], "Error: 53");
    EXPECT_EQ(lines[5], "Desc: File not found");
    EXPECT_EQ(lines[6], "Location: GetRecordCount");
    EXPECT_EQ(lines[7], "Module: Form1");
    EXPECT_EQ(lines[8], "Line Number: 40");
    EXPECT_EQ(lines[9], "");
    EXPECT_EQ(lines[10], "Abort will end the program");
    EXPECT_EQ(lines[11], "Retry will try the function again");
    EXPECT_EQ(lines[12], "Ignore will skip the problem and try to continue");
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);  // no bare LF
    EXPECT_NE(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(common::ErrorReportTitle(53, "GetRecordCount"), "Error 53 in GetRecordCount");
}

TEST(ErrorReport, EmptyDescriptionAndNegativeNumbers) {
    const auto lines = Lines(common::ErrorReportText(-2147217900, "", "P", "Common", -1));
    EXPECT_EQ(lines[0], "Error -2147217900 has been encountered in P");
    EXPECT_EQ(lines[4], "Error: -2147217900");
    EXPECT_EQ(lines[5], "Desc: ");
    EXPECT_EQ(lines[8], "Line Number: -1");
    EXPECT_EQ(common::ErrorReportTitle(-5, "P"), "Error -5 in P");
}

TEST(ErrorProc, ReturnsTheChoiceOfTheBox) {
    for (int answer : {vbAbort, vbRetry, vbIgnore}) {
        fakes::World w;
        w.msgbox.Answer(answer);
        EXPECT_EQ(common::ErrorProc(w.sys, 53, "File not found", "P", "Form1", 40), answer);
        EXPECT_EQ(w.process.ends, 0);  // acting on Abort is the caller's business
    }
}

TEST(ErrorProc, AFailedBoxIsReportedThroughItself) {
    // The first box fails; the report about it (line 140 of ErrorProc) is
    // answered Retry, and the retried box is answered Ignore.
    fakes::World w;
    w.msgbox.failures.Add("Show", vb::Error(7, "Out of memory"));
    w.msgbox.Answer({vbRetry, vbIgnore});
    EXPECT_EQ(common::ErrorProc(w.sys, 53, "File not found", "P", "Form1", 40), vbIgnore);
    ASSERT_EQ(w.msgbox.shown.size(), 2u);
    EXPECT_EQ(w.msgbox.shown[0].title, "Error 7 in ErrorProc");
    EXPECT_NE(w.msgbox.shown[0].prompt.find("Module: Common\r\nLine Number: 140"), std::string::npos);
    EXPECT_EQ(w.msgbox.shown[1].title, "Error 53 in P");
}

TEST(ErrorProc, IgnoringAFailedBoxReturnsZero) {
    fakes::World w;
    w.msgbox.failures.Add("Show", vb::Error(7, "Out of memory"));
    w.msgbox.Answer(vbIgnore);
    EXPECT_EQ(common::ErrorProc(w.sys, 53, "x", "P", "Form1", 40), 0);
}

TEST(ErrorProc, AbortInTheInnerReportEndsTheProgram) {
    fakes::World w;
    w.msgbox.failures.Add("Show", vb::Error(7, "Out of memory"));
    w.msgbox.Answer(vbAbort);
    EXPECT_THROW(common::ErrorProc(w.sys, 53, "x", "P", "Form1", 40), ports::ProcessEnded);
}

TEST(ErrorProc, NestingStopsAtItsLimitWithZero) {
    fakes::World w;
    w.msgbox.failures.Add("Show", vb::Error(7, "Out of memory"), -1);  // every box fails
    EXPECT_EQ(common::ErrorProc(w.sys, 53, "x", "P", "Form1", 40), vbNoAnswer);
    EXPECT_EQ(w.msgbox.shown.size(), 0u);
}

TEST(Shutdown, EndsTheProcessAndReportsItsOwnFailure) {
    fakes::World w;
    w.process.failures.Add("End", vb::Error(5, "Invalid procedure call or argument"));
    w.msgbox.Answer(vbRetry);
    EXPECT_THROW(common::Shutdown(w.sys), ports::ProcessEnded);
    ASSERT_EQ(w.msgbox.shown.size(), 1u);
    EXPECT_EQ(w.msgbox.shown[0].title, "Error 5 in Shutdown");
    EXPECT_NE(w.msgbox.shown[0].prompt.find("Module: Module1"), std::string::npos);
}

}  // namespace
