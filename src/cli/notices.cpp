#include "cli/notices.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

extern char** environ;

namespace cli {

namespace {

constexpr int64_t kDay = 24 * 60 * 60;

std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\t') c = ' ';
    return text;
}

}  // namespace

Notices::Notices(std::string file, std::function<bool(const Problem&)> notify)
    : file_(std::move(file)), notify_(std::move(notify)) {}

std::vector<Told> Notices::Read() const {
    std::vector<Told> told;
    std::ifstream in(file_);
    // Each line: the time, a tab, the key, a tab, the text.
    for (std::string line; std::getline(in, line);) {
        const size_t first = line.find('\t'), second = line.find('\t', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        try {
            told.push_back({line.substr(first + 1, second - first - 1), std::stoll(line.substr(0, first)),
                            line.substr(second + 1)});
        } catch (const std::exception&) {
            // A line not ours is passed over.
        }
    }
    return told;
}

bool Notices::Tell(const Problem& problem, int64_t now) {
    std::vector<Told> told = Read();
    for (const Told& before : told)
        if (before.key == problem.key && now - before.when < kDay && now >= before.when) return false;
    notify_(problem);
    // Kept as told even where no notification service showed it: the
    // journal has it, and status shows it.
    std::erase_if(told, [&](const Told& before) { return before.key == problem.key; });
    told.push_back({problem.key, now, OneLine(problem.summary + ": " + problem.body)});
    std::string text;
    for (const Told& line : told) text += std::to_string(line.when) + "\t" + line.key + "\t" + line.text + "\n";
    const size_t slash = file_.rfind('/');
    for (size_t at = 1; at < slash; ++at)
        if (file_[at] == '/') mkdir(file_.substr(0, at).c_str(), 0700);
    mkdir(file_.substr(0, slash).c_str(), 0700);
    const std::string temporary = file_ + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text;
        if (!out.flush()) return true;
    }
    std::rename(temporary.c_str(), file_.c_str());
    return true;
}

std::optional<Told> Notices::Last() const {
    std::optional<Told> last;
    for (const Told& told : Read())
        if (!last || told.when >= last->when) last = told;
    return last;
}

std::string NoticesFile(const std::string& xdgStateHome, const std::string& home) {
    const std::string base = !xdgStateHome.empty() && xdgStateHome[0] == '/' ? xdgStateHome : home + "/.local/state";
    return base + "/restore-rolvane-data/notices";
}

bool StartNotifier(const std::string& notifier, const std::string& program, const Problem& problem) {
    if (notifier.empty() || access(notifier.c_str(), X_OK) != 0) return false;
    std::vector<std::string> words{notifier, "--summary", problem.summary, "--body", problem.body};
    if (!problem.edition.empty()) words.insert(words.end(), {"--open", program, "--edition", problem.edition});
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    // A session of its own, so that the terminal's signals and this
    // process's end leave it waiting for the user's answer; its output goes
    // where ours does (the journal).
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, notifier.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return spawned == 0;
}

}  // namespace cli
