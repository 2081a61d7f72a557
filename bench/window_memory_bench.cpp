// The window with a million contacts (of 20 columns): Show Records of a
// backup that holds them, what the process holds once every record is read,
// Find as one types over them, and Compare with a live database of 5,000;
// then --compare of the same pair on the command line, its time and peak
// memory beside the window's. Goals: the window at most 400 MB with Find and
// Compare, Find at most 50 ms a keystroke, --compare no slower than the
// window's Compare and under 500 MB; and text --show of the million, its
// first line within 300 ms and under 64 MB.
//
//   window_memory_bench [RECORDS]     (default 1000000)
//
// Run with `make bench` (offscreen, no display needed).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTableView>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "bench_support.h"
#include "gui/records_dialog.h"
#include "jet/libmdb_engine.h"
#include "mkmdb/contacts.h"
#include "records/engine_source.h"

namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::Ms;


// This process's resident memory now and at its peak, in MB.
double StatusMb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(std::string(field) + ":", 0) == 0) return std::stod(line.substr(std::strlen(field) + 1)) / 1024;
    return -1;
}

// Runs the program's command; its wall time in ms and peak resident memory in MB.
std::pair<double, double> Command(const fs::path& home, std::vector<std::string> arguments) {
    std::fflush(stdout);  // else the child writes what is buffered again
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", home.c_str(), 1);
        unsetenv("WINEPREFIX");
        freopen("/dev/null", "w", stdout);
        std::vector<char*> argv{const_cast<char*>(ROLVANE_PROGRAM_PATH)};
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(ROLVANE_PROGRAM_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage used{};
    wait4(pid, &status, 0, &used);
    return {Ms(t0), used.ru_maxrss / 1024.0};
}

// Runs the program's command with its output on a pipe: when its first line
// came, when it ended (ms), and its peak resident memory (MB).
struct Streamed {
    double firstLineMs = -1, wholeMs = 0, peakMb = 0;
};
Streamed FirstLine(const fs::path& home, std::vector<std::string> arguments) {
    int out[2];
    if (pipe(out) != 0) return {};
    std::fflush(stdout);
    Streamed result;
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", home.c_str(), 1);
        unsetenv("WINEPREFIX");
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv{const_cast<char*>(ROLVANE_PROGRAM_PATH)};
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(ROLVANE_PROGRAM_PATH, argv.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[1 << 16];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;)
        if (result.firstLineMs < 0 && std::memchr(buffer, '\n', static_cast<size_t>(got))) result.firstLineMs = Ms(t0);
    close(out[0]);
    int status = 0;
    struct rusage used{};
    wait4(pid, &status, 0, &used);
    result.wholeMs = Ms(t0);
    result.peakMb = used.ru_maxrss / 1024.0;
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const size_t kRows = argc > 1 ? std::stoul(argv[1]) : 1000000;
    const fs::path home = fs::temp_directory_path() / ("rolvane-window-bench-" + std::to_string(getpid()));
    const fs::path c = bench::MakeWineHome(home);
    const std::string live = (c / "users/ann/Documents/Varnock Rolvane/Data/bsrv.mdb").string();
    const std::string backup = (c / "users/ann/AppData/Roaming/Varnock Rolvane/Backups/Backup2.rv").string();
    mkmdb::ContactList big, small;
    big.count = kRows;
    small.count = 5000;
    small.first = static_cast<int32_t>(kRows / 2);
    mkmdb::Write(backup, {mkmdb::ContactsTable(big)});
    mkmdb::Write(live, {mkmdb::ContactsTable(small)});
    std::printf("%zu contacts of 20 columns (%.0f MB) against a live database of 5,000\n", kRows,
                static_cast<double>(fs::file_size(backup)) / 1e6);
    // The command line first, while this process is small: a child's peak
    // counts what it shared with its parent until it ran the program.
    const auto [ms, mb] = Command(home, {"--compare", "personal", "2", "--json"});
    std::printf("--compare personal 2 --json: %.0f ms, peak %.0f MB\n", ms, mb);
    const Streamed shown = FirstLine(home, {"--show", "personal", "2"});
    std::printf("--show personal 2 (text): first line after %.0f ms, the last after %.0f ms, peak %.0f MB (goals "
                "300 ms, 64 MB)\n", shown.firstLineMs, shown.wholeMs, shown.peakMb);
    const double before = StatusMb("VmRSS");

    gui::RecordsContext context;
    context.sources = records::EngineSources([] {
        return std::make_unique<jet::LibmdbEngine>([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
    });
    {
        gui::RecordsDialog dialog(context, {"Backup 2", backup}, QStringLiteral("Personal"), live);
        dialog.show();
        QEventLoop wait;
        QObject::connect(&dialog, &gui::RecordsDialog::loaded, &wait, &QEventLoop::quit);
        double first = -1;
        const auto t0 = Clock::now();
        QObject::connect(&dialog.Model(), &QAbstractItemModel::rowsInserted, &wait, [&] {
            if (first >= 0) return;
            dialog.Table().viewport()->repaint();
            first = Ms(t0);
        });
        dialog.Load();
        wait.exec();
        std::printf("Show Records: first rows on screen in %.0f ms, every record read in %.0f ms; the process holds "
                    "%.0f MB (%.0f MB before; the records %.0f MB)\n",
                    first, Ms(t0), StatusMb("VmRSS"), before, dialog.Model().Records().MemoryBytes() / 1e6);

        for (const std::string text : {"zürich", "contact777777@"}) {
            // Each keystroke to the repainted table, and in brackets its
            // search alone (the text set, before the table is drawn).
            std::printf("Find as one types \"%s\" (ms a keystroke [the search]):", text.c_str());
            std::string now;
            size_t at = 0;
            while (at < text.size()) {
                size_t length = 1;
                while (at + length < text.size() && (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80) ++length;
                now += text.substr(at, length);
                at += length;
                const auto k0 = Clock::now();
                dialog.FindField().setText(QString::fromStdString(now));
                const double search = Ms(k0);
                QApplication::processEvents();
                dialog.Table().viewport()->repaint();
                std::printf(" %.0f [%.0f]", Ms(k0), search);
            }
            dialog.FindField().clear();
            std::printf("\n");
        }
        std::printf("with Find: the process holds %.0f MB\n", StatusMb("VmRSS"));

        QEventLoop compared;
        QObject::connect(&dialog, &gui::RecordsDialog::resultsShown, &compared, &QEventLoop::quit);
        const auto t1 = Clock::now();
        dialog.CompareWithCurrent();
        compared.exec();
        const double windowCompare = Ms(t1);
        std::printf("Compare with Current (5,000): %.0f ms; the process holds %.0f MB, at its peak %.0f MB\n",
                    windowCompare, StatusMb("VmRSS"), StatusMb("VmHWM"));
    }
    fs::remove_all(home);
    return 0;
}
