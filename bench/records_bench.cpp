// Looking inside a database, as a user meets it:
//   the window   Show Records on 100,000 contacts of 20 columns: the time
//                to the first rows on screen and to the last; then Find as
//                one types, each keystroke to the repainted table
//   --find       over the six databases of an edition (100,000 contacts
//                each) against `mdb-export FILE roof | grep -i TEXT` over
//                the same six files, both as whole processes
//   --show --csv against mdb-export of the same file
// Run with `make bench` (offscreen, no display needed).
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTableView>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bench_support.h"
#include "gui/records_dialog.h"
#include "jet/libmdb_engine.h"
#include "mkmdb/contacts.h"
#include "records/engine_source.h"
#include "records/render.h"

namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::Ms;


std::string Quote(const std::string& s) { return "'" + s + "'"; }

// A Wine prefix holding the Personal edition: the live database and five backups.
std::vector<std::string> MakeHome(const fs::path& home, size_t rows) {
    const fs::path c = bench::MakeWineHome(home);
    std::vector<std::string> files{(c / "users/ann/Documents/Varnock Rolvane/Data/bsrv.mdb").string()};
    for (int slot = 1; slot <= 5; ++slot)
        files.push_back((c / ("users/ann/AppData/Roaming/Varnock Rolvane/Backups/Backup" + std::to_string(slot) + ".rv")).string());
    for (size_t k = 0; k < files.size(); ++k) {
        mkmdb::ContactList contacts;
        contacts.count = rows;
        contacts.first = static_cast<int32_t>(1 + 100 * k);  // copies that differ a little, as backups do
        mkmdb::Write(files[k], {mkmdb::ContactsTable(contacts)});
    }
    return files;
}

void Window(const std::string& file) {
    gui::RecordsContext context;
    context.sources = records::EngineSources([] {
        return std::make_unique<jet::LibmdbEngine>([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
    });
    std::vector<double> first, whole;
    std::string typed;
    for (int run = 0; run < 3; ++run) {
        gui::RecordsDialog dialog(context, {"(Current)", file}, QStringLiteral("Personal"), {});
        dialog.show();
        QEventLoop wait;
        bool shown = false;
        const auto t0 = Clock::now();
        QObject::connect(&dialog.Model(), &QAbstractItemModel::rowsInserted, &wait, [&] {
            if (shown) return;
            shown = true;
            dialog.Table().viewport()->repaint();
            first.push_back(Ms(t0));
        });
        QObject::connect(&dialog, &gui::RecordsDialog::loaded, &wait, &QEventLoop::quit);
        dialog.Load();
        wait.exec();
        whole.push_back(Ms(t0));
        if (run > 0) continue;
        // A city of a record in the middle, typed letter by letter and taken back.
        const auto& table = dialog.Model().Records();
        const int city = records::ColumnIndex(table.Columns(), "City");
        const std::string text = records::DisplayText(table.Get(table.Size() / 2)[city]).substr(0, 5);
        std::vector<std::pair<std::string, double>> keys;
        std::string now;
        const auto key = [&](const std::string& value, const std::string& name) {
            const auto k0 = Clock::now();
            dialog.FindField().setText(QString::fromStdString(value));
            QApplication::processEvents();
            dialog.Table().viewport()->repaint();
            keys.emplace_back(name, Ms(k0));
        };
        for (char ch : text) key(now += ch, now);
        while (!now.empty()) {
            now.pop_back();
            key(now, "⌫ " + now);
        }
        std::printf("Find as one types over %zu records (ms a keystroke, to the repainted table):\n", table.Size());
        for (const auto& [name, ms] : keys) std::printf("  %-12s %6.1f\n", name.c_str(), ms);
    }
    std::sort(first.begin(), first.end());
    std::sort(whole.begin(), whole.end());
    std::printf("Show Records: first rows on screen %.0f ms, all %.0f ms (medians of 3; goal 300 ms to the first)\n",
                first[1], whole[1]);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    constexpr size_t kRows = 100000;
    const fs::path home = fs::temp_directory_path() / ("rolvane-records-bench-" + std::to_string(getpid()));
    const std::vector<std::string> files = MakeHome(home, kRows);
    std::printf("6 databases of %zu contacts of 20 columns, %.0f MB each\n", kRows,
                static_cast<double>(fs::file_size(files[0])) / 1e6);

    Window(files[0]);

    const std::string program = "HOME=" + Quote(home.string()) + " WINEPREFIX= " + Quote(ROLVANE_PROGRAM_PATH);
    const auto shell = [](const std::string& command) { return bench::RunQuiet({"/bin/sh", "-c", command + " 2>/dev/null"}); };
    // A text in one record of eight, and one in none.
    for (const std::string text : {"berlin", "qzxv"}) {
        std::string grep;
        for (const std::string& file : files) grep += "mdb-export " + Quote(file) + " roof | grep -i " + text + "; ";
        const double find = bench::MedianMs(3, [&] { shell(program + " --find personal " + text); });
        const double greps = bench::MedianMs(3, [&] { shell(grep); });
        std::printf("--find %s over 6 databases: %.0f ms; mdb-export | grep -i: %.0f ms; ratio %.2f (goal 0.5, aim 0.25)\n",
                    text.c_str(), find, greps, find / greps);
    }
    const double show = bench::MedianMs(3, [&] { shell(program + " --show personal current --csv"); });
    const double exportMs = bench::MedianMs(3, [&] { shell("mdb-export " + Quote(files[0]) + " roof"); });
    std::printf("--show --csv: %.0f ms; mdb-export: %.0f ms; ratio %.2f (goal 1 or less)\n", show, exportMs,
                show / exportMs);
    fs::remove_all(home);
    return 0;
}
