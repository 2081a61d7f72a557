// The units --auto-snapshot writes: their text (and, where systemd-analyze
// is installed, systemd's own verdict on it) and the crontab line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/auto_units.h"
#include "support/file_bytes.h"
#include "support/temp_folder.h"

namespace {

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
    EXPECT_EQ(status, 0) << test_support::Read(folder / "verdict");
}

}  // namespace
