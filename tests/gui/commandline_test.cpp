// The command line: how each kind of argument is read, and the program
// itself answering --help and --version with no window system at all, and
// refusing what it does not know once Qt has taken its own options.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QProcess>
#include <QProcessEnvironment>

#include "gui/commandline.h"

namespace {

using Action = gui::CommandLine::Action;

struct ParseCase {
    const char* name;
    QStringList arguments;  // after the program's name
    Action action;
    const char* textHas;
    bool beforeQt = false;
    const char* edition = "";  // Console: the edition label and number read
    int number = 0;
};

class ParseCommandLine : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLine, ReadsTheAction) {
    const ParseCase& c = GetParam();
    const gui::CommandLine line = gui::ParseCommandLine(QStringList{"/usr/bin/restore-rolvane-data"} + c.arguments, c.beforeQt);
    EXPECT_EQ(line.action, c.action);
    EXPECT_TRUE(line.text.contains(QString::fromUtf8(c.textHas))) << line.text.toStdString();
    if (c.action == Action::Console) {
        EXPECT_EQ(line.command.edition, c.edition);
        EXPECT_EQ(line.command.number, c.number);
    }
    if (c.action == Action::Help || c.action == Action::Error) {
        EXPECT_TRUE(line.text.contains("Usage: restore-rolvane-data [options]\n")) << line.text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseCommandLine,
    ::testing::Values(
        ParseCase{"Nothing", {}, Action::Run, ""},
        ParseCase{"LongHelp", {"--help"}, Action::Help, "--version"},
        ParseCase{"ShortHelp", {"-h"}, Action::Help, "--help"},
        ParseCase{"LongVersion", {"--version"}, Action::Version, "restore-rolvane-data " ROLVANE_VERSION "\n"},
        ParseCase{"ShortVersion", {"-v"}, Action::Version, ROLVANE_VERSION},
        ParseCase{"HelpBeforeVersion", {"--version", "--help"}, Action::Help, "Usage"},
        // Before Qt has read the arguments its options look unknown; help
        // and version are still answered.
        ParseCase{"VersionBesideAQtOption", {"-style", "Fusion", "--version"}, Action::Version, ROLVANE_VERSION},
        ParseCase{"UnknownLongOption", {"--bogus"}, Action::Error, "restore-rolvane-data: Unknown option 'bogus'"},
        ParseCase{"UnknownWordOptionIsOneOption", {"-frob"}, Action::Error, "Unknown option 'frob'"},
        ParseCase{"AnArgument", {"bsrv.mdb"}, Action::Error, "Unexpected argument 'bsrv.mdb'"},
        ParseCase{"AnArgumentAfterDashes", {"--", "-x"}, Action::Error, "Unexpected argument '-x'"},
        // Before Qt has read the line, only Qt's options (with their values)
        // wait for it; anything else is refused at once.
        ParseCase{"QtOptionsWaitForQt", {"-platform", "offscreen", "-style=Fusion"}, Action::Run, "", true},
        ParseCase{"UnknownBesideAQtOption", {"-platform", "offscreen", "--bogus"}, Action::Error,
                  "Unknown option 'bogus'.", true},
        ParseCase{"AnArgumentBeforeQt", {"bsrv.mdb"}, Action::Error, "Unexpected argument 'bsrv.mdb'", true},
        // The commands without a window.
        ParseCase{"List", {"--list", "--json"}, Action::Console, "", true},
        ParseCase{"RestoreAnyCase", {"--restore", "BuSiNeSs", "5", "--yes"}, Action::Console, "", true, "Business", 5},
        ParseCase{"PutBack", {"--put-back", "personal", "12"}, Action::Console, "", true, "Personal", 12},
        ParseCase{"SlotOutOfRange", {"--restore", "business", "6"}, Action::Error, "Unknown backup slot '6'", true},
        ParseCase{"SlotNotANumber", {"--restore", "business", "+1"}, Action::Error, "Unknown backup slot '+1'", true},
        ParseCase{"SlotMissing", {"--restore", "business"}, Action::Error, "needs EDITION and SLOT", true},
        ParseCase{"UnknownEdition", {"--create-blank", "home"}, Action::Error, "Unknown edition 'home'", true},
        ParseCase{"TwoCommands", {"--list", "--versions", "personal"}, Action::Error, "one command at a time", true},
        ParseCase{"YesWithAListing", {"--list", "--yes"}, Action::Error, "--yes goes with", true},
        ParseCase{"YesAlone", {"--yes"}, Action::Error, "--yes goes with a command", true},
        ParseCase{"NoQtOptionsForACommand", {"-platform", "offscreen", "--list"}, Action::Error, "Unknown option 'platform'", true}),
    [](const auto& info) { return std::string(info.param.name); });

// The program as a user starts it.
struct Outcome {
    int status;
    QString out, err;
};

Outcome Start(const QStringList& arguments, bool display) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    if (display) environment.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(ROLVANE_PROGRAM_PATH), arguments);
    EXPECT_TRUE(program.waitForFinished(60000)) << "the program did not end";
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromLocal8Bit(program.readAllStandardOutput()),
            QString::fromLocal8Bit(program.readAllStandardError())};
}

TEST(Program, HelpAndVersionNeedNoDisplay) {
    const Outcome help = Start({"--help"}, false);
    EXPECT_EQ(help.status, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith("Usage: restore-rolvane-data [options]\n")) << help.out.toStdString();

    const Outcome version = Start({"-platform", "xcb", "--version"}, false);
    EXPECT_EQ(version.status, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, "restore-rolvane-data " ROLVANE_VERSION "\n");
}

TEST(Program, AnUnknownOptionIsRefusedWithoutADisplay) {
    const Outcome run = Start({"--bogus"}, false);
    EXPECT_EQ(run.status, 2) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Unknown option 'bogus'.")) << run.err.toStdString();
}

TEST(Program, AnUnknownOptionIsRefusedAfterQtHasTakenItsOwn) {
    const Outcome run = Start({"-platform", "offscreen", "--bogus"}, true);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("Unknown option 'bogus'.")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("'platform'")) << "Qt's own option is not ours to refuse";
    EXPECT_TRUE(run.err.contains("Usage: restore-rolvane-data [options]\n")) << run.err.toStdString();
}

}  // namespace
