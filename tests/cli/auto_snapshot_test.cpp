// --auto-snapshot: the commands against a recording systemctl, and on a
// real systemd user manager: `on`, a change that a writer closes, the
// version taken by the units with no other action, `status`, and `off`
// leaving no unit behind. The manager runs in a private mount namespace
// (user_manager.sh); where that cannot be made (not root, no unshare, no
// systemd) that test is skipped with the reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/auto_snapshot.h"
#include "support/temp_folder.h"
#include "support/wine_home.h"

#include "support/qt_print.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class AutoCommands : public ::testing::Test {
protected:
    cli::AutoRun Run(bool manager = true) {
        cli::AutoRun run{folder / "config/systemd/user",
                         {"/usr/bin/restore-rolvane-data", "/home/ann/.wine", {"/home/ann/.wine/drive_c/bsrv.mdb"}},
                         [this, manager](const std::vector<std::string>& args) {
                             std::string line;
                             for (const std::string& arg : args) line += (line.empty() ? "" : " ") + arg;
                             calls.push_back(line);
                             if (!manager) return cli::Answered{1, "Failed to connect to bus: No medium found\n"};
                             return cli::Answered{0, args[0] == "is-enabled" ? "enabled\n" : ""};
                         },
                         [this](const std::string& text) { said += text + "\n"; },
                         out,
                         {},
                         {}};
        return run;
    }
    std::string Printed() {
        std::fflush(out);
        return Slurp(folder / "out");
    }
    std::string Unit(const char* name) { return folder / ("config/systemd/user/" + std::string(name)); }

    platform_test::TempFolder folder;
    std::FILE* out = std::fopen((folder / "out").c_str(), "w+");
    std::vector<std::string> calls;
    std::string said;

    void TearDown() override { std::fclose(out); }
};

TEST_F(AutoCommands, OnWritesEnablesAndStartsOffRemovesEverything) {
    cli::AutoRun on = Run();
    ASSERT_EQ(cli::AutoSnapshotOn(on), 0) << said;
    EXPECT_EQ(calls, (std::vector<std::string>{"show-environment", "daemon-reload",
                                               "enable --now restore-rolvane-data.timer restore-rolvane-data.path"}));
    EXPECT_NE(Slurp(Unit(cli::kServiceUnit)).find("Environment=\"WINEPREFIX=/home/ann/.wine\""), std::string::npos);
    EXPECT_EQ(cli::WatchedBy(Slurp(Unit(cli::kPathUnit))), on.facts.watched);
    // On again rewrites its own files.
    ASSERT_EQ(cli::AutoSnapshotOn(on), 0) << said;

    calls.clear();
    cli::AutoRun status = Run();
    status.lastVersions = {"Business (/b/bsrv.mdb): version @3 of 2026-12-10T08:00:00"};
    EXPECT_EQ(cli::AutoSnapshotStatus(status, false), 0);
    EXPECT_NE(Printed().find("Automatic versions: on\nWatched: /home/ann/.wine/drive_c/bsrv.mdb\nTimer: hourly\n"
                             "Last version: Business (/b/bsrv.mdb): version @3"),
              std::string::npos);

    calls.clear();
    cli::AutoRun off = Run();
    ASSERT_EQ(cli::AutoSnapshotOff(off), 0) << said;
    EXPECT_TRUE(std::filesystem::is_empty(folder / "config/systemd/user"));
    EXPECT_EQ(calls[1], "disable --now restore-rolvane-data.path");
    EXPECT_EQ(calls[2], "disable --now restore-rolvane-data.timer");
    EXPECT_EQ(calls.back(), "reset-failed restore-rolvane-data.service");
}

TEST_F(AutoCommands, AFileNotOursIsNeverOverwrittenNorRemoved) {
    std::filesystem::create_directories(folder / "config/systemd/user");
    std::ofstream(Unit(cli::kTimerUnit)) << "[Timer]\nOnCalendar=daily\n";
    cli::AutoRun on = Run();
    EXPECT_EQ(cli::AutoSnapshotOn(on), 1);
    EXPECT_NE(said.find("restore-rolvane-data.timer was not written by this program"), std::string::npos) << said;
    EXPECT_FALSE(std::filesystem::exists(Unit(cli::kServiceUnit)));
    EXPECT_EQ(calls, std::vector<std::string>{"show-environment"});
    cli::AutoRun off = Run();
    EXPECT_EQ(cli::AutoSnapshotOff(off), 0);
    EXPECT_EQ(Slurp(Unit(cli::kTimerUnit)), "[Timer]\nOnCalendar=daily\n");
}

TEST_F(AutoCommands, WithoutAUserManagerOnGivesTheCrontabLineAndFails) {
    cli::AutoRun on = Run(false);
    EXPECT_EQ(cli::AutoSnapshotOn(on), 1);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("No systemd user manager"), std::string::npos) << said;
    EXPECT_EQ(Printed(), cli::CrontabLine(on.facts) + "\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "config"));
}

TEST_F(AutoCommands, TheWatchFollowsTheDatabasesOnlyWhenOnAndMoved) {
    cli::AutoRun follow = Run();
    EXPECT_TRUE(cli::FollowDatabases(follow));  // off: nothing written
    EXPECT_FALSE(std::filesystem::exists(folder / "config"));
    cli::AutoRun on = Run();
    ASSERT_EQ(cli::AutoSnapshotOn(on), 0);

    struct Step {
        std::vector<std::string> found;
        bool rewritten;
    };
    for (const Step& step : {Step{{"/home/ann/.wine/drive_c/bsrv.mdb"}, false},
                             Step{{"/home/ann/other/drive_c/bsrv.mdb", "/home/ann/p/bsrv.mdb"}, true}}) {
        calls.clear();
        cli::AutoRun run = Run();
        run.facts.watched = step.found;
        EXPECT_TRUE(cli::FollowDatabases(run)) << said;
        EXPECT_EQ(cli::WatchedBy(Slurp(Unit(cli::kPathUnit))), step.found);
        EXPECT_EQ(!calls.empty(), step.rewritten);
        if (step.rewritten) {
            EXPECT_EQ(calls.back(), "restart restore-rolvane-data.path");
        }
    }
}

TEST(UserManager, OnKeepsAVersionOfAClosedChangeStatusSaysItOffLeavesNothing) {
    if (geteuid() != 0) GTEST_SKIP() << "a mount namespace of its own needs root here";
    e2e::WineHome home;
    const std::string live = home.C("users/ann/Documents/Varnock Rolvane/Data/bsrv.mdb");
    e2e::WineHome::Roof(live, 3);
    const std::string changed = home.Home() + "/changed.mdb";
    e2e::WineHome::Roof(changed, 5);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"}) environment.remove(name);
    const QString root = QString::fromStdString(home.Home());
    environment.insert("HOME", root);
    environment.insert("USER", "ann");
    environment.insert("WINEPREFIX", root + "/.wine");
    environment.insert("XDG_CONFIG_HOME", root + "/.config");
    environment.insert("XDG_DATA_HOME", root + "/.local/share");
    environment.insert("XDG_STATE_HOME", root + "/.local/state");
    QProcess script;
    script.setProcessEnvironment(environment);
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start("unshare", {"--mount", "--propagation", "private", ROLVANE_USER_MANAGER_SCRIPT, ROLVANE_PROGRAM_PATH,
                             QString::fromStdString(live), QString::fromStdString(changed)});
    if (!script.waitForStarted()) GTEST_SKIP() << "unshare cannot be started (Debian package util-linux)";
    ASSERT_TRUE(script.waitForFinished(120000)) << "the script did not end";
    const QString out = QString::fromUtf8(script.readAll());
    if (script.exitCode() == 77) GTEST_SKIP() << out.toStdString();
    if (script.exitCode() != 0 && out.contains("unshare: ")) GTEST_SKIP() << out.toStdString();
    ASSERT_EQ(script.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("VERSION TAKEN")) << out.toStdString();
    EXPECT_TRUE(out.contains("Automatic versions: on\nWatched: " + QString::fromStdString(live) + "\n"))
        << out.toStdString();
    EXPECT_TRUE(out.contains("Last version: Personal (")) << out.toStdString();
    EXPECT_TRUE(out.contains("NOTHING LEFT")) << out.toStdString();
}

}  // namespace
