// What a user waits for: one discovery over twelve large databases (beside
// mdb-count on the same files), and restoring a 200 MB database (beside cp
// followed by sync on the same file). Run with `make bench`.
#include <cstdio>
#include <filesystem>
#include <string>

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
}

void Restore() {
    WineHome home;
    const std::string live = home.C("users/ann/Documents/Varnock Rolvane/Data/bsrv.mdb");
    const std::string backup = home.C("users/ann/AppData/Roaming/Varnock Rolvane/Backups/Backup1.rv");
    WineHome::Roof(live, 10);
    WineHome::Roof(backup, 4700000);  // about 200 MB
    const double mb = static_cast<double>(fs::file_size(backup)) / (1 << 20);

    RealForm f(home);
    double ours = 0, cp = 0;
    const int runs = 3;
    for (int i = 0; i < runs; ++i) {
        catalogue::Form_Load(f.form);
        f.lv.Select(2);  // Backup 1
        f.msgbox.Answer({platform::vbYes, platform::vbOK});
        ours += bench::MedianMs(1, [&] { operations::cmdRestore_Click(f.form); });
        const std::string copy = home.C("cp-target.mdb");
        cp += bench::MedianMs(1, [&] {
            bench::RunQuiet({"cp", backup, copy});
            bench::RunQuiet({"sync"});
        });
        fs::remove(copy);
    }
    if (fs::file_size(live) != fs::file_size(backup)) {
        std::fprintf(stderr, "the restore did not complete\n");
        std::exit(1);
    }
    std::printf("restore of a %.0f MB database (set aside, copy, flush, rebuild): %.0f ms; cp + sync: %.0f ms; ratio %.2f\n",
                mb, ours / runs, cp / runs, ours / cp);
}

}  // namespace

int main() {
    Discovery();
    Restore();
}
