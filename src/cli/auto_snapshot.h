// --auto-snapshot on|off|status: the systemd user units of auto_units.h
// written, enabled and started; stopped, disabled and removed; and what
// they do, told from systemctl --user and the history store (no file of
// our own says whether they are on).
//
//   on      refuses to overwrite a unit file of the same name that we did
//           not write; writes ours (each whole: a temporary file renamed
//           over it), reloads the manager and enables and starts the watch
//           and the timer. Where no user manager runs: one line saying so,
//           the crontab line that does the same on stdout, status 1.
//   off     stops and disables them, removes our files, reloads; 0 also
//           when they were not there.
//   status  on or off, the files watched, the last version of each
//           database, the last run of the service and the last problem.
// A --snapshot that finds the live databases somewhere else than the watch
// names (option 12 changed, another prefix) rewrites the watch
// (FollowDatabases).
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/auto_units.h"
#include "ports/environment.h"

namespace cli {

// What `systemctl --user ARGS` answered: its exit status (127 when it
// could not be started) and its output, stdout and stderr together.
struct Answered {
    int status = 127;
    std::string output;
};
using Systemctl = std::function<Answered(const std::vector<std::string>& args)>;

// Runs the real `systemctl --user` with args.
Answered RunSystemctl(const std::vector<std::string>& args);

// $XDG_CONFIG_HOME/systemd/user, else ~/.config/systemd/user.
std::string UnitFolder(const ports::HostEnvironment& env);

struct AutoRun {
    std::string unitFolder;
    UnitFacts facts;
    Systemctl systemctl;
    std::function<void(const std::string&)> say;  // one line on stderr
    std::FILE* out = stdout;
    // status: a line on the newest version of each database, and the last
    // problem told (notices.h), each empty for none.
    std::vector<std::string> lastVersions;
    std::string lastProblem;
};

int AutoSnapshotOn(AutoRun& run);
int AutoSnapshotOff(AutoRun& run);
int AutoSnapshotStatus(AutoRun& run, bool json);

// When our watch names other files than facts.watched: rewritten, and the
// manager told. Says what it did; false when it could not.
bool FollowDatabases(AutoRun& run);

}  // namespace cli
