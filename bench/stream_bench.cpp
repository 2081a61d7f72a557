// A contact table of 100,000 records of 20 columns through the reader's
// stream: the time from asking for a database's records to having the
// first batch (a fresh engine: the reader's start included), the whole
// stream beside mdb-export of the same file, and the reader's peak memory
// beside its limit. Then the search over the six databases of an edition:
// jetq --find (one reader per core) against `mdb-export FILE roof | grep -i
// TEXT` over the same six files, both timed as whole processes. Run with
// `make bench`.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "mkmdb/contacts.h"
#include "jet/libmdb_engine.h"

namespace {

using bench::Clock;
using bench::Ms;
using bench::StatusKb;
using bench::MedianMs;



int Shell(const std::string& command) { return bench::RunQuiet({"/bin/sh", "-c", command}); }

std::string Quote(const std::string& s) { return "'" + s + "'"; }

}  // namespace

int main() {
    constexpr std::size_t kRows = 100000;
    const auto dir = std::filesystem::temp_directory_path() / ("rolvane-stream-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::vector<std::string> files;
    for (int k = 0; k < 6; ++k) {
        files.push_back((dir / ("bsrv" + std::to_string(k) + ".mdb")).string());
        mkmdb::ContactList contacts;
        contacts.count = kRows;
        contacts.first = 1 + 100 * k;  // six copies that differ a little, as backups do
        mkmdb::Write(files.back(), {mkmdb::ContactsTable(contacts)});
    }
    std::printf("6 databases of %zu contacts of 20 columns, %.0f MB each\n", kRows,
                static_cast<double>(std::filesystem::file_size(files[0])) / 1e6);

    // First batch and whole stream, each with a fresh engine.
    std::vector<double> first, whole;
    long peakRss = 0, peakVm = 0;
    const jet::ReaderLimits limits;
    for (int run = 0; run < 5; ++run) {
        jet::LibmdbEngine engine([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
        const auto t0 = Clock::now();
        auto db = engine.OpenDatabase(files[0]);
        auto rows = db->OpenTable("roof");
        std::vector<ports::Value> row;
        if (!rows->Next(row)) return 1;
        first.push_back(Ms(t0));
        std::size_t n = 1;
        while (rows->Next(row)) ++n;
        whole.push_back(Ms(t0));
        if (n != kRows) {
            std::fprintf(stderr, "the stream gave %zu rows\n", n);
            return 1;
        }
        peakRss = std::max(peakRss, StatusKb(engine.ReaderPid(), "VmHWM"));
        peakVm = std::max(peakVm, StatusKb(engine.ReaderPid(), "VmPeak"));
    }
    std::sort(first.begin(), first.end());
    std::sort(whole.begin(), whole.end());
    const double exportMs = MedianMs(3, [&] { Shell("mdb-export " + Quote(files[0]) + " roof >/dev/null"); });
    const double jetqMs = MedianMs(3, [&] {
        Shell(std::string(ROLVANE_JETQ_PATH) + " " + Quote(files[0]) + " --table roof --csv >/dev/null");
    });
    std::printf("\nfirst batch (fresh engine: reader start, file check, %u rows), median of 5: %.1f ms (target 300)\n",
                limits.firstBatchRows, first[first.size() / 2]);
    std::printf("whole stream of %zu rows, median of 5: %.0f ms (%.0f rows/s)\n", kRows, whole[whole.size() / 2],
                kRows / whole[whole.size() / 2] * 1000);
    std::printf("as whole processes, median of 3: jetq --table roof --csv %.0f ms, mdb-export %.0f ms (ratio %.2f)\n",
                jetqMs, exportMs, jetqMs / exportMs);
    std::printf("reader peak memory: resident %ld kB, address space %ld kB, its limit %llu kB\n", peakRss, peakVm,
                static_cast<unsigned long long>(limits.memoryBytes / 1024));

    // The search over six databases: rare text, so that the work is the
    // reading and not the printing.
    const std::string text = "CONTACT77777@example";
    std::string all, pipeline;
    for (const auto& f : files) {
        all += " " + Quote(f);
        pipeline += "mdb-export " + Quote(f) + " roof | grep -i " + Quote(text) + "; ";
    }
    {
        // The search's batches hold no rows for most of the table: they must still give the one match.
        jet::LibmdbEngine engine([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
        auto db = engine.OpenDatabase(files[0]);
        auto found = db->FindRecords("roof", text);
        std::vector<ports::Value> row;
        std::size_t n = 0;
        while (found->Next(row)) ++n;
        if (n != 1) {
            std::fprintf(stderr, "the search found %zu rows, not 1\n", n);
            return 1;
        }
    }
    const double ours = MedianMs(3, [&] {
        Shell(std::string(ROLVANE_JETQ_PATH) + all + " --table roof --find " + Quote(text) + " >/dev/null");
    });
    const double theirs = MedianMs(3, [&] { Shell("(" + pipeline + ") >/dev/null"); });
    std::printf("\nsearch of 6 databases for %s, whole processes, median of 3: jetq --find %.0f ms (readers at once: "
                "%u cores), mdb-export | grep -i %.0f ms; ratio %.2f (target 0.5, aim 0.25)\n",
                text.c_str(), ours, std::thread::hardware_concurrency(), theirs, ours / theirs);
    std::filesystem::remove_all(dir);
    return 0;
}
