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
    ports::Value value = int64_t{5};  // for success, the row's one value
};

// A column "n" and, before the end, pieces of slot 0 and a row whose value
// is made of them ('V' frames, then the row's kind 8, slot and length).
const char* kColumn = "printf 'C\\011\\000\\000\\000\\001\\000\\000\\000\\001\\000\\000\\000n' >&3\n";
const char* kPieces = "printf 'V\\006\\000\\000\\000\\000\\000\\000\\000ab' >&3\n"
                      "printf 'V\\005\\000\\000\\000\\000\\000\\000\\000c' >&3\n";
const char* kRowOfPieces = "printf 'R\\015\\000\\000\\000\\010\\000\\000\\000\\000\\003\\000\\000\\000\\000\\000\\000\\000' >&3\n";
const char* kEndOfOne = "printf 'Z\\004\\000\\000\\000\\001\\000\\000\\000' >&3\n";

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
        EXPECT_TRUE(result.rows[0][0] == b.value);
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
        Behaviour{"ReportsAnError", "printf 'E\\013\\000\\000\\000\\006\\014\\000\\000\\003\\000\\000\\000abc' >&3\n", 3078},
        // A long value comes in pieces that the answer's cap does not count;
        // pieces that no row takes whole are not an answer.
        Behaviour{"ValueInPieces", std::string(kColumn) + kPieces + kRowOfPieces + kEndOfOne, 0, {}, std::string("abc")},
        Behaviour{"PiecesPastTheAnswersCap",
                  std::string(kColumn) +
                      "for i in 1 2 3; do printf 'V\\004\\000\\010\\000\\000\\000\\000\\000' >&3; "
                      "head -c 524288 /dev/zero | tr '\\000' x >&3; done\n"
                      "printf 'R\\015\\000\\000\\000\\010\\000\\000\\000\\000\\000\\000\\030\\000\\000\\000\\000\\000' >&3\n" +
                      kEndOfOne,
                  0, {}, std::string(3 * 524288, 'x')},
        Behaviour{"PiecesNoRowTakes", std::string(kPieces) + kValidAnswer, 3343, "not well formed"},
        Behaviour{"PiecesOfAnotherLength",
                  std::string(kColumn) + "printf 'V\\006\\000\\000\\000\\000\\000\\000\\000ab' >&3\n" + kRowOfPieces +
                      kEndOfOne,
                  3343, "not well formed"},
        Behaviour{"PieceLargerThanAPiece", std::string(kColumn) + "printf 'V\\000\\000\\040\\000' >&3\nexec sleep 30\n", 3343,
                  "not well formed"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderChild, MissingReaderIs3051) {
    dbtest::TempDir dir;
    EXPECT_EQ(ErrorOf([&] { jet::RunReader(dir.File("no-reader"), "/dev/null", "C:\\a.mdb", "", {}); }), 3051);
}

}  // namespace
