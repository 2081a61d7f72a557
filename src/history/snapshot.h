// Taking versions: --snapshot. For each live database (both editions, or
// the one named), under the folder's lock that every command takes:
//   1. Its size and date against its newest version: the same, and nothing
//      is read (an unchanged database costs a look at the store).
//   2. Held by another program (the commands' in-use check): left alone.
//   3. Read once, from its start, hashing each page and the whole; it is
//      never written, and nothing is copied.
//   4. The same bytes as its newest version: a row and no pages. Otherwise
//      it is examined (its check and roof's count, through the reader, told
//      which pages are not those of the newest version whose check was
//      good, in the same place) and added: its new
//      pages, read again and each checked against the hash of the first
//      read, and its row, in one transaction. A damaged database is still
//      kept, its bytes being the user's data, marked damaged.
//   A file whose size, dates or identity differ after the check from before
//   the read (or a new page whose hash differs on the second read) is read
//   once more, then skipped.
// After the versions, the store is thinned (thinning.h, and its size cap).
// A stop signal is noted and acted on between databases and chunks; a
// version whose commit began is kept.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "history/store.h"
#include "ports/folder_lock.h"
#include "ports/stop_signals.h"
#include "vb/error.h"

namespace history {

struct LiveDatabase {
    DatabaseRef ref;       // as discovery found it
    std::string hostPath;  // the same file on this machine
};

// What a version's check found.
struct Examination {
    Verdict verdict = Verdict::Unchecked;
    std::optional<int64_t> records;  // roof's count, where it could be read
    std::string reason;              // why it is damaged
};

// What a snapshot needs from the platform.
struct SnapshotPorts {
    SnapshotPorts(ports::FolderLock& lock, ports::StopSignals& stops) : lock(lock), stops(stops) {}

    ports::FolderLock& lock;
    ports::StopSignals& stops;
    // Whether another program holds the open file; throws where it cannot tell.
    std::function<bool(int fd)> heldByAnother;
    // Checks the live file at `path` (its host path, which the reader child
    // opens) as it was read;
    // newPages: the numbers of the pages that the newest version whose
    // check was good did not hold in the same place, the only ones an
    // incremental check must decode.
    std::function<Examination(const std::string& path, const std::vector<size_t>& newPages)> examine;
    // The time now, seconds since the epoch.
    std::function<int64_t()> now;
    // Told once when the folder's lock makes it wait.
    std::function<void(const LiveDatabase&)> waiting;
    PeriodsOf periods = LocalPeriods();
    int64_t cap = int64_t{1} << 30;
};

struct Outcome {
    enum class Kind { Taken, Unchanged, InUse, ChangedWhileRead, Failed };
    LiveDatabase database;
    Kind kind = Kind::Failed;
    std::optional<Version> version;  // Taken
    size_t newPages = 0;             // Taken: pages the store did not hold
    std::string reason;              // Taken and damaged: why
    std::optional<vb::Error> error;  // InUse, Failed
};

struct SnapshotReport {
    std::vector<Outcome> outcomes;
    std::optional<Thinned> thinned;        // when a version was taken
    std::optional<vb::Error> thinFailure;  // thinning failed: the versions stand
    bool stopped = false;                  // a stop signal ended it early
};

// Takes a version of each database into store. A stop signal ends the run
// after the database in hand (stopped); the caller then ends the process
// (StopSignals::EndIfRequested) once it has said what was done.
SnapshotReport TakeSnapshots(Store& store, const std::vector<LiveDatabase>& databases, SnapshotPorts& ports);

}  // namespace history
