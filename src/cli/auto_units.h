// The systemd user units that keep versions automatically
// (--auto-snapshot on): their names, their text, and how a unit file of
// ours is told from one the user wrote.
//
//   restore-rolvane-data.path     PathChanged= on each live database that
//                                 discovery found: fires once a writer that
//                                 had the file open for writing closes it
//   restore-rolvane-data.timer    hourly, Persistent=true: catches what a
//                                 watch missed (a prefix that moved, a change
//                                 made while the machine slept)
//   restore-rolvane-data.service  what both start: the installed program, by
//                                 its absolute path, --snapshot --scheduled,
//                                 with WINEPREFIX as it was at `on`
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char* kUnitBase = "restore-rolvane-data";
inline constexpr const char* kPathUnit = "restore-rolvane-data.path";
inline constexpr const char* kServiceUnit = "restore-rolvane-data.service";
inline constexpr const char* kTimerUnit = "restore-rolvane-data.timer";
// The first line of every unit file we write; a file without it is the
// user's, and is never overwritten or removed.
inline constexpr const char* kOurMark = "# Written by restore-rolvane-data --auto-snapshot on;";

// What the units are made of.
struct UnitFacts {
    std::string program;                // the program's absolute path
    std::optional<std::string> prefix;  // WINEPREFIX when it was set
    std::vector<std::string> watched;   // the live databases' host paths
};

std::string ServiceUnitText(const UnitFacts& facts);
std::string TimerUnitText();
// Empty when nothing is watched (the timer alone runs, and the next
// snapshot that finds a live database writes it).
std::string PathUnitText(const UnitFacts& facts);

// Whether the text of a unit file is one of ours.
bool IsOurs(const std::string& text);
// The paths a path unit of ours watches, in its order.
std::vector<std::string> WatchedBy(const std::string& pathUnitText);

// The line of a crontab that does the same where no user manager runs.
std::string CrontabLine(const UnitFacts& facts);

// A path systemd and cron can take as it is: absolute, with no control
// character (a line break would end the setting).
bool FitsAUnit(const std::string& path);

}  // namespace cli
