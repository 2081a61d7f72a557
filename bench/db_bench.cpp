// Counting a large roof table through the database layer, side by side with
// mdb-count on the same file, and what the reader child costs per database
// compared with calling libmdb in-process. Run with `make bench`.
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
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "mkmdb/mkmdb.h"
#include "platform/database_libmdb.h"


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

int64_t CountThroughLayer(platform::LibmdbEngine& engine, const std::string& file) {
    auto db = engine.OpenDatabase(file);
    auto rs = db->OpenRecordset("select count(*) as counter from roof ", platform::dbOpenDynaset);
    return std::get<int64_t>(rs->Field("Counter"));
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
    platform::LibmdbEngine engine([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
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
    double layer = MedianMs(50, [&] { CountThroughLayer(engine, small); });
    double inProcess = MedianMs(50, [&] { CountInProcess(small); });
    double trueSpawn = MedianMs(50, [&] { Run({"/bin/true"}); });
    std::printf("\nper database, 10-row roof (median ms): open + count through the layer (2 children) %.2f,\n"
                "libmdb in-process %.2f, overhead %.2f ms per database; a bare spawn of /bin/true %.2f\n",
                layer, inProcess, layer - inProcess, trueSpawn);
    std::filesystem::remove_all(dir);
    return 0;
}
