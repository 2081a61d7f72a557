#include "history/snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "history/version_file.h"
#include "host/host_files.h"

namespace history {

namespace {

using Kind = Outcome::Kind;

constexpr const char* kChangedWhileRead = "changed while it was read";

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
        const Stamp before = StampOfFd(live.get());
        if (newest && newest->size == before.size && newest->modifiedNs == before.modifiedNs) {
            outcome.kind = Kind::Unchanged;
            return;
        }
        if (ports_.heldByAnother(live.get())) {
            outcome.kind = Kind::InUse;
            outcome.error = vb::HeldByProgram();
            return;
        }
        outcome.kind = Kind::ChangedWhileRead;
        for (int attempt = 0; attempt < 2 && outcome.kind == Kind::ChangedWhileRead; ++attempt)
            Read(live.get(), newest, outcome);
    }

    // Reads the file once for the hashes; has the reader check it through
    // its own name; reads again only the new pages, each against its hash,
    // and adds the version. The file's stamp, the same before the read and
    // after the check, says that all of them saw the same bytes; a stamp
    // or a new page that differ leave outcome ChangedWhileRead.
    void Read(int live, const std::optional<Version>& newest, Outcome& outcome) {
        const Stamp before = StampOfFd(live);
        const Hashed read = HashPages(live, [this] { ports_.stops.StopPoint(); });
        // A page's values decode as they did where it was checked only
        // beside the same definition of its table: a page is new unless the
        // newest good version held it in this place, beside its other pages
        // (the definitions among them). Its pages were all marked checked.
        std::vector<int64_t> good;
        for (const Version& v : store_.Versions(outcome.database.ref))
            if (v.verdict == Verdict::Good) {
                try {
                    good = store_.PagesOf(v);
                } catch (const vb::Error& error) {
                    // Thinned by another run just now: every page is new.
                    if (error.Number() != vb::kFileNotFound) throw;
                }
                break;
            }
        // Most pages are that version's in the same place: looked for there first.
        std::vector<int64_t> ids;
        const std::vector<Known> known = store_.Lookup(read.pages, &ids, good);
        std::vector<size_t> unchecked;
        for (size_t n = 0; n < known.size(); ++n)
            if (n >= good.size() || good[n] != ids[n] || ids[n] == 0) unchecked.push_back(n);
        // The same bytes under a new date: what was found then holds.
        const Examination found = newest && newest->hash == read.whole
                                      ? Examination{newest->verdict, newest->records, {}}
                                      : ports_.examine(outcome.database.hostPath, unchecked);
        const Stamp after = StampOfFd(live);
        if (after != before || after.size != read.size) return;

        NewVersion adding;
        Version& facts = adding.facts;
        facts.database = outcome.database.ref;
        facts.taken = ports_.now();
        facts.size = read.size;
        facts.modifiedNs = before.modifiedNs;
        facts.hash = read.whole;
        facts.pageSize = static_cast<int64_t>(read.pageSize);
        facts.verdict = found.verdict;
        facts.records = found.records;
        adding.pages = read.pages;
        std::string buffer;
        Sha256 sha;
        adding.page = [&](size_t n) {
            const std::string_view page = ReadPage(live, n, read.pageSize, buffer);
            if (sha.Of(page) != read.pages[n]) throw vb::Error(vb::kPathFileAccessError, kChangedWhileRead);
            return page;
        };
        ports_.stops.StopPoint();
        try {
            outcome.version = store_.Add(adding);
        } catch (const vb::Error& error) {
            if (error.Description() != kChangedWhileRead) throw;
            return;  // the transaction is rolled back
        }
        outcome.kind = Kind::Taken;
        outcome.reason = found.reason;
        outcome.newPages = 0;
        for (Known k : known) outcome.newPages += k == Known::New;
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
