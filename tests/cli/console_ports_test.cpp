// The console's message box, which turns each box into a line on stderr
// and an exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/console_ports.h"

namespace {

struct BoxCase {
    const char* name;
    bool consented;
    const char* typed;  // nullptr: no terminal
    int buttons;
    int answer;
    const char* told;  // what goes to stderr
};

class ConsoleBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(ConsoleBox, AnswersAndTellsOneLine) {
    const BoxCase& c = GetParam();
    std::FILE* err = std::tmpfile();
    cli::ConsoleMessageBox box(
        c.consented,
        [&c](const std::string&, std::string& answer) {
            if (!c.typed) return false;
            answer = c.typed;
            return true;
        },
        err);
    EXPECT_EQ(box.Show("Line one\r\n\r\nline two", c.buttons, "Title"), c.answer);
    std::rewind(err);
    char told[200] = {};
    EXPECT_EQ(std::fread(told, 1, sizeof told - 1, err) > 0 ? std::string(told) : std::string(), c.told);
    std::fclose(err);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConsoleBox,
    ::testing::Values(
        BoxCase{"YesGiven", true, nullptr, ports::vbYesNo, ports::vbYes, ""},
        BoxCase{"TypedY", false, " Y ", ports::vbYesNo, ports::vbYes, ""},
        BoxCase{"TypedYes", false, "yes", ports::vbYesNo, ports::vbYes, ""},
        // The default is No: an empty line, another word, no terminal.
        BoxCase{"EmptyLine", false, "", ports::vbYesNo, ports::vbNo, ""},
        BoxCase{"OtherWord", false, "yep", ports::vbYesNo, ports::vbNo, ""},
        BoxCase{"NoTerminal", false, nullptr, ports::vbYesNo, ports::vbNo, ""},
        // A script tries again later; a report never stops the run.
        BoxCase{"FileInUse", true, nullptr, ports::vbRetryCancel, ports::vbCancel,
                "restore-rolvane-data: Line one line two\n"},
        BoxCase{"ErrorReport", true, nullptr, ports::vbAbortRetryIgnore, ports::vbIgnore, "Title: Line one line two\n"},
        BoxCase{"Message", true, nullptr, ports::vbOKOnly, ports::vbOK, "restore-rolvane-data: Line one line two\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
