// The command line: how each kind of argument is read, and the program
// itself answering --help and --version, and refusing what it does not
// know, with no window system at all.
#include <gtest/gtest.h>

#include <map>

#include "support/qt_print.h"

#include <QProcess>
#include <QProcessEnvironment>

#include "app/commandline.h"
#include "app/program.h"

namespace {

using Action = app::Invocation::Action;

struct ParseCase {
    const char* name;
    std::vector<std::string> arguments;  // after the program's name
    Action action;
    const char* errorHas = "";
    const char* edition = "";  // Command: the edition label and number read
    int number = 0;
    std::vector<std::string> files = {};  // Command: the files named (--check)
    const char* within = "";              // Command: the one database --find or --check looks in
};

class ParseArguments : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseArguments, ReadsTheAction) {
    const ParseCase& c = GetParam();
    std::vector<std::string> line{"/usr/bin/restore-rolvane-data"};
    line.insert(line.end(), c.arguments.begin(), c.arguments.end());
    const app::Invocation read = app::ParseArguments(line);
    EXPECT_EQ(read.action, c.action) << read.error;
    EXPECT_NE(read.error.find(c.errorHas), std::string::npos) << read.error;
    if (c.action == Action::Command) {
        EXPECT_EQ(read.command.edition, c.edition);
        EXPECT_EQ(read.command.number, c.number);
        EXPECT_EQ(read.command.files, c.files);
        EXPECT_EQ(read.command.within, c.within);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseArguments,
    ::testing::Values(
        ParseCase{"Nothing", {}, Action::Window},
        ParseCase{"LongHelp", {"--help"}, Action::Help},
        ParseCase{"ShortHelp", {"-h"}, Action::Help},
        ParseCase{"LongVersion", {"--version"}, Action::Version},
        ParseCase{"ShortVersion", {"-v"}, Action::Version},
        ParseCase{"HelpBeforeVersion", {"--version", "--help"}, Action::Help},
        ParseCase{"VersionBesideAQtOption", {"-style", "Fusion", "--version"}, Action::Version},
        ParseCase{"HelpBesideAnUnknownOption", {"--bogus", "--help"}, Action::Help},
        // Qt's options, with their values, open the window; nothing else does.
        ParseCase{"QtOptions", {"-platform", "offscreen", "-style=Fusion", "--reverse"}, Action::Window},
        ParseCase{"AQtOptionWithoutItsValue", {"-platform"}, Action::Usage, "'-platform' needs a value."},
        ParseCase{"UnknownLongOption", {"--bogus"}, Action::Usage, "Unknown option '--bogus'."},
        ParseCase{"UnknownWordOptionIsOneOption", {"-frob"}, Action::Usage, "Unknown option '-frob'."},
        ParseCase{"UnknownBesideAQtOption", {"-platform", "offscreen", "--bogus"}, Action::Usage, "'--bogus'"},
        ParseCase{"AnArgument", {"bsrv.mdb"}, Action::Usage, "Unexpected argument 'bsrv.mdb'"},
        ParseCase{"AnArgumentAfterDashes", {"--", "-x"}, Action::Usage, "Unexpected argument '-x'"},
        // Our options with one dash are typos, never the window.
        ParseCase{"OneDashList", {"-list"}, Action::Usage, "did you mean '--list'?"},
        ParseCase{"OneDashVersions", {"-versions", "business"}, Action::Usage, "did you mean '--versions'?"},
        ParseCase{"OneDashCreateBlank", {"-create-blank", "personal"}, Action::Usage, "'-create-blank'"},
        ParseCase{"OneDashYes", {"--restore", "business", "1", "-yes"}, Action::Usage, "did you mean '--yes'?"},
        // The commands without a window.
        ParseCase{"List", {"--list", "--json"}, Action::Command},
        ParseCase{"RestoreAnyCase", {"--restore", "BuSiNeSs", "5", "--yes"}, Action::Command, "", "Business", 5},
        ParseCase{"RestoreWithEquals", {"--restore=personal", "1"}, Action::Command, "", "Personal", 1},
        ParseCase{"PutBack", {"--put-back", "personal", "12"}, Action::Command, "", "Personal", 12},
        ParseCase{"SlotOutOfRange", {"--restore", "business", "6"}, Action::Usage, "Unknown backup slot '6'"},
        ParseCase{"SlotNotANumber", {"--restore", "business", "+1"}, Action::Usage, "Unknown backup slot '+1'"},
        ParseCase{"SlotMissing", {"--restore", "business"}, Action::Usage, "--restore needs EDITION and SLOT."},
        ParseCase{"CopyOutOfRange", {"--put-back", "business", "0"}, Action::Usage, "Unknown numbered copy '0'"},
        // N is any number a numbered copy's name may carry (up to 18 digits).
        ParseCase{"CopyPastAHundred", {"--put-back", "personal", "0101"}, Action::Command, "", "Personal", 101},
        ParseCase{"CopyPastTheNameRule", {"--put-back", "personal", "1234567890123456789"}, Action::Usage,
                  "Unknown numbered copy"},
        ParseCase{"UnknownEdition", {"--create-blank", "home"}, Action::Usage, "Unknown edition 'home'"},
        ParseCase{"TwoCommands", {"--list", "--versions", "personal"}, Action::Usage, "one command at a time"},
        ParseCase{"ListTakesNoValue", {"--list=all"}, Action::Usage, "takes no value"},
        ParseCase{"YesWithAListing", {"--list", "--yes"}, Action::Usage, "--yes goes with"},
        ParseCase{"JsonWithACommand", {"--create-blank", "business", "--json"}, Action::Usage, "--json goes with"},
        ParseCase{"YesAlone", {"--yes"}, Action::Usage, "--yes goes with a command"},
        ParseCase{"NoQtOptionsForACommand", {"-platform", "offscreen", "--list"}, Action::Usage, "'-platform'"},
        // Looking inside: WHICH is current, a slot or a numbered copy's name.
        ParseCase{"ShowCurrentAsCsv", {"--show", "personal", "CURRENT", "--csv"}, Action::Command, "", "Personal"},
        ParseCase{"ShowACopyByItsName", {"--show", "business", "BSRV.12"}, Action::Command, "", "Business"},
        ParseCase{"ABareNumberPastTheSlots", {"--compare", "business", "12"}, Action::Usage, "Unknown database '12'"},
        ParseCase{"ACopyNumberedZero", {"--compare", "business", "bsrv.0"}, Action::Usage, "Unknown database"},
        ParseCase{"ACopyPastTheOldLimit", {"--compare", "business", "bsrv.123456"}, Action::Command, "", "Business"},
        ParseCase{"CsvOnlyWithShow", {"--find", "business", "ann", "--csv"}, Action::Usage, "--csv goes with --show"},
        ParseCase{"JsonOrCsv", {"--show", "business", "1", "--csv", "--json"}, Action::Usage, "not both"},
        ParseCase{"FindNeedsText", {"--find", "business", ""}, Action::Usage, "not empty"},
        // EDITION may be left out of the history's commands: both editions.
        ParseCase{"SnapshotOfBoth", {"--snapshot"}, Action::Command, "", ""},
        ParseCase{"SnapshotOfOne", {"--snapshot=PERSONAL"}, Action::Command, "", "Personal"},
        ParseCase{"SnapshotOfAnUnknownEdition", {"--snapshot", "all"}, Action::Usage, "Unknown edition 'all'"},
        ParseCase{"SnapshotOfTwo", {"--snapshot", "business", "personal"}, Action::Usage, "Unexpected argument 'personal'"},
        ParseCase{"SnapshotPrintsNoJson", {"--snapshot", "--json"}, Action::Usage, "--json goes with"},
        ParseCase{"HistoryAsJson", {"--history", "--json"}, Action::Command, "", ""},
        ParseCase{"ScheduledSnapshot", {"--snapshot", "--scheduled"}, Action::Command, "", ""},
        ParseCase{"ScheduledOnlyWithSnapshot", {"--history", "--scheduled"}, Action::Usage, "--scheduled goes with"},
        // --auto-snapshot takes a word, not an edition.
        ParseCase{"AutoSnapshotOnAnyCase", {"--auto-snapshot", "ON"}, Action::Command, "", ""},
        ParseCase{"AutoSnapshotStatusAsJson", {"--auto-snapshot=status", "--json"}, Action::Command, "", ""},
        ParseCase{"AutoSnapshotNeedsAWord", {"--auto-snapshot"}, Action::Usage, "needs on|off|status"},
        ParseCase{"AutoSnapshotOfAnEdition", {"--auto-snapshot", "business"}, Action::Usage, "Unknown word 'business'"},
        ParseCase{"AutoSnapshotOfTwoWords", {"--auto-snapshot", "on|off"}, Action::Usage, "Unknown word"},
        ParseCase{"PreviousVersionsOfAnEdition", {"--previous-versions", "personal"}, Action::Command, "", "Personal"},
        // WHICH and Put Back's N may name a version of the history store.
        ParseCase{"ShowAVersion", {"--show", "business", "@12"}, Action::Command, "", "Business"},
        ParseCase{"CompareAVersionByTime", {"--compare", "business", "@2026-06-01T09:30"}, Action::Command, "", "Business"},
        ParseCase{"PutBackAVersion", {"--put-back", "personal", "@3"}, Action::Command, "", "Personal"},
        ParseCase{"AVersionNumberedZero", {"--show", "business", "@0"}, Action::Usage, "Unknown database '@0'"},
        ParseCase{"PutBackANonsenseVersion", {"--put-back", "personal", "@x"}, Action::Usage, "Unknown numbered copy"},
        // --find in every database, or in the one WHICH names.
        ParseCase{"FindInAVersion", {"--find", "business", "ann", "@3"}, Action::Command, "", "Business", 0, {}, "@3"},
        ParseCase{"FindInACopy", {"--find", "business", "ann", "BSRV.2"}, Action::Command, "", "Business", 0, {},
                  "BSRV.2"},
        ParseCase{"FindInNoSuchDatabase", {"--find", "business", "ann", "@0"}, Action::Usage, "Unknown database '@0'"},
        ParseCase{"FindInTwo", {"--find", "business", "ann", "1", "2"}, Action::Usage, "Unexpected argument '2'"},
        // Checking: an edition alone, both editions, or files (an edition's
        // name among files is a file).
        ParseCase{"CheckBothEditions", {"--check", "--json"}, Action::Command},
        ParseCase{"CheckAnEdition", {"--check=PERSONAL"}, Action::Command, "", "Personal"},
        ParseCase{"CheckFiles", {"--check", "a.mdb", "business"}, Action::Command, "", "", 0, {"a.mdb", "business"}},
        ParseCase{"CheckAVersion", {"--check", "personal", "@2026-06-01T09:30"}, Action::Command, "", "Personal", 0,
                  {}, "@2026-06-01T09:30"},
        ParseCase{"CheckAFileAndAVersion", {"--check", "a.mdb", "@3"}, Action::Command, "", "", 0, {"a.mdb", "@3"}},
        ParseCase{"CheckADashedFile", {"--check", "--", "-x.mdb"}, Action::Command, "", "", 0, {"-x.mdb"}},
        ParseCase{"CheckNeedsNoConsent", {"--check", "--yes"}, Action::Usage, "--yes goes with"},
        ParseCase{"CheckPrintsNoCsv", {"--check", "--csv"}, Action::Usage, "--csv goes with --show"},
        ParseCase{"FindWide", {"--find", "business", "ann", "--wide"}, Action::Command, "", "Business"},
        ParseCase{"WideNotWithCompare", {"--compare", "business", "1", "--wide"}, Action::Usage,
                  "--wide goes with --show or --find"},
        ParseCase{"WideNotWithCsv", {"--show", "business", "1", "--wide", "--csv"}, Action::Usage, "without --csv"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HelpText, NamesEveryCommandOfTheTableWithinEightyColumns) {
    const std::string help = app::HelpText();
    EXPECT_EQ(help.rfind("Usage: restore-rolvane-data [options]\n", 0), 0u) << help;
    for (const app::CommandSpec& command : app::Commands()) {
        const std::string names = *command.operands.names ? std::string(" ") + command.operands.names : "";
        EXPECT_NE(help.find(std::string("  ") + command.option + names), std::string::npos) << command.option;
    }
    size_t start = 0;
    for (size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
}

// Each command's line runs the handler its row names, and no other.
struct Recorder : app::CommandHandlers {
    std::string ran;
    int List(const app::ConsoleCommand&) override { return Ran("--list"); }
    int Versions(const app::ConsoleCommand&) override { return Ran("--versions"); }
    int Show(const app::ConsoleCommand&) override { return Ran("--show"); }
    int Find(const app::ConsoleCommand&) override { return Ran("--find"); }
    int Compare(const app::ConsoleCommand&) override { return Ran("--compare"); }
    int Restore(const app::ConsoleCommand&) override { return Ran("--restore"); }
    int CreateBlank(const app::ConsoleCommand&) override { return Ran("--create-blank"); }
    int PutBack(const app::ConsoleCommand&) override { return Ran("--put-back"); }
    int Check(const app::ConsoleCommand&) override { return Ran("--check"); }
    int Snapshot(const app::ConsoleCommand&) override { return Ran("--snapshot"); }
    int History(const app::ConsoleCommand&) override { return Ran("--history"); }
    int AutoSnapshot(const app::ConsoleCommand&) override { return Ran("--auto-snapshot"); }
    int PreviousVersions(const app::ConsoleCommand&) override { return Ran("--previous-versions"); }
    int Ran(const char* option) {
        ran += option;
        return 7;
    }
};

TEST(CommandTable, EachLineRunsTheHandlerOfItsRow) {
    const std::map<std::string, std::vector<std::string>> operands = {
        {"--list", {}},
        {"--versions", {"business"}},
        {"--show", {"business", "bsrv.2"}},
        {"--find", {"business", "ann"}},
        {"--compare", {"business", "current"}},
        {"--check", {"business"}},
        {"--restore", {"business", "2"}},
        {"--create-blank", {"business"}},
        {"--put-back", {"business", "3"}},
        {"--snapshot", {}},
        {"--history", {"business"}},
        {"--auto-snapshot", {"off"}},
        {"--previous-versions", {"business"}},
    };
    EXPECT_EQ(app::Commands().size(), operands.size());
    for (const app::CommandSpec& row : app::Commands()) {
        SCOPED_TRACE(row.option);
        ASSERT_TRUE(operands.count(row.option));
        std::vector<std::string> line{"restore-rolvane-data", row.option};
        line.insert(line.end(), operands.at(row.option).begin(), operands.at(row.option).end());
        const app::Invocation read = app::ParseArguments(line);
        ASSERT_EQ(read.action, Action::Command) << read.error;
        EXPECT_EQ(read.command.row, &row);
        Recorder handlers;
        EXPECT_EQ(app::RunCommandOf(handlers, read.command), 7);
        EXPECT_EQ(handlers.ran, row.option);
    }
}

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
    EXPECT_EQ(version.out, QString("restore-rolvane-data ") + app::Version() + "\n");
}

TEST(Program, WhatItDoesNotKnowIsAUsageErrorInTwoLines) {
    for (const QStringList& line : {QStringList{"--bogus"}, QStringList{"-platform", "offscreen", "--bogus"},
                                    QStringList{"-list"}, QStringList{"-versions", "business"}}) {
        const Outcome run = Start(line, true);
        EXPECT_EQ(run.status, 2) << line.join(' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << run.err.toStdString();
        EXPECT_TRUE(lines[0].startsWith("restore-rolvane-data: ")) << run.err.toStdString();
        EXPECT_EQ(lines[1], "Try 'restore-rolvane-data --help' for more information.");
    }
}

}  // namespace
