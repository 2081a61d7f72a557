#include "history/snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "history/version_file.h"
#include "host/host_files.h"

namespace history {

namespace {

using Kind = Outcome::Kind;

vb::Error OpenError(int error) {
    if (error == ENOENT) return vb::FileNotFound();
    if (error == EACCES || error == EPERM) return vb::PermissionDenied();
    if (error == ENOTDIR) return vb::PathNotFound();
    return vb::DeviceIOError();
}

Stamp StampOfFd(int fd) {
    struct stat st{};
    if (fstat(fd, &st) != 0) throw vb::DeviceIOError();
    return StampOf(st);
}

class Taking {
public:
    Taking(Store& store, SnapshotPorts& ports) : store_(store), ports_(ports) {}

    Outcome Take(const LiveDatabase& database) {
        Outcome outcome{};
        outcome.database = database;
        try {
            const auto held = ports_.lock.Take(database.ref.path, [&] {
                if (ports_.waiting) ports_.waiting(database);
            });
            Under(outcome);
        } catch (const vb::Error& error) {
            outcome.kind = error.InUse() ? Kind::InUse : Kind::Failed;
            outcome.error = error;
        }
        return outcome;
    }

private:
    // Under the folder's lock.
    void Under(Outcome& outcome) {
        const LiveDatabase& database = outcome.database;
        host::Fd live(open(database.hostPath.c_str(), O_RDONLY | O_CLOEXEC));
        if (!live) throw OpenError(errno);
        const std::optional<Version> newest = store_.Newest(database.ref);
        Stamp before = StampOfFd(live.get());
        if (newest && newest->size == before.size && newest->modifiedNs == before.modifiedNs) {
            outcome.kind = Kind::Unchanged;
            return;
        }
        if (ports_.heldByAnother(live.get())) {
            outcome.kind = Kind::InUse;
            outcome.error = vb::HeldByProgram();
            return;
        }
        VersionFile copy(store_.Folder());
        Copied copied;
        for (int attempt = 0;; ++attempt) {
            copied = CopyIn(live.get(), copy, [this] { ports_.stops.StopPoint(); });
            const Stamp after = StampOfFd(live.get());
            if (after == before && after.size == copied.size) break;
            if (attempt == 1) {
                outcome.kind = Kind::ChangedWhileRead;
                return;
            }
            before = after;
        }

        NewVersion adding;
        Version& facts = adding.facts;
        facts.database = database.ref;
        facts.taken = ports_.now();
        facts.size = copied.size;
        facts.modifiedNs = before.modifiedNs;
        facts.hash = copied.whole;
        facts.pageSize = static_cast<int64_t>(copied.pageSize);
        adding.pages = copied.pages;
        std::string buffer;
        adding.page = [&](size_t n) { return copy.Page(n, copied.pageSize, buffer); };

        const std::vector<Known> known = store_.Lookup(copied.pages);
        std::vector<size_t> unchecked;
        for (size_t n = 0; n < known.size(); ++n) {
            if (known[n] == Known::New) ++outcome.newPages;
            if (known[n] != Known::Checked) unchecked.push_back(n);
        }
        if (newest && newest->hash == copied.whole) {
            // The same bytes under a new date: what was found then holds.
            facts.verdict = newest->verdict;
            facts.records = newest->records;
        } else {
            const Examination found = ports_.examine(copy.Path(), unchecked);
            facts.verdict = found.verdict;
            facts.records = found.records;
            outcome.reason = found.reason;
        }
        ports_.stops.StopPoint();
        outcome.version = store_.Add(adding);
        outcome.kind = Kind::Taken;
    }

    Store& store_;
    SnapshotPorts& ports_;
};

}  // namespace

SnapshotReport TakeSnapshots(Store& store, const std::vector<LiveDatabase>& databases, SnapshotPorts& ports) {
    SnapshotReport report;
    const auto noting = ports.stops.Catch();
    Taking taking(store, ports);
    bool taken = false;
    for (const LiveDatabase& database : databases) {
        if (ports.stops.Requested()) break;
        report.outcomes.push_back(taking.Take(database));
        taken = taken || report.outcomes.back().kind == Kind::Taken;
    }
    report.stopped = ports.stops.Requested();
    if (taken && !report.stopped) {
        try {
            report.thinned = store.Thin(ports.now(), ports.periods, ports.cap);
        } catch (const vb::Error& error) {
            report.thinFailure = error;
        }
    }
    return report;
}

}  // namespace history
