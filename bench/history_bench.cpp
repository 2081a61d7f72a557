// The history store's costs, measured beside what they are weighed against:
//   - a version of an unchanged 50 MB contact database (goal: 10 ms, no page);
//   - a version of it with 1% of its pages changed, against cp + sync of the
//     file (goal: at most 0.5x), with the store alone and with the
//     whole-file check and roof's count through the reader, as --snapshot
//     examines it;
//   - N versions (100 by default: history_bench N), each 1% of the pages
//     changed in place from the one before, against a restic repository holding the same versions
//     (restic from Debian, default compression; goal: at most 0.25x) and N
//     plain copies (goal: at most 3%);
//   - putting back a version (rebuilt beside the live file, flushed, renamed)
//     against putting back a numbered copy the same way (goal: at most 1.5x),
//     and the two as Put Back does them, the source checked and counted first
//     and a version rebuilt into the store's private folder before its copy;
//   - a search of the N versions as --find makes it (page by page,
//     app/version_search.h, one reader per core) against a search of one
//     copy (goal: at most 3x).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <string>

#include "app/version_search.h"
#include "bench_support.h"
#include "history/snapshot.h"
#include "history/version_file.h"
#include "jet/libmdb_engine.h"
#include "jet/reader_check.h"
#include "jet/reader_client.h"
#include "mkmdb/contacts.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kContacts = 76000;  // about 50 MB

struct Lock : ports::FolderLock {
    std::unique_ptr<Held> Take(const std::string&, const std::function<void()>&) override {
        return std::make_unique<Held>();
    }
};
struct Stops : ports::StopSignals {
    std::unique_ptr<Span> Catch() override { return std::make_unique<Span>(); }
    bool Requested() override { return false; }
    void EndIfRequested() override {}
};

// The next version of the database at path: 1% of its pages, spread over
// the file, changed in place, the rest as it was; version k changes other
// pages than k-1. Each change is a few bytes in the free space between a
// data page's row offsets and its rows, so that every version stays a
// database the reader reads whole (and --find searches to its end).
void ChangeOnePercent(const std::string& path, int k) {
    const int fd = open(path.c_str(), O_RDWR);
    const size_t pages = fs::file_size(path) / 4096, stride = 100;
    const std::string stamp = "version " + std::to_string(k);
    unsigned char page[4096];
    const auto at = [&page](size_t i) { return size_t(page[i] | page[i + 1] << 8); };
    for (size_t start = 1 + (size_t(k) * 7) % stride; start < pages; start += stride) {
        // The first data page from start on with room for the stamp.
        for (size_t n = start; n < std::min(pages, start + stride); ++n) {
            if (pread(fd, page, sizeof page, off_t(n * 4096)) != off_t(sizeof page) || page[0] != 1) continue;
            const size_t rows = at(12), gapStart = 14 + 2 * rows;
            size_t gapEnd = 4096;
            for (size_t r = 0; r < rows; ++r) gapEnd = std::min(gapEnd, at(14 + 2 * r) & 0x1FFF);
            if (gapEnd < gapStart + stamp.size() + 8) continue;
            pwrite(fd, stamp.data(), stamp.size(), off_t(n * 4096 + gapStart + 4));
            break;
        }
    }
    close(fd);
}

void Flush(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    fsync(fd);
    close(fd);
}

double CopyAndSync(const std::string& from, const std::string& to) {
    return bench::MedianMs(3, [&] {
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        Flush(to);
    });
}

bool InPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    for (std::string dirs = path ? path : ""; !dirs.empty();) {
        const size_t colon = dirs.find(':');
        if (access((dirs.substr(0, colon) + "/" + program).c_str(), X_OK) == 0) return true;
        dirs = colon == std::string::npos ? "" : dirs.substr(colon + 1);
    }
    return false;
}

uint64_t Bytes(const std::string& folder) {
    uint64_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) total += entry.file_size();
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    const int versions = argc > 1 ? std::atoi(argv[1]) : 100;
    char pattern[] = "/tmp/rolvane-history-bench-XXXXXX";
    const std::string tmp = mkdtemp(pattern);
    const std::string live = tmp + "/bsrv.mdb", copy = tmp + "/copy.mdb", storeFolder = tmp + "/store";
    mkmdb::Write(live, {mkmdb::ContactsTable({kContacts, 1, {}})});
    const auto size = fs::file_size(live);
    std::printf("contact database: %.1f MB, %zu pages\n", size / 1048576.0, size_t(size / 4096));

    history::Store store(storeFolder, true);
    Lock lock;
    Stops stops;
    history::SnapshotPorts ports(lock, stops);
    ports.heldByAnother = [](int) { return false; };
    int64_t clock = 1780315200;
    ports.now = [&] { return clock += 60; };
    bool viaReader = false;
    ports.examine = [&](const std::string& path, const std::vector<size_t>& newPages) {
        history::Examination found{history::Verdict::Good, {}, {}};
        if (viaReader) {
            // As --snapshot examines it: the whole-file check's verdict with
            // only the new pages decoded, then roof counted.
            jet::ReaderCheck check([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
            if (check.CheckNew(path, newPages).verdict() == ports::Verdict::Damaged) found.verdict = history::Verdict::Damaged;
            found.records = std::get<int64_t>(jet::RunReader(ROLVANE_READER_PATH, path, path,
                                                              "SELECT Count(*) AS Counter FROM roof",
                                                              jet::ReaderLimits{})
                                                  .rows.at(0)
                                                  .at(0));
        }
        return found;
    };
    const std::vector<history::LiveDatabase> databases = {{{"Business", "C:\\bsrv.mdb"}, live}};
    const auto take = [&] { return history::TakeSnapshots(store, databases, ports).outcomes.at(0); };

    double first = bench::MedianMs(1, [&] { take(); });
    std::printf("first version: %.0f ms, store %.1f MB\n", first, store.Summarize().fileBytes / 1048576.0);
    const int64_t pagesBefore = store.Summarize().pages;
    const double unchanged = bench::MedianMs(5, [&] { take(); });
    std::printf("version of the unchanged database: %.2f ms (goal at most 10 ms), pages written: %lld\n", unchanged,
                static_cast<long long>(store.Summarize().pages - pagesBefore));

    // 1% changed: each timing its own version (the file is rewritten between).
    std::vector<double> storeOnly, withReader;
    size_t newPages = 0;
    for (int k = 1; k <= 6; ++k) {
        ChangeOnePercent(live, k);
        Flush(live);
        viaReader = k > 3;
        const double ms = bench::MedianMs(1, [&] { newPages = take().newPages; });
        (viaReader ? withReader : storeOnly).push_back(ms);
    }
    const double cp = CopyAndSync(live, copy);
    std::printf("version with 1%% of pages changed (%zu new pages): %.0f ms store alone, %.0f ms with the reader's "
                "check and count; cp + sync %.0f ms: ratios %.2f and %.2f (goal at most 0.50)\n",
                newPages, bench::Median(storeOnly), bench::Median(withReader), cp, bench::Median(storeOnly) / cp,
                bench::Median(withReader) / cp);

    // Put back: a version rebuilt beside the live file against a numbered copy copied there.
    const history::Version newest = *store.Newest(databases[0].ref);
    const double rebuild = bench::MedianMs(7, [&] {
        const std::string next = tmp + "/.next.mdb";
        const int fd = open(next.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        store.Rebuild(newest, fd, "version");
        fsync(fd);
        close(fd);
        fs::rename(next, copy);
    });
    const double numbered = bench::MedianMs(7, [&] {
        fs::copy_file(live, tmp + "/.next.mdb", fs::copy_options::overwrite_existing);
        Flush(tmp + "/.next.mdb");
        fs::rename(tmp + "/.next.mdb", copy);
    });
    std::printf("put back of a version: %.0f ms; of a numbered copy: %.0f ms; ratio %.2f (goal at most 1.50)\n",
                rebuild, numbered, rebuild / numbered);
    // The same as Put Back does it: the source checked and counted through
    // the reader, then copied beside the live file, flushed and renamed; a
    // version is first rebuilt into the store's private folder.
    const auto putBack = [&](const std::string& source) {
        jet::ReaderCheck check([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
        check.Check(source);
        jet::RunReader(ROLVANE_READER_PATH, source, source, "SELECT Count(*) AS Counter FROM roof", jet::ReaderLimits{});
        fs::copy_file(source, tmp + "/.next.mdb", fs::copy_options::overwrite_existing);
        Flush(tmp + "/.next.mdb");
        fs::rename(tmp + "/.next.mdb", copy);
    };
    const double versionPath = bench::MedianMs(7, [&] {
        history::VersionFile file(storeFolder, "bsrv@1");
        store.Rebuild(newest, file.Fd(), "version");
        putBack(file.Path());
    });
    const double numberedPath = bench::MedianMs(7, [&] { putBack(live); });
    std::printf("the same with Put Back's check and count of the source: %.0f ms; %.0f ms; ratio %.2f\n", versionPath,
                numberedPath, versionPath / numberedPath);

    // N versions against restic and plain copies.
    viaReader = false;
    const std::string repo = tmp + "/restic";
    setenv("RESTIC_PASSWORD", "bench", 1);
    // bench::RunQuiet ends the run when the program cannot be started.
    const bool restic = InPath("restic") && bench::RunQuiet({"restic", "init", "--repo", repo}) == 0;
    uint64_t plain = 0;
    for (int k = 7; k < 7 + versions; ++k) {
        ChangeOnePercent(live, k);
        take();
        plain += fs::file_size(live);
        if (restic) bench::Spawn({"restic", "backup", "--repo", repo, "--quiet", live}, nullptr, true);
    }
    store.Thin(0, history::UtcPeriods(), int64_t{1} << 40);  // nothing thinned: the free pages counted out
    const history::Summary summary = store.Summarize();
    std::printf("%d more versions: store %.1f MB (%.1f MB in use, %lld distinct pages), %d plain copies %.0f MB: "
                "%.2f%% (goal at most 3%%)\n",
                versions, summary.fileBytes / 1048576.0, summary.usedBytes / 1048576.0,
                static_cast<long long>(summary.pages), versions, plain / 1048576.0, 100.0 * summary.fileBytes / plain);
    if (restic) {
        const uint64_t repoBytes = Bytes(repo);
        std::printf("restic repository of the same versions: %.1f MB; store / restic %.3f (goal at most 0.25)\n",
                    repoBytes / 1048576.0, double(summary.fileBytes) / repoBytes);
    } else {
        std::printf("restic is not installed: no comparison\n");
    }

    // A version taken with every one of them in the store: what thinning and the
    // lookups cost as the store fills.
    ChangeOnePercent(live, 7 + versions);
    const double late = bench::MedianMs(1, [&] { take(); });
    std::printf("version with 1%% of pages changed, the store holding %d versions: %.0f ms store alone\n",
                versions + 7, late);

    // --find across every version against --find in one copy.
    const auto search = [](jet::LibmdbEngine& engine, const std::string& path) {
        auto db = engine.OpenDatabase(path);
        auto found = db->FindRecords("roof", "CONTACT77777@example");
        std::vector<ports::Value> row;
        size_t rows = 0;
        while (found->Next(row)) ++rows;
        return rows;
    };
    const auto toHost = [](const std::string& p) { return p; };
    size_t inOne = 0;
    const double one = bench::MedianMs(3, [&] {
        jet::LibmdbEngine engine(toHost, ROLVANE_READER_PATH);
        inOne = search(engine, live);
    });
    const std::vector<history::Version> all = store.Versions(databases[0].ref);
    size_t found = 0;
    const double every = bench::MedianMs(3, [&] {
        found = 0;
        for (const app::VersionFound& one :
             app::SearchVersions(store, all, "Business", "CONTACT77777@example", ROLVANE_READER_PATH,
                                 std::max(1u, std::thread::hardware_concurrency()), {}))
            found += one.table.records.size() + (one.error ? 1000000 : 0);
    });
    if (found != inOne * all.size())
        std::printf("the search of the versions found %zu records, not %zu in each\n", found, inOne);
    std::printf("--find across %zu versions: %.0f ms; in one copy: %.0f ms; ratio %.1f (goal at most 3)\n",
                all.size(), every, one, every / one);
    fs::remove_all(tmp);
}
