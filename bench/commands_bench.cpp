// What a user waits for: one discovery over twelve large databases (beside
// mdb-count on the same files), and restoring a 200 MB database (beside cp
// followed by sync on the same file). Run with `make bench`.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "posix/held_open.h"
#include "operations/commands.h"
#include "support/wine_home.h"

namespace {

namespace fs = std::filesystem;
using e2e::RealForm;
using e2e::WineHome;

// A user.reg of the size a fresh prefix has (wineboot writes some 24 kB of
// keys), so that reading the registry costs what it costs a user.
void FillUserRegistry(const std::string& prefix) {
    std::ofstream out(prefix + "/user.reg", std::ios::app);
    for (int key = 0; out.tellp() < 24000; ++key) {
        out << "\n[Software\\Wine\\Bench\\Key" << key << "] 1700000000\n#time=1da0b1c2d3e4f50\n";
        for (int value = 0; value < 4; ++value)
            out << "\"Value" << value << "\"=\"C:\\\\users\\\\ann\\\\AppData\\\\Local\\\\" << key << "\"\n";
        out << "\"Flags\"=dword:00000001\n";
    }
}

void Discovery() {
    WineHome home;
    FillUserRegistry(home.Prefix());
    const std::string docs = "users/ann/Documents/", roaming = "users/ann/AppData/Roaming/";
    std::vector<std::string> files;
    WineHome::Options(home.C(docs + "Varnock Rolvane BE/Data/options.mdb"), "C:\\RolvaneData");
    files.push_back(home.C("RolvaneData/bsrv.mdb"));
    files.push_back(home.C(docs + "Varnock Rolvane/Data/bsrv.mdb"));
    for (int slot = 1; slot <= 5; ++slot) {
        files.push_back(home.C(roaming + "Varnock Rolvane BE/Backups/Backup" + std::to_string(slot) + ".rb"));
        files.push_back(home.C(roaming + "Varnock Rolvane/Backups/Backup" + std::to_string(slot) + ".rv"));
    }
    WineHome::Roof(files[0], 100000);
    for (size_t i = 1; i < files.size(); ++i) {
        fs::create_directories(fs::path(files[i]).parent_path());
        fs::copy_file(files[0], files[i], fs::copy_options::overwrite_existing);
    }

    // The first discovery of a run also starts the engine's reader (each
    // RealForm has its own engine); later ones find it running, as a
    // Restore's rebuilt catalogue does. Against an empty home, the same
    // first discovery shows what a run pays without any database.
    WineHome emptyHome;
    const double emptyFirst = bench::MedianMs(7, [&] {
        RealForm empty(emptyHome);
        catalogue::Form_Load(empty.form);
    });
    const double first = bench::MedianMs(7, [&] {
        RealForm fresh(home);
        catalogue::Form_Load(fresh.form);
    });
    RealForm f(home);
    catalogue::Form_Load(f.form);
    const double ours = bench::MedianMs(9, [&] { catalogue::Form_Load(f.form); });
    if (f.lv.items.size() != 12 || f.lv.items[11].sub[2] != "100000") {
        std::fprintf(stderr, "discovery did not list 12 databases of 100000 rows\n");
        std::exit(1);
    }
    const double mdbCount = bench::MedianMs(9, [&] {
        for (const auto& file : files) bench::RunQuiet({"mdb-count", file, "roof"});
    });
    std::printf("discovery of 12 databases x 100,000 roof rows (medians): first of a run %.1f ms, %.1f ms more than on an "
                "empty home (ratio %.2f); later ones %.1f ms; mdb-count on the same 12 files: %.1f ms; ratio %.2f\n",
                first, first - emptyFirst, (first - emptyFirst) / mdbCount, ours, mdbCount, ours / mdbCount);

    // The command line's catalogue, as a script pays for it: the whole
    // program, started without a display, against the twelve mdb-count runs.
    // Both are whole processes on a machine that other work shares, so they
    // run in interleaved pairs and the report is the median of the pairs'
    // ratios, beside the medians of each. The program is spawned directly,
    // as mdb-count is, with ann's environment and no display.
    std::vector<std::string> variables;
    const std::vector<std::string> replaced = {"DISPLAY=", "WAYLAND_DISPLAY=", "WINEPREFIX=", "HOME=", "USER="};
    for (char** e = environ; *e; ++e) {
        const std::string variable = *e;
        if (std::none_of(replaced.begin(), replaced.end(), [&](const std::string& v) { return variable.starts_with(v); }))
            variables.push_back(variable);
    }
    variables.push_back("HOME=" + home.Home());
    variables.push_back("USER=ann");
    std::vector<char*> env;
    for (auto& v : variables) env.push_back(v.data());
    env.push_back(nullptr);
    double listingCpu = 0, countsCpu = 0;
    auto listing = [&] {
        return bench::Spawn({ROLVANE_PROGRAM_PATH, "--list", "--json"}, env.data(), true, &listingCpu);
    };
    if (listing() != 0) {
        std::fprintf(stderr, "--list --json failed\n");
        std::exit(1);
    }
    auto twelveCounts = [&] {
        for (const auto& file : files) bench::Spawn({"mdb-count", file, "roof"}, nullptr, false, &countsCpu);
    };
    listingCpu = 0;
    std::vector<double> commands, counts, ratios;
    for (int i = 0; i < 21; ++i) {
        const bool listFirst = i % 2 == 0;
        double command = 0, count = 0;
        if (listFirst) command = bench::MedianMs(1, [&] { listing(); });
        count = bench::MedianMs(1, twelveCounts);
        if (!listFirst) command = bench::MedianMs(1, [&] { listing(); });
        commands.push_back(command);
        counts.push_back(count);
        ratios.push_back(command / count);
    }
    std::printf("restore-rolvane-data --list --json, whole process: median %.1f ms; 12 mdb-count runs: median %.1f ms; "
                "median of 21 interleaved pairs' ratios %.2f (goal at most 0.50)\n",
                bench::Median(commands), bench::Median(counts), bench::Median(ratios));
    // CPU time does not wait for the scheduler, so a loaded machine blurs it less.
    std::printf("CPU time (user and system, both processes): --list --json %.2f ms, 12 mdb-count runs %.2f ms; "
                "ratio %.2f\n",
                listingCpu / 21, countsCpu / 21, listingCpu / countsCpu);
}

// Restore of a 200 MB backup against `cp` + `sync` of the same file, in
// interleaved pairs (which of the two goes first alternates), each started
// with nothing left to flush. The restore is timed from the click to its
// success message, which is what the user waits for before the catalogue is
// rebuilt; the rebuild is timed on its own. The disk here is noisy, so the
// report is the median of the pairs' ratios.
const char* StepName(posix::FileStep step) {
    switch (step) {
        case posix::FileStep::CreateTemporary: return "create the temporary file";
        case posix::FileStep::CopyChunk: return "copy the data";
        case posix::FileStep::FlushFile: return "flush the copy, check the live file is free";
        case posix::FileStep::Replace: return "rename the copy over the live file";
        case posix::FileStep::Rename: return "rename";
        case posix::FileStep::Link: return "link the numbered copy";
        case posix::FileStep::Unlink: return "remove a name";
        case posix::FileStep::OpenFolder: return "open the folder for its flush";
        case posix::FileStep::FlushFolder: return "flush the folder, then what follows";
        case posix::FileStep::OpenLock: return "open the folder's lock file";
        case posix::FileStep::OpenToCheck: return "open the live file to check it is free";
    }
    return "?";
}

std::vector<double> Column(const std::vector<std::vector<double>>& rows, size_t i) {
    std::vector<double> column;
    for (const auto& row : rows)
        if (i < row.size()) column.push_back(row[i]);
    return column.empty() ? std::vector<double>{0} : column;
}

size_t ProcessCount() {
    size_t n = 0;
    for (const auto& entry : fs::directory_iterator("/proc"))
        n += entry.path().filename().string().find_first_not_of("0123456789") == std::string::npos;
    return n;
}

void Restore() {
    WineHome home;
    const std::string data = home.C("users/ann/Documents/Varnock Rolvane/Data/");
    const std::string live = data + "bsrv.mdb";
    const std::string backup = home.C("users/ann/AppData/Roaming/Varnock Rolvane/Backups/Backup1.rv");
    const std::string copy = home.C("cp-target.mdb");
    WineHome::Roof(live, 10);
    WineHome::Roof(backup, 4700000);  // about 200 MB
    const double mb = static_cast<double>(fs::file_size(backup)) / (1 << 20);

    // Each file-system step of the restore is told to the hook before it
    // runs: the time from one step to the next is what the first took, with
    // whatever the procedure did before the next.
    std::vector<std::pair<std::string, bench::Clock::time_point>> steps;
    RealForm f(home, [&](posix::FileStep step) {
        const char* name = StepName(step);
        if (steps.empty() || steps.back().first != name || step != posix::FileStep::CopyChunk)
            steps.emplace_back(name, bench::Clock::now());
        return 0;
    });
    bench::Clock::time_point clicked, restored;
    f.msgbox.onShow = [&](const fakes::ScriptedMessageBox::Box& box) {
        if (box.title == "Restore Complete") restored = bench::Clock::now();
    };
    auto ms = [](bench::Clock::time_point from, bench::Clock::time_point to) {
        return std::chrono::duration<double, std::milli>(to - from).count();
    };
    std::vector<std::vector<double>> stepTimes;  // per restore: the times between its steps
    auto restore = [&] {
        catalogue::Form_Load(f.form);
        f.lv.Select(2);  // Backup 1
        f.msgbox.Answer({ports::vbYes, ports::vbOK});
        bench::RunQuiet({"sync"});
        steps.clear();
        clicked = bench::Clock::now();
        operations::cmdRestore_Click(f.form);
        const double rebuild = ms(restored, bench::Clock::now());
        // The numbered copies would fill the disk: one per run.
        for (const auto& entry : fs::directory_iterator(data))
            if (entry.path().filename() != "bsrv.mdb") fs::remove(entry.path());
        if (f.msgbox.shown.back().title != "Restore Complete" || fs::file_size(live) != fs::file_size(backup)) {
            std::fprintf(stderr, "the restore did not complete\n");
            std::exit(1);
        }
        // What lies between the click and the first step, between steps,
        // and between the last step and the message.
        std::vector<double> between;
        between.push_back(ms(clicked, steps.front().second));
        for (size_t i = 0; i < steps.size(); ++i)
            between.push_back(ms(steps[i].second, i + 1 < steps.size() ? steps[i + 1].second : restored));
        stepTimes.push_back(std::move(between));
        return std::make_pair(ms(clicked, restored), rebuild);
    };
    auto cpSync = [&] {
        fs::remove(copy);
        bench::RunQuiet({"sync"});
        const auto t0 = bench::Clock::now();
        bench::RunQuiet({"cp", backup, copy});
        bench::RunQuiet({"sync"});
        return ms(t0, bench::Clock::now());
    };

    restore();  // warms the page cache with the backup, as a second restore finds it
    const int pairs = 9;
    std::vector<double> ratios, ours, cps, rebuilds;
    for (int i = 0; i < pairs; ++i) {
        std::pair<double, double> r;
        double c;
        if (i % 2 == 0) {
            r = restore();
            c = cpSync();
        } else {
            c = cpSync();
            r = restore();
        }
        ours.push_back(r.first);
        rebuilds.push_back(r.second);
        cps.push_back(c);
        ratios.push_back(r.first / c);
    }
    fs::remove(copy);
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("restore of a %.0f MB database, click to success message: median %.0f ms (min %.0f, max %.0f); "
                "cp + sync: median %.0f ms (min %.0f, max %.0f)\n",
                mb, median(ours), *std::min_element(ours.begin(), ours.end()),
                *std::max_element(ours.begin(), ours.end()), median(cps),
                *std::min_element(cps.begin(), cps.end()), *std::max_element(cps.begin(), cps.end()));
    std::printf("median of %d interleaved pairs' ratios (restore / cp + sync): %.2f (goal at most 1.10); "
                "catalogue rebuild after it: median %.0f ms\n",
                pairs, median(ratios), median(rebuilds));
    std::printf("the restore's steps (medians, ms; each from the step's start to the next one's):\n");
    std::printf("  %-44s %8.2f\n", "from the click to the first step", median(Column(stepTimes, 0)));
    for (size_t i = 0; i < steps.size(); ++i)
        std::printf("  %-44s %8.2f\n", steps[i].first.c_str(), median(Column(stepTimes, i + 1)));

    // The in-use check alone, on the live database (the restore makes three:
    // the backup before the copy, the live file before and after it).
    const double check = bench::MedianMs(51, [&] {
        if (posix::HeldByAnotherProcess(live)) std::exit(1);
    });
    std::printf("  of which each in-use check (%zu processes on this machine) %8.3f\n", ProcessCount(), check);
}

}  // namespace

// With an argument ("discovery" or "restore") only that one runs.
int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "discovery") Discovery();
    if (only.empty() || only == "restore") Restore();
}
