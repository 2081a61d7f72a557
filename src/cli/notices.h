// Telling the user of a problem that a scheduled --snapshot met, when no
// one watches its output: a desktop notification, at most one per problem
// a day, through the notifier (gui/notifier_main.cpp, which keeps this
// program free of Qt). Every problem is said on stderr too (the journal,
// under the user manager), and the last one told is what
// `--auto-snapshot status` shows.
//
// What was told when is a few lines in $XDG_STATE_HOME/restore-rolvane-data/
// notices (~/.local/state/...): a problem's key, the time, and its text.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// One problem: a key naming it ("damaged Business"), the summary and body
// of its notification, and the edition whose Previous Versions its action
// opens.
struct Problem {
    std::string key;
    std::string summary;
    std::string body;
    std::string edition;  // "Business", "Personal"; empty: no action
};

struct Told {
    std::string key;
    int64_t when = 0;  // seconds since the epoch
    std::string text;  // summary and body on one line
};

class Notices {
public:
    // file: where what was told is kept; notify: shows one problem
    // (false when it could not).
    Notices(std::string file, std::function<bool(const Problem&)> notify);

    // Tells problem unless it was told in the day before now; true when
    // it was due (told now, or said on stderr alone where no notification
    // could be shown).
    bool Tell(const Problem& problem, int64_t now);

    // The problem told last, if any.
    std::optional<Told> Last() const;

private:
    std::vector<Told> Read() const;
    std::string file_;
    std::function<bool(const Problem&)> notify_;
};

// $XDG_STATE_HOME/restore-rolvane-data/notices (absolute $XDG_STATE_HOME
// only), else under home/.local/state.
std::string NoticesFile(const std::string& xdgStateHome, const std::string& home);

// Starts the notifier at notifier, detached from this process (it waits for
// the user's answer after this process ended), with the problem and the
// program that its action starts; false when it could not be started.
bool StartNotifier(const std::string& notifier, const std::string& program, const Problem& problem);

}  // namespace cli
