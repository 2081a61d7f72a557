// The whole-file check on a large contact database, as a user meets it: a
// file of contacts written by mkmdb (700 MB unless another size in MB is
// given), checked through the reader child under its usual limits, against
// mdb-export of every table of the same file run as whole processes (the
// check may take at most that, and aims at half), and beside the copy that
// it guards before a replace (PosixFiles::FileCopy of the same file). Also
// the reader child's peak memory, which must not grow with the file. Run
// with `make bench`.
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "jet/reader_check.h"
#include "mkmdb/contacts.h"
#include "posix/files.h"

namespace {

namespace fs = std::filesystem;

// The user tables, as mdb-tables lists them.
std::vector<std::string> Tables(const std::string& file) {
    std::vector<std::string> tables;
    const std::string command = "mdb-tables -1 '" + file + "'";
    if (FILE* p = popen(command.c_str(), "r")) {
        char line[1024];
        while (fgets(line, sizeof line, p)) {
            std::string name = line;
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
            if (!name.empty()) tables.push_back(name);
        }
        pclose(p);
    }
    return tables;
}

long PeakChildKb() {
    struct rusage used{};
    getrusage(RUSAGE_CHILDREN, &used);
    return used.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 700;
    std::string pattern = (fs::temp_directory_path() / "rolvane-check-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    const std::string file = (dir / "bsrv.mdb").string();
    // About 660 bytes a contact, memos and photos included.
    const size_t contacts = static_cast<size_t>(megabytes * 1e6 / 662);
    mkmdb::Write(file, {mkmdb::ContactsTable({contacts, 1, {}})});
    const double size = static_cast<double>(fs::file_size(file)) / 1e6;
    std::printf("file: %.0f MB, %zu contacts\n", size, contacts);

    ports::CheckResult result;
    uint64_t batches = 0;
    double checkMs = 0;
    {
        jet::ReaderCheck check([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
        checkMs = bench::MedianMs(3, [&] {
            batches = 0;
            result = check.Check(file, [&](uint64_t, uint64_t) { return ++batches > 0; });
        });
    }
    // The reader child has ended with its check: the largest child so far.
    std::printf("check: %.0f ms (%.0f MB/s), %llu batches, verdict %s, %zu findings; the reader's peak memory "
                "%ld KB\n",
                checkMs, size / checkMs * 1e3, static_cast<unsigned long long>(batches + 1),
                result.verdict() == ports::Verdict::Good ? "good" : "NOT GOOD", result.findings.size(), PeakChildKb());

    const std::vector<std::string> tables = Tables(file);
    const double exportMs = bench::MedianMs(3, [&] {
        for (const std::string& t : tables) bench::RunQuiet({"mdb-export", file, t});
    });
    std::printf("mdb-export of its %zu tables: %.0f ms; the check takes %.0f%% of that (at most 100%%, aim 50%%)\n",
                tables.size(), exportMs, 100 * checkMs / exportMs);

    const wine::WinePaths paths("");
    posix::PosixFiles files(paths);
    const std::string copy = (dir / "copy.mdb").string();
    const double copyMs = bench::MedianMs(3, [&] {
        files.FileCopy(file, copy);
        fs::remove(copy);
    });
    std::printf("the copy it guards: %.0f ms; check and copy: %.0f ms\n", copyMs, checkMs + copyMs);
    fs::remove_all(dir);
    return result.verdict() == ports::Verdict::Good ? 0 : 1;
}
