// A memo and an OLE Object of 100 MB each (mkmdb --contacts --big-values):
// the time to read the record that holds them whole through the reader's
// stream, the time of a search that must read the memo to its end, and the
// reader's peak memory beside its limit (the values pass through it a piece
// at a time). Run with `make bench`.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <variant>
#include <vector>

#include "bench_support.h"
#include "jet/libmdb_engine.h"
#include "mkmdb/contacts.h"

namespace {

using bench::Clock;
using bench::Ms;
using bench::StatusKb;



}  // namespace

int main() {
    constexpr std::size_t kBig = 100'000'000;
    const auto dir = std::filesystem::temp_directory_path() / ("rolvane-big-values-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "bsrv.mdb").string();
    mkmdb::ContactList contacts;
    contacts.count = 1000;
    contacts.bigValues = kBig;
    mkmdb::Write(file, {mkmdb::ContactsTable(contacts)});
    std::printf("1,000 contacts, the first with a memo and an OLE Object of %zu bytes each: %.0f MB\n", kBig,
                static_cast<double>(std::filesystem::file_size(file)) / 1e6);

    const std::string notes = mkmdb::BigNotes(kBig);
    const std::string last = notes.substr(notes.rfind("Line "), 20);  // found only after reading it all
    const jet::ReaderLimits limits;
    std::vector<double> first, all, search;
    long peakRss = 0, peakVm = 0;
    for (int run = 0; run < 3; ++run) {
        jet::LibmdbEngine engine([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
        auto db = engine.OpenDatabase(file);
        const auto t0 = Clock::now();
        auto rows = db->OpenTable("roof");
        std::vector<ports::Value> row;
        if (!rows->Next(row)) return 1;
        first.push_back(Ms(t0));
        const auto* memo = std::get_if<std::string>(&row[18]);
        const auto* photo = std::get_if<ports::Bytes>(&row[19]);
        if (!memo || !photo || *memo != notes || photo->data.size() != kBig) {
            std::fprintf(stderr, "the big values did not come back whole\n");
            return 1;
        }
        std::size_t n = 1;
        while (rows->Next(row)) ++n;
        all.push_back(Ms(t0));
        if (n != contacts.count) return 1;
        const auto t1 = Clock::now();
        auto found = db->FindRecords("roof", last);
        n = 0;
        while (found->Next(row)) ++n;
        search.push_back(Ms(t1));
        if (n != 1) {
            std::fprintf(stderr, "the search found %zu records, not 1\n", n);
            return 1;
        }
        peakRss = std::max(peakRss, StatusKb(engine.ReaderPid(), "VmHWM"));
        peakVm = std::max(peakVm, StatusKb(engine.ReaderPid(), "VmPeak"));
    }
    std::printf("the record with both values, whole: %.0f ms; all 1,000 records: %.0f ms (medians of 3)\n",
                bench::Median(first), bench::Median(all));
    std::printf("a search for the memo's last line: %.0f ms (median of 3)\n", bench::Median(search));
    std::printf("reader peak memory: resident %ld kB, address space %ld kB, its limit %llu kB\n", peakRss, peakVm,
                static_cast<unsigned long long>(limits.memoryBytes / 1024));
    std::filesystem::remove_all(dir);
    return 0;
}
