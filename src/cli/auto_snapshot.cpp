#include "cli/auto_snapshot.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/commandline.h"

extern char** environ;

namespace cli {

namespace {

struct UnitFile {
    const char* name;
    std::string text;  // empty: not written (a path unit with nothing to watch)
};

std::string Read(const std::string& path, bool& exists) {
    std::ifstream in(path, std::ios::binary);
    exists = static_cast<bool>(in);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string PathOf(const AutoRun& run, const char* unit) { return run.unitFolder + "/" + unit; }

// Makes the folder and its parents, as mkdir -p; false with errno.
bool MakeFolders(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        if (mkdir(folder.substr(0, at).c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Writes text whole: a temporary file beside it, flushed, renamed over it.
// Empty on success, else why not.
std::string WriteWhole(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return std::strerror(errno);
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(fd) == 0;
    const int error = errno;
    written = close(fd) == 0 && written;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(written ? errno : error);
        unlink(temporary.c_str());
        return why;
    }
    return {};
}

// The files as `on` writes them.
std::vector<UnitFile> UnitFiles(const UnitFacts& facts) {
    return {{kServiceUnit, ServiceUnitText(facts)}, {kTimerUnit, TimerUnitText()}, {kPathUnit, PathUnitText(facts)}};
}

// The first line of systemctl's answer, for a message.
std::string FirstLine(const std::string& output) {
    const std::string line = output.substr(0, output.find('\n'));
    return line.empty() ? std::string("no reason given") : line;
}

bool ManagerRuns(AutoRun& run) { return run.systemctl({"show-environment"}).status == 0; }

// Runs systemctl with args; says why not when it fails.
bool Told(AutoRun& run, const std::vector<std::string>& args) {
    const Answered answer = run.systemctl(args);
    if (answer.status == 0) return true;
    std::string command = "systemctl --user";
    for (const std::string& arg : args) command += " " + arg;
    run.say(command + " failed: " + FirstLine(answer.output));
    return false;
}

// `systemctl --user show UNIT -p ...` as its properties.
std::map<std::string, std::string> Properties(AutoRun& run, const char* unit, const std::vector<std::string>& names) {
    std::vector<std::string> args{"show", unit};
    for (const std::string& name : names) args.insert(args.end(), {"-p", name});
    std::map<std::string, std::string> properties;
    const Answered answer = run.systemctl(args);
    if (answer.status != 0) return properties;
    std::istringstream lines(answer.output);
    for (std::string line; std::getline(lines, line);)
        if (const size_t equals = line.find('='); equals != std::string::npos)
            properties[line.substr(0, equals)] = line.substr(equals + 1);
    return properties;
}

std::string Trimmed(const std::string& text) {
    const size_t end = text.find_last_not_of(" \n");
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace

Answered RunSystemctl(const std::vector<std::string>& args) {
    Answered answer;
    int pipe[2];
    if (pipe2(pipe, O_CLOEXEC) != 0) return answer;
    std::vector<std::string> words{"systemctl", "--user", "--no-pager"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDERR_FILENO);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, "systemctl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe[1]);
    if (spawned == 0) {
        std::array<char, 4096> buffer;
        for (ssize_t n; (n = read(pipe[0], buffer.data(), buffer.size())) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            answer.output.append(buffer.data(), static_cast<size_t>(n));
        }
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
        answer.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else {
        answer.output = std::string("systemctl: ") + std::strerror(spawned);
    }
    close(pipe[0]);
    return answer;
}

std::string UnitFolder(const ports::HostEnvironment& env) {
    const std::string& config = env.xdgConfigHome;
    const std::string base = !config.empty() && config[0] == '/' ? config : env.home + "/.config";
    return base + "/systemd/user";
}

int AutoSnapshotOn(AutoRun& run) {
    if (!FitsAUnit(run.facts.program) || (run.facts.prefix && !FitsAUnit(*run.facts.prefix))) {
        run.say("The program's path or WINEPREFIX cannot go in a unit file (it must be absolute, on one line).");
        return app::kFailed;
    }
    std::vector<std::string> watched;
    for (const std::string& path : run.facts.watched)
        if (FitsAUnit(path)) watched.push_back(path);
        else run.say("'" + path + "' cannot be watched (a line break in its name); the hourly timer keeps it.");
    run.facts.watched = watched;
    if (!ManagerRuns(run)) {
        run.say("No systemd user manager runs here; this crontab line (crontab -e) keeps versions instead:");
        std::fputs((CrontabLine(run.facts) + "\n").c_str(), run.out);
        return app::kFailed;
    }
    const std::vector<UnitFile> files = UnitFiles(run.facts);
    for (const UnitFile& file : files) {
        bool exists = false;
        const std::string text = Read(PathOf(run, file.name), exists);
        if (exists && !IsOurs(text)) {
            run.say(PathOf(run, file.name) + " was not written by this program; it is left as it is, and nothing "
                                             "was turned on. Rename or remove it, then try again.");
            return app::kFailed;
        }
    }
    if (!MakeFolders(run.unitFolder)) {
        run.say("Cannot make " + run.unitFolder + ": " + std::strerror(errno));
        return app::kFailed;
    }
    std::vector<std::string> enable{"enable", "--now", kTimerUnit};
    for (const UnitFile& file : files) {
        const std::string path = PathOf(run, file.name);
        const std::string why = file.text.empty() ? (unlink(path.c_str()), std::string()) : WriteWhole(path, file.text);
        if (!why.empty()) {
            run.say("Cannot write " + path + ": " + why);
            return app::kFailed;
        }
        if (file.name == std::string(kPathUnit) && !file.text.empty()) enable.push_back(kPathUnit);
    }
    if (!Told(run, {"daemon-reload"}) || !Told(run, enable)) return app::kFailed;
    std::string text = "Versions are kept automatically: every hour";
    for (const std::string& path : run.facts.watched) text += (&path == &run.facts.watched.front() ? ", and when " : " or ") + path;
    if (!run.facts.watched.empty()) text += " changes";
    std::fputs((text + ".\n").c_str(), run.out);
    return app::kDone;
}

int AutoSnapshotOff(AutoRun& run) {
    const bool manager = ManagerRuns(run);
    bool ours = false, failed = false;
    for (const char* unit : {kPathUnit, kTimerUnit, kServiceUnit}) {
        bool exists = false;
        const std::string path = PathOf(run, unit);
        const std::string text = Read(path, exists);
        if (!exists) continue;
        if (!IsOurs(text)) {
            run.say(path + " was not written by this program; it is left as it is.");
            continue;
        }
        ours = true;
        if (manager && unit != std::string(kServiceUnit)) failed = !Told(run, {"disable", "--now", unit}) || failed;
        if (unlink(path.c_str()) != 0) {
            run.say("Cannot remove " + path + ": " + std::strerror(errno));
            failed = true;
        }
    }
    // Without a manager to disable them, the links that enabled them go by
    // hand (only links to our files: a link is not a file of the user's).
    for (const std::string& link : {"timers.target.wants/" + std::string(kTimerUnit),
                                   "default.target.wants/" + std::string(kPathUnit)}) {
        struct stat st {};
        const std::string path = run.unitFolder + "/" + link;
        if (ours && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(path.c_str());
    }
    if (manager && ours) {
        run.systemctl({"stop", kServiceUnit});
        failed = !Told(run, {"daemon-reload"}) || failed;
        run.systemctl({"reset-failed", kServiceUnit});
    }
    if (failed) return app::kFailed;
    std::fputs("Versions are no longer kept automatically.\n", run.out);
    return app::kDone;
}

int AutoSnapshotStatus(AutoRun& run, bool json) {
    const bool manager = ManagerRuns(run);
    bool exists = false;
    const std::string pathText = Read(PathOf(run, kPathUnit), exists);
    const std::vector<std::string> watched = exists && IsOurs(pathText) ? WatchedBy(pathText) : std::vector<std::string>{};
    const std::string enabled = manager ? Trimmed(run.systemctl({"is-enabled", kTimerUnit}).output) : "";
    const bool on = enabled == "enabled";
    const auto service = manager ? Properties(run, kServiceUnit, {"Result", "ExecMainStatus", "ExecMainExitTimestamp"})
                                 : std::map<std::string, std::string>{};
    const auto value = [&service](const char* name) {
        const auto found = service.find(name);
        return found == service.end() ? std::string() : found->second;
    };
    const bool ran = !value("ExecMainExitTimestamp").empty();
    const bool runFailed = ran && value("Result") != "success";
    if (json) {
        nlohmann::ordered_json state{{"on", on},
                                     {"manager", manager},
                                     {"watched", watched},
                                     {"last_versions", run.lastVersions},
                                     {"last_run", ran ? value("ExecMainExitTimestamp") : ""},
                                     {"last_run_failed", runFailed},
                                     {"last_problem", run.lastProblem}};
        std::fputs((state.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n").c_str(),
                   run.out);
        return app::kDone;
    }
    std::string text = std::string("Automatic versions: ") + (on ? "on" : "off") +
                       (manager ? "" : " (no systemd user manager runs here)") + "\n";
    for (const std::string& path : watched) text += "Watched: " + path + "\n";
    if (on) text += "Timer: hourly\n";
    for (const std::string& line : run.lastVersions) text += "Last version: " + line + "\n";
    if (ran)
        text += "Last run: " + value("ExecMainExitTimestamp") +
                (runFailed ? ", failed (exit status " + value("ExecMainStatus") + ")" : ", done") + "\n";
    if (!run.lastProblem.empty()) text += "Last problem: " + run.lastProblem + "\n";
    std::fputs(text.c_str(), run.out);
    return app::kDone;
}

bool FollowDatabases(AutoRun& run) {
    bool exists = false;
    const std::string path = PathOf(run, kPathUnit);
    const std::string text = Read(path, exists);
    bool timer = false;
    const std::string timerText = Read(PathOf(run, kTimerUnit), timer);
    // Only our own units, and only when they are on (the timer is there).
    if ((exists && !IsOurs(text)) || !timer || !IsOurs(timerText)) return true;
    std::vector<std::string> watched;
    for (const std::string& file : run.facts.watched)
        if (FitsAUnit(file)) watched.push_back(file);
    if (exists && WatchedBy(text) == watched) return true;
    if (!exists && watched.empty()) return true;
    run.facts.watched = watched;
    const std::string now = PathUnitText(run.facts);
    const std::string why = now.empty() ? (unlink(path.c_str()) == 0 ? std::string() : std::strerror(errno))
                                        : WriteWhole(path, now);
    if (!why.empty()) {
        run.say("The live databases moved, but the watch " + path + " cannot be rewritten: " + why);
        return false;
    }
    run.say(watched.empty() ? std::string("No live database is found any more; only the hourly timer runs.")
                            : "The live databases moved; the watch now follows " + watched.front() +
                                  (watched.size() > 1 ? " and " + watched.back() : std::string()) + ".");
    if (!ManagerRuns(run)) return true;
    if (!Told(run, {"daemon-reload"})) return false;
    return now.empty() ? Told(run, {"disable", "--now", kPathUnit})
                       : Told(run, {"enable", kPathUnit}) && Told(run, {"restart", kPathUnit});
}

}  // namespace cli
