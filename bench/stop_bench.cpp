// How soon a stop signal ends a long copy, and what the folder's lock costs
// a command. A SIGINT sent halfway through PosixFiles::FileCopy of a 200 MB
// file: the time from the signal to the copy giving up (its temporary file
// gone), as the median of a few runs. Then taking and letting go of an
// uncontended lock, tidying included, over a folder with 100 numbered
// copies. Run with `make bench`.
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "host/signal_flag.h"
#include "posix/files.h"
#include "posix/folder_lock.h"

namespace fs = std::filesystem;

int main() {
    std::string pattern = (fs::temp_directory_path() / "rolvane-stop-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    const std::string source = (dir / "backup.rv").string();
    const std::string live = (dir / "bsrv.mdb").string();
    {
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 2654435761u >> 13);
        std::ofstream out(source, std::ios::binary);
        for (int i = 0; i < 200; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
        std::ofstream(live) << "live";
    }

    const wine::WinePaths paths("");
    posix::PosixFiles files(paths);
    bench::Clock::time_point sent;
    const ports::CopyProgress halfway = [&](uint64_t done, uint64_t total) {
        if (done * 2 >= total && sent == bench::Clock::time_point{}) {
            sent = bench::Clock::now();
            raise(SIGINT);
        }
    };
    std::vector<double> latencies;
    bool stopped = true;
    for (int run = 0; run < 7; ++run) {
        host::StopSignalSpan span;
        sent = {};
        try {
            files.FileCopy(source, live, halfway);
            stopped = false;
        } catch (const vb::Error& e) {
            stopped = stopped && e.Kind() == vb::ErrorKind::Stopped;
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(bench::Clock::now() - sent).count());
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("SIGINT halfway through a 200 MB copy: stopped after %.2f ms (median of %zu; %s)\n",
                latencies[latencies.size() / 2], latencies.size(), stopped ? "every copy stopped" : "NOT STOPPED");

    for (int n = 1; n <= 100; ++n) std::ofstream((dir / ("bsrv." + std::to_string(n))).string()) << n;
    posix::PosixFolderLock lock(paths);
    const double ms = bench::MedianMs(201, [&] { lock.Take(live, {}); });
    std::printf("taking and letting go of the lock, tidying 100 numbered copies: %.3f ms (median of 201)\n", ms);
    fs::remove_all(dir);
    return stopped ? 0 : 1;
}
