// Counting a large roof table through the database layer, side by side with
// mdb-count on the same file; what the reader child costs per database
// compared with calling libmdb in-process; how long each damaged reproducer
// takes to be turned away; and the reader's resident memory after 10 and
// after 1,000 databases. Run with `make bench`.
#include <glib.h>
#include <mdbtools.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "bench_support.h"
#include "mkmdb/mkmdb.h"
#include "jet/libmdb_engine.h"
#include "vb/error.h"


namespace {

using bench::MedianMs;

void Run(std::vector<std::string> args) { bench::RunQuiet(std::move(args)); }

mkmdb::Table Roof(std::size_t n) {
    mkmdb::Table t;
    t.name = "roof";
    t.columns = {{"ID", mkmdb::ColumnType::Long}, {"Name", mkmdb::ColumnType::Text, 50}};
    t.row_count = n;
    t.generate = [](std::size_t i, mkmdb::Row& row) {
        row[0] = static_cast<int32_t>(i + 1);
        row[1] = "Contact " + std::to_string(i + 1);
    };
    return t;
}

int64_t CountThroughLayer(jet::LibmdbEngine& engine, const std::string& file) {
    auto db = engine.OpenDatabase(file);
    auto rs = db->OpenRecordset("select count(*) as counter from roof ", ports::dbOpenDynaset);
    return std::get<int64_t>(rs->Field("Counter"));
}

// The reader's resident memory in kB, from /proc.
long ReaderRssKb(const jet::LibmdbEngine& engine) {
    std::ifstream status("/proc/" + std::to_string(engine.ReaderPid()) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Each fuzzed reproducer, padded to whole pages so that it reaches libmdb:
// the error number and how long the engine took to give it.
void DamagedReproducers(jet::LibmdbEngine& engine, const std::filesystem::path& dir) {
    const std::filesystem::path damaged = std::filesystem::path(ROLVANE_SHARED_DIR) / "jet-samples" / "damaged";
    if (!std::filesystem::exists(damaged)) {
        std::printf("\ndamaged reproducers: skipped, %s not found\n", damaged.c_str());
        return;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(damaged))
        if (e.path().extension() == ".mdb") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::printf("\n%-44s %7s %9s\n", "damaged reproducer (padded)", "number", "ms");
    double slowest = 0;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t page = bytes.size() > 0x14 && bytes[0x14] == 0 ? 2048 : 4096;
        bytes.resize((bytes.size() + page - 1) / page * page, '\0');
        const std::string copy = (dir / f.filename()).string();
        std::ofstream(copy, std::ios::binary) << bytes;
        int number = 0;
        const double ms = MedianMs(1, [&] {
            try {
                CountThroughLayer(engine, copy);
            } catch (const vb::Error& e) {
                number = e.Number();
            }
        });
        slowest = std::max(slowest, ms);
        std::printf("%-44s %7d %9.1f\n", f.filename().c_str(), number, ms);
    }
    std::printf("slowest damaged file: %.1f ms\n", slowest);
}

int64_t CountInProcess(const std::string& file) {
    MdbHandle* mdb = mdb_open(file.c_str(), MDB_NOFLAGS);
    std::string name = "roof";
    MdbTableDef* t = mdb_read_table_by_name(mdb, name.data(), MDB_TABLE);
    int64_t n = t ? t->num_rows : -1;
    if (t) mdb_free_tabledef(t);
    mdb_close(mdb);
    return n;
}

}  // namespace

int main() {
    auto dir = std::filesystem::temp_directory_path() / ("rolvane-db-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    jet::LibmdbEngine engine([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
    const int runs = 15;

    std::printf("%-28s %12s %12s %8s\n", "roof count (median ms)", "our layer", "mdb-count", "ratio");
    for (std::size_t rows : {std::size_t{100000}, std::size_t{1000000}}) {
        std::string file = (dir / ("roof" + std::to_string(rows) + ".mdb")).string();
        mkmdb::Write(file, {Roof(rows)});
        if (CountThroughLayer(engine, file) != static_cast<int64_t>(rows)) {
            std::fprintf(stderr, "wrong count for %zu rows\n", rows);
            return 1;
        }
        double ours = MedianMs(runs, [&] { CountThroughLayer(engine, file); });
        double theirs = MedianMs(runs, [&] { Run({"mdb-count", file, "roof"}); });
        std::printf("%-28s %12.2f %12.2f %8.2f\n", (std::to_string(rows) + " rows").c_str(), ours, theirs, ours / theirs);
    }

    std::string small = (dir / "small.mdb").string();
    mkmdb::Write(small, {Roof(10)});
    double layer = MedianMs(200, [&] { CountThroughLayer(engine, small); });
    double inProcess = MedianMs(200, [&] { CountInProcess(small); });
    double trueSpawn = MedianMs(50, [&] { Run({"/bin/true"}); });
    std::printf("\nper database, 10-row roof (median ms): open + count through the layer (2 requests to the running reader) %.3f,\n"
                "libmdb in-process %.3f, overhead %.3f ms per database; a bare spawn of /bin/true %.2f\n",
                layer, inProcess, layer - inProcess, trueSpawn);
    jet::LibmdbEngine fresh([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
    const double firstRead = MedianMs(1, [&] { CountThroughLayer(fresh, small); });
    std::printf("first read of a run, the reader's start and sandbox included: %.2f ms\n", firstRead);

    DamagedReproducers(engine, dir);

    // 1,000 different databases through one reader: its resident memory
    // must not grow with the number of files it has read.
    std::vector<std::string> many;
    for (int i = 0; i < 1000; ++i) {
        many.push_back((dir / ("many" + std::to_string(i) + ".mdb")).string());
        std::filesystem::copy_file(small, many.back());
    }
    jet::LibmdbEngine counted([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
    long after10 = 0;
    for (size_t i = 0; i < many.size(); ++i) {
        if (CountThroughLayer(counted, many[i]) != 10) {
            std::fprintf(stderr, "wrong count in %s\n", many[i].c_str());
            return 1;
        }
        if (i + 1 == 10) after10 = ReaderRssKb(counted);
    }
    std::printf("\nreader resident memory: after 10 databases %ld kB, after 1,000 databases %ld kB (one reader, pid %d)\n",
                after10, ReaderRssKb(counted), static_cast<int>(counted.ReaderPid()));
    std::filesystem::remove_all(dir);
    return 0;
}
