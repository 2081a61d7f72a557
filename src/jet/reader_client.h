// The window's side of the database reader child (reader/main.cpp):
// one reader process, started on first use and sent one request at a time
// over a socket (reader_protocol.h), so that a run pays for one process
// start, not two per database.
//
// Every request has a deadline and every answer a size cap; the reader has a
// memory cap and CPU seconds per request. A table is read as a stream of
// batches, each one request of its own under those limits, so that no
// limit grows with the table. A long value comes in pieces before its row
// (reader_protocol.h), which the cap does not count and whose progress
// gives the request its deadline and CPU seconds afresh, so that no limit
// bounds the size of one value either. A reader that dies, overruns, or
// answers nonsense fails only the request it was serving, with 3343; it is
// killed, and the next request starts a fresh reader. A reader that reported
// a damaged file is replaced as well, so that whatever libmdb did with that
// file cannot reach the answer for another. Every 3343 is said once on
// stderr with the file's path and the reason (the check that failed and
// its page, or what the reader did instead of answering); the error itself
// keeps Jet's number and description.
//
// Threads: a ReaderProcess, and the engine that owns it, is for one thread
// at a time. Separate ones share nothing (each has its own reader child,
// socket and limits; descriptors are opened close-on-exec, so no child
// inherits another's socket), so as many can run at once, from as many
// threads, as there are cores to read on.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ports/check.h"
#include "ports/database.h"
#include "jet/reader_protocol.h"
#include "vb/error.h"

namespace jet {

// What a reader may use before it is stopped.
struct ReaderLimits {
    int cpuSeconds = 3;                     // RLIMIT_CPU, for each request
    uint64_t memoryBytes = 64ull << 20;     // RLIMIT_AS, for the reader's life (it peaks near 13 MB)
    uint64_t noiseBytes = 64ull << 10;      // what libmdb may print (RLIMIT_FSIZE)
    uint64_t outputBytes = 8ull << 20;      // one answer on the socket, pieces apart; more is killed
    int wallClockMs = 10000;                // one request: killed after this, blocked or not
    // A table's batches: the first is small so that its rows come soon.
    uint32_t firstBatchRows = 200;
    uint32_t batchRows = 4000;
    uint64_t batchBytes = 1ull << 20;       // a batch ends after the row that passes this
};

// The answer to one query.
struct ReaderResult {
    std::vector<std::string> columns;
    std::vector<std::vector<ports::Value>> rows;
};

// The head of a table's stream.
struct TableHead {
    std::vector<ports::ColumnInfo> columns;
    std::vector<std::string> primaryKey;  // column names
    uint64_t storedRows = 0;              // the count the table's definition holds
};

// One batch of a table's rows; `last` when no more follow.
struct ReaderBatch {
    std::vector<std::vector<ports::Value>> rows;
    bool last = false;
};

// A page search's table (reader::TableStream): its head, the pages its
// structure was read from, and its data pages in the order a whole reading
// takes them.
struct PagesLayout {
    TableHead head;
    std::string decoding;  // what decoding a row depends on besides its page: equal, rows decode alike
    std::vector<uint32_t> structure, dataPages;
};

// One data page of one version to search: where the file holds it, its
// number in the version, and where the file holds the version's pages that
// differ from those in their places (version page, file page).
struct PageTask {
    uint32_t filePage = 0, versionPage = 0;
    std::vector<std::pair<uint32_t, uint32_t>> moved;
};

// What the search of one page gave: its matching rows, the error that ended
// it (after those rows), the other pages its rows read, and the rows of
// long values among what they read (page << 8 | row).
struct PageFound {
    std::vector<std::vector<ports::Value>> rows;
    std::optional<vb::Error> error;
    std::vector<uint32_t> read, valueRows;
};

// One batch of a whole-file check: its findings, and how far the check
// has come; `last` when it has ended.
struct CheckBatch {
    std::vector<ports::Finding> findings;
    uint64_t done = 0, total = 0;
    bool last = false;
};

// What the reader says of its sandbox, and what it refused when probed.
struct SandboxReport {
    uint32_t bits = 0;         // reader::Sandbox flags in force
    uint32_t landlockAbi = 0;  // 0: the kernel has no Landlock
    std::vector<reader::ProbeOutcome> outcomes;
};

class ReaderProcess {
public:
    ReaderProcess(std::string readerPath, ReaderLimits limits);
    ~ReaderProcess();  // kills and reaps the reader
    ReaderProcess(const ReaderProcess&) = delete;
    ReaderProcess& operator=(const ReaderProcess&) = delete;

    // Runs `query` on `hostPath` (an empty query only checks the file),
    // starting a reader first when none runs. Throws vb::Error: 3051 when no
    // reader can be started, 3343 when the reader fails, else the reader's
    // own error; `displayPath` names the file in descriptions.
    ReaderResult Run(const std::string& hostPath, const std::string& displayPath, const std::string& query);

    // Opens a stream of the rows of `table` in `hostPath` (only those in
    // which a Text or Memo column holds `find`, unless it is empty): its
    // head and first batch. Returns the stream's number for NextBatch.
    // Throws as Run.
    uint64_t OpenTable(const std::string& hostPath, const std::string& displayPath, const std::string& table,
                       const std::string& find, TableHead& head, ReaderBatch& first);

    // The next batch of stream `stream`. Throws as Run; 3420 when the reader
    // has served another request since, or the stream has ended.
    ReaderBatch NextBatch(uint64_t stream, const std::string& hostPath, const std::string& displayPath);

    // Opens a page search of `table` (reader_pages.cpp): `hostPath` holds
    // a version of `pages` pages in their places, and after them pages of
    // other versions; only rows in which a Text or Memo column holds `find`.
    // Throws as Run.
    PagesLayout OpenPages(const std::string& hostPath, const std::string& displayPath, uint32_t pages,
                          const std::string& table, const std::string& find);
    bool Paging() const { return paging_ != 0; }
    // Searches the first of `tasks` in the open page search: the result of
    // each page searched, in order, at least one. Throws as Run; 3420 when
    // no page search is open (the reader has served another request since,
    // or was replaced after a damaged page).
    std::vector<PageFound> SearchPages(const std::vector<PageTask>& tasks, const std::string& hostPath,
                                       const std::string& displayPath);

    // Starts the whole-file check of `hostPath` (reader/check.h) and gives
    // its first batch; NextCheckBatch the batches after it, until the last.
    // Throws as Run; NextCheckBatch 3420 when no check is open (the reader
    // has served another request since, or the check has ended).
    // newPages: a bitmap of the pages whose values the check decodes
    // (reader/check.h); none for the whole check.
    CheckBatch OpenCheck(const std::string& hostPath, const std::string& displayPath,
                         const std::string* newPages = nullptr);
    CheckBatch NextCheckBatch(const std::string& hostPath, const std::string& displayPath);

    // The sandbox the reader is in; with a folder holding a file "existing",
    // also what it refused to do there. Throws as Run.
    SandboxReport Probe(const std::string& folder);

    // Closes the reader's socket and waits, until the deadline, for it to
    // end; true when it exited with status 0. The next request starts anew.
    bool Finish();

    // Limits for readers started from now on; a running reader is ended.
    void SetLimits(const ReaderLimits& limits);
    const ReaderLimits& Limits() const { return limits_; }

    // The running reader's process id; -1 when none runs.
    pid_t Pid() const;

    // Says on stderr, once for each file and reason, why the file is 3343;
    // only keeps it (LastRefusal) when quiet.
    void Refused(const std::string& hostPath, const std::string& reason);
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    // Why the last file refused was refused.
    const std::string& LastRefusal() const { return lastRefusal_; }
    void ForgetRefusal() { lastRefusal_.clear(); }

    class Child;

private:
    struct Answer;
    void Start(const std::string& displayPath);
    Answer Exchange(char tag, const std::string& payload, const std::string& hostPath, const std::string& displayPath,
                    size_t columns = 0);
    ReaderBatch TakeBatch(Answer& answer, size_t columns, const std::string& hostPath, const std::string& displayPath);
    CheckBatch TakeCheckBatch(Answer& answer, const std::string& hostPath, const std::string& displayPath);
    [[noreturn]] void Fail(const Answer& answer, const std::string& hostPath, const std::string& displayPath);
    void Drop();
    std::string readerPath_;
    ReaderLimits limits_;
    std::unique_ptr<Child> child_;
    std::set<std::string> refusals_;  // path and reason of each said
    uint64_t stream_ = 0;             // the open stream's number; 0: none
    uint64_t streams_ = 0;            // streams opened so far
    size_t streamColumns_ = 0;
    bool checking_ = false;           // a check is open in the reader
    size_t paging_ = 0;               // a page search is open: its columns
    bool quiet_ = false;
    std::string lastRefusal_;
};

// A fresh reader for one request, which must then end cleanly (status 0).
ReaderResult RunReader(const std::string& readerPath, const std::string& hostPath, const std::string& displayPath,
                       const std::string& query, const ReaderLimits& limits);

}  // namespace jet
