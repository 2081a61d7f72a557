// What a user waits for: one discovery over twelve large databases (beside
// mdb-count on the same files), and restoring a 200 MB database (beside cp
// followed by sync on the same file). Run with `make bench`.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "operations/commands.h"
#include "support/wine_home.h"

namespace {

namespace fs = std::filesystem;
using e2e::RealForm;
using e2e::WineHome;

void Discovery() {
    WineHome home;
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
    const std::string list = "exec env -u DISPLAY -u WAYLAND_DISPLAY -u WINEPREFIX HOME='" + home.Home() +
                             "' USER=ann '" ROLVANE_PROGRAM_PATH "' --list --json 2>/dev/null";
    if (bench::RunQuiet({"sh", "-c", list}) != 0) {
        std::fprintf(stderr, "--list --json failed\n");
        std::exit(1);
    }
    const double command = bench::MedianMs(9, [&] { bench::RunQuiet({"sh", "-c", list}); });
    std::printf("restore-rolvane-data --list --json, whole process: %.1f ms; ratio to the 12 mdb-count runs %.2f\n",
                command, command / mdbCount);
}

// Restore of a 200 MB backup against `cp` + `sync` of the same file, in
// interleaved pairs (which of the two goes first alternates), each started
// with nothing left to flush. The restore is timed from the click to its
// success message, which is what the user waits for before the catalogue is
// rebuilt; the rebuild is timed on its own. The disk here is noisy, so the
// report is the median of the pairs' ratios.
void Restore() {
    WineHome home;
    const std::string data = home.C("users/ann/Documents/Varnock Rolvane/Data/");
    const std::string live = data + "bsrv.mdb";
    const std::string backup = home.C("users/ann/AppData/Roaming/Varnock Rolvane/Backups/Backup1.rv");
    const std::string copy = home.C("cp-target.mdb");
    WineHome::Roof(live, 10);
    WineHome::Roof(backup, 4700000);  // about 200 MB
    const double mb = static_cast<double>(fs::file_size(backup)) / (1 << 20);

    RealForm f(home);
    bench::Clock::time_point clicked, restored;
    f.msgbox.onShow = [&](const fakes::ScriptedMessageBox::Box& box) {
        if (box.title == "Restore Complete") restored = bench::Clock::now();
    };
    auto ms = [](bench::Clock::time_point from, bench::Clock::time_point to) {
        return std::chrono::duration<double, std::milli>(to - from).count();
    };
    auto restore = [&] {
        catalogue::Form_Load(f.form);
        f.lv.Select(2);  // Backup 1
        f.msgbox.Answer({ports::vbYes, ports::vbOK});
        bench::RunQuiet({"sync"});
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
    std::printf("median of %d interleaved pairs' ratios (restore / cp + sync): %.2f; catalogue rebuild after it: median %.0f ms\n",
                pairs, median(ratios), median(rebuilds));
}

}  // namespace

// With an argument ("discovery" or "restore") only that one runs.
int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "discovery") Discovery();
    if (only.empty() || only == "restore") Restore();
}
