// The window's side of the reader child: whatever a child does (hang, flood
// the pipe, answer nonsense, crash, print), the caller gets 3343, and the
// terminal gets nothing of the child's, only one line saying why the file
// was refused. Stand-in readers are small shell scripts.
#include "jet/db_test_support.h"

namespace {

using dbtest::ErrorOf;

// The frames of a valid answer: one column "n" and one row holding 5.
const char* kValidAnswer =
    "printf 'C\\011\\000\\000\\000\\001\\000\\000\\000\\001\\000\\000\\000n' >&3\n"
    "printf 'R\\011\\000\\000\\000\\001\\005\\000\\000\\000\\000\\000\\000\\000' >&3\n"
    "printf 'Z\\004\\000\\000\\000\\001\\000\\000\\000' >&3\n";

struct Behaviour {
    const char* name;
    std::string script;  // body of the stand-in reader
    int number;          // expected error, 0 for success
    std::string reason = {};  // for 3343, what the refusal on stderr says
};

class StandInReader : public ::testing::TestWithParam<Behaviour> {};

TEST_P(StandInReader, GivesItsAnswerOr3343) {
    const Behaviour& b = GetParam();
    dbtest::TempDir dir;
    std::string reader = dir.File("reader.sh");
    {
        std::ofstream out(reader);
        out << "#!/bin/sh\n" << b.script;
    }
    std::filesystem::permissions(reader, std::filesystem::perms::owner_all);
    jet::ReaderLimits limits;
    limits.wallClockMs = 500;
    limits.outputBytes = 1 << 20;
    dbtest::TerminalCapture capture(dir.File("terminal.txt"));
    jet::ReaderResult result;
    int number = ErrorOf([&] { result = jet::RunReader(reader, "/dev/null", "C:\\a.mdb", "select n from t", limits); });
    std::string printed = capture.Restore();
    EXPECT_EQ(number, b.number);
    if (b.number == 3343) {
        EXPECT_TRUE(dbtest::RefusalsOf(printed, {"/dev/null"}));
        EXPECT_NE(printed.find(b.reason), std::string::npos) << printed;
    } else {
        EXPECT_EQ(printed, "");
    }
    if (b.number == 0) {
        ASSERT_EQ(result.rows.size(), 1u);
        EXPECT_EQ(result.columns, std::vector<std::string>{"n"});
        EXPECT_EQ(result.rows[0][0], ports::Value(int64_t{5}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Children, StandInReader,
    ::testing::Values(
        Behaviour{"ValidAnswer", kValidAnswer, 0},
        Behaviour{"ValidAnswerWithNoise", std::string("echo chatter; echo more >&2\n") + kValidAnswer, 0},
        Behaviour{"HangsForever", "exec sleep 30\n", 3343, "did not answer within 500 ms"},
        Behaviour{"ClosesPipeThenHangs", "exec 3>&-\nexec sleep 30\n", 3343, "closed its socket before its answer ended"},
        Behaviour{"FloodsThePipe", "exec head -c 50000000 /dev/zero >&3\n", 3343, "longer than 1048576 bytes"},
        Behaviour{"AnswersNonsense", "printf 'hello world' >&3\n", 3343, "longer than 1048576 bytes"},
        Behaviour{"StopsBeforeTheEnd", "printf 'C\\011\\000\\000\\000\\001\\000\\000\\000\\001\\000\\000\\000n' >&3\n", 3343,
                  "ended with status 0"},
        Behaviour{"ExitsWithFailure", std::string(kValidAnswer) + "exit 1\n", 3343, "did not end cleanly"},
        Behaviour{"CrashesAfterPrinting", "echo dump; echo dump >&2; kill -SEGV $$\n", 3343, "signal 11"},
        Behaviour{"EndCountDisagrees",
                  "printf 'C\\011\\000\\000\\000\\001\\000\\000\\000\\001\\000\\000\\000n' >&3\n"
                  "printf 'Z\\004\\000\\000\\000\\002\\000\\000\\000' >&3\n",
                  3343, "not whole"},
        Behaviour{"ReportsAnError", "printf 'E\\013\\000\\000\\000\\006\\014\\000\\000\\003\\000\\000\\000abc' >&3\n", 3078}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderChild, MissingReaderIs3051) {
    dbtest::TempDir dir;
    EXPECT_EQ(ErrorOf([&] { jet::RunReader(dir.File("no-reader"), "/dev/null", "C:\\a.mdb", "", {}); }), 3051);
}

}  // namespace
