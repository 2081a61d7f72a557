// Small helpers shared by the benchmarks: wall-clock times, a process's
// memory, a Wine home to run in, and running a command with its output
// thrown away.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

using Clock = std::chrono::steady_clock;

inline double MedianMs(int runs, const std::function<void()>& f) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// Milliseconds since from.
inline double Ms(Clock::time_point from) { return std::chrono::duration<double, std::milli>(Clock::now() - from).count(); }

// A field of a process's /proc status in kB (VmHWM: peak resident; VmPeak: peak address space).
inline long StatusKb(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

// A Wine prefix in home with ann's Personal data and backup folders, drive
// C: linked as Wine links it; returns drive_c.
inline std::filesystem::path MakeWineHome(const std::filesystem::path& home) {
    namespace fs = std::filesystem;
    const fs::path c = home / ".wine/drive_c";
    fs::create_directories(home / ".wine/dosdevices");
    fs::create_directories(c / "users/ann/Documents/Varnock Rolvane/Data");
    fs::create_directories(c / "users/ann/AppData/Roaming/Varnock Rolvane/Backups");
    fs::create_directory_symlink("../drive_c", home / ".wine/dosdevices/c:");
    std::ofstream(home / ".wine/system.reg") << "WINE REGISTRY Version 2\n\n#arch=win64\n";
    std::ofstream(home / ".wine/user.reg") << "WINE REGISTRY Version 2\n\n#arch=win64\n";
    return c;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs a program with stdout discarded (stderr too when quietErrors), in
// the given environment (this process's when null); exits on failure to
// start. Returns the wait status.
// cpuMs, when given, gains the CPU time (user and system) of the program
// and of every process it waited for.
inline int Spawn(std::vector<std::string> args, char** env, bool quietErrors, double* cpuMs = nullptr) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    if (quietErrors) posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), env ? env : environ) != 0) {
        std::perror(argv[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    struct rusage used{};
    wait4(pid, &status, 0, &used);
    if (cpuMs)
        *cpuMs += (used.ru_utime.tv_sec + used.ru_stime.tv_sec) * 1e3 +
                  (used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e3;
    return status;
}

// Runs a program found on PATH with stdout discarded; exits on failure to start.
inline int RunQuiet(std::vector<std::string> args) { return Spawn(std::move(args), nullptr, false); }

}  // namespace bench
