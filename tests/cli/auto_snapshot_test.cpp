// --auto-snapshot without a user manager: the units' text (and, where
// systemd-analyze is installed, systemd's own verdict on it), the commands
// against a recording systemctl, and the notices' rate.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/auto_snapshot.h"
#include "cli/notices.h"
#include "cli/scheduled.h"
#include "support/temp_folder.h"

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(AutoUnits, NameTheProgramKeepThePrefixAndWatchEachDatabase) {
    struct Case {
        const char* name;
        cli::UnitFacts facts;
        std::vector<std::string> serviceHas, pathHas;
        const char* crontab;
    };
    const std::vector<Case> cases = {
        {"plain",
         {"/usr/bin/restore-rolvane-data", std::nullopt, {"/h/.wine/drive_c/a/bsrv.mdb", "/h/.wine/drive_c/b/bsrv.mdb"}},
         {"ExecStart=\"/usr/bin/restore-rolvane-data\" --snapshot --scheduled\n", "Type=oneshot\n"},
         {"PathChanged=/h/.wine/drive_c/a/bsrv.mdb\nPathChanged=/h/.wine/drive_c/b/bsrv.mdb\n"},
         "*/5 * * * * '/usr/bin/restore-rolvane-data' --snapshot --scheduled"},
        // "%" is a specifier to systemd and a line break to cron; quotes and
        // blanks stay one word.
        {"awkward names",
         {"/opt/my tools/rr%d", "/h/it's \"100%\"", {"/h/p 100%/bsrv.mdb"}},
         {"Environment=\"WINEPREFIX=/h/it's \\\"100%%\\\"\"\n", "ExecStart=\"/opt/my tools/rr%%d\" --snapshot"},
         {"PathChanged=/h/p 100%%/bsrv.mdb\n"},
         "*/5 * * * * WINEPREFIX='/h/it'\\''s \"100\\%\"' '/opt/my tools/rr\\%d' --snapshot --scheduled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string service = cli::ServiceUnitText(c.facts), path = cli::PathUnitText(c.facts);
        for (const std::string& text : {service, path, cli::TimerUnitText()}) EXPECT_TRUE(cli::IsOurs(text)) << text;
        for (const std::string& line : c.serviceHas) EXPECT_NE(service.find(line), std::string::npos) << service;
        for (const std::string& line : c.pathHas) EXPECT_NE(path.find(line), std::string::npos) << path;
        EXPECT_EQ(service.find("WINEPREFIX") != std::string::npos, c.facts.prefix.has_value());
        EXPECT_EQ(cli::WatchedBy(path), c.facts.watched);
        EXPECT_EQ(cli::CrontabLine(c.facts), c.crontab);
    }
    EXPECT_EQ(cli::PathUnitText({"/usr/bin/x", std::nullopt, {}}), "");
    EXPECT_NE(cli::TimerUnitText().find("OnCalendar=hourly\nPersistent=true\n"), std::string::npos);
    EXPECT_FALSE(cli::IsOurs("[Unit]\n# Written by restore-rolvane-data --auto-snapshot on;\n"));
    EXPECT_FALSE(cli::FitsAUnit("relative/bsrv.mdb"));
    EXPECT_FALSE(cli::FitsAUnit("/a\nb"));
}

// systemd-analyze verify on the units as `on` writes them, with this
// build's program as the one they run (the manual page is not installed
// here: not looked for).
TEST(AutoUnits, PassSystemdAnalyzeVerify) {
    if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "systemd-analyze is not installed (Debian package systemd)";
    platform_test::TempFolder folder;
    std::filesystem::create_directories(folder / "data");
    std::ofstream(folder / "data/bsrv.mdb") << "x";
    const cli::UnitFacts facts{ROLVANE_PROGRAM_PATH, folder / "wine 100%", {folder / "data/bsrv.mdb"}};
    std::ofstream(folder / cli::kServiceUnit) << cli::ServiceUnitText(facts);
    std::ofstream(folder / cli::kTimerUnit) << cli::TimerUnitText();
    std::ofstream(folder / cli::kPathUnit) << cli::PathUnitText(facts);
    const std::string command = "cd '" + folder.path() + "' && XDG_RUNTIME_DIR='" + folder.path() +
                                "' systemd-analyze --user --man=no verify ./" + cli::kPathUnit + " ./" + cli::kTimerUnit +
                                " ./" + cli::kServiceUnit + " > verdict 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << Slurp(folder / "verdict");
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

TEST(Notices, OnePerProblemPerDayAndTheLastIsKept) {
    platform_test::TempFolder folder;
    std::vector<std::string> shown;
    cli::Notices notices(folder / "state/restore-rolvane-data/notices", [&shown](const cli::Problem& problem) {
        shown.push_back(problem.key);
        return false;  // no notification service: still counted as told
    });
    const cli::Problem damaged{"damaged Business", "Rolvane Business contacts: damaged", "x.", "Business"};
    const cli::Problem store{"store", "no version", "full", ""};
    struct Step {
        const cli::Problem& problem;
        int64_t at;
        bool told;
    };
    const int64_t day = 86400;
    for (const Step& step : {Step{damaged, 1000, true}, Step{damaged, 1000 + day - 1, false}, Step{store, 2000, true},
                             Step{damaged, 1000 + day, true}})
        EXPECT_EQ(notices.Tell(step.problem, step.at), step.told) << step.problem.key << " at " << step.at;
    EXPECT_EQ(shown, (std::vector<std::string>{"damaged Business", "store", "damaged Business"}));
    ASSERT_TRUE(notices.Last());
    EXPECT_EQ(notices.Last()->when, 1000 + day);
    EXPECT_EQ(notices.Last()->text, "Rolvane Business contacts: damaged: x.");
}

// Which outcomes of a scheduled snapshot are problems told to the user:
// a damaged version, a version not kept, a database held for over a day.
TEST(ScheduledProblems, AreTheDamagedTheFailedAndTheLongHeld) {
    using Kind = history::Outcome::Kind;
    const int64_t now = 10 * 86400;
    const auto outcome = [](Kind kind, history::Verdict verdict) {
        history::Outcome o;
        o.database.ref = {"Business", "C:\\bsrv.mdb"};
        o.kind = kind;
        if (kind == Kind::Taken) {
            o.version = history::Version{};
            o.version->verdict = verdict;
        }
        if (kind == Kind::Failed) o.error = vb::DiskFull();
        o.reason = "page 3: a row outside its page";
        return o;
    };
    struct Case {
        const char* name;
        history::Outcome outcome;
        std::optional<int64_t> newestTaken;
        const char* key;  // "" for none
        const char* bodyHas;
    };
    const std::vector<Case> cases = {
        {"damaged", outcome(Kind::Taken, history::Verdict::Damaged), now, "damaged Business",
         "/h/bsrv.mdb is damaged (page 3: a row outside its page); Rolvane may fail to open it. The newest good "
         "version is version @4, taken 2026-12-10 08:00."},
        {"not kept", outcome(Kind::Failed, history::Verdict::Good), now, "failed Business", "/h/bsrv.mdb: Disk full."},
        {"held an hour", outcome(Kind::InUse, history::Verdict::Good), now - 3600, "", ""},
        {"held two days", outcome(Kind::InUse, history::Verdict::Good), now - 2 * 86400, "held Business",
         "has been held by another program since before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto problem =
            cli::ProblemOf(c.outcome, "/h/bsrv.mdb", "version @4, taken 2026-12-10 08:00", c.newestTaken, now);
        ASSERT_EQ(problem.has_value(), *c.key != 0);
        if (!problem) continue;
        EXPECT_EQ(problem->key, c.key);
        EXPECT_EQ(problem->edition, "Business");
        EXPECT_NE(problem->body.find(c.bodyHas), std::string::npos) << problem->body;
    }
}

}  // namespace
