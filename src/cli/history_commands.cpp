#include "cli/history_commands.h"

#include <nlohmann/json.hpp>

#include "app/history_ports.h"
#include "catalogue/paths.h"
#include "cli/listing.h"
#include "cli/scheduled.h"
#include "history/snapshot.h"
#include "host/host_files.h"

namespace cli {

namespace {

using Kind = history::Outcome::Kind;

std::string Plural(int64_t n, const char* one) { return std::to_string(n) + " " + one + (n == 1 ? "" : "s"); }

std::string Megabytes(int64_t bytes) {
    const int64_t tenths = (bytes * 10 + (1 << 19)) >> 20;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

// The live databases of the run: each edition's "(Current)" row.
std::vector<history::LiveDatabase> LiveDatabases(const app::ConsoleCommand& command, HistoryRun& run) {
    std::vector<history::LiveDatabase> live;
    for (const catalogue::Row& row : run.found.rows)
        if (row.caption == catalogue::kCurrentCaption && (command.edition.empty() || row.edition == command.edition))
            live.push_back({{row.edition, row.path}, run.toHost(row.path)});
    return live;
}

// The store is opened only where it may be, and a refusal said truly.
// why: what was said, for a notice.
std::unique_ptr<history::Store> OpenStore(HistoryRun& run, bool create, std::string* why = nullptr) {
    const auto say = [&](const std::string& text) {
        run.say(text);
        if (why) *why = text;
    };
    if (const auto refused = app::StoreRefusedBeside(run.storeFolder, run.prefix)) {
        say("No history store is used: " + *refused + ".");
        return nullptr;
    }
    try {
        return std::make_unique<history::Store>(run.storeFolder, create);
    } catch (const history::StoreRefused& refused) {
        using Why = history::StoreRefused::Why;
        const char* what = refused.Reason() == Why::Newer     ? "was written by a newer release of this program"
                           : refused.Reason() == Why::NotOurs ? "is not a history store of this program"
                                                              : "is damaged";
        say(std::string("The history store ") + what + "; it is left as it is: " + refused.Description());
    } catch (const vb::Error& error) {
        say("The history store " + host::Join(run.storeFolder, history::kStoreFileName) +
                " cannot be opened: " + error.Description());
    }
    return nullptr;
}

// What the outcomes of one round came to.
struct Tally {
    int taken = 0, held = 0, failed = 0;
};

// Says what a round of versions did: stdout for what was kept, stderr for
// each problem, which a scheduled run also tells (notices.h).
Tally Report(const history::SnapshotReport& report, history::Store& store, HistoryRun& run, int64_t now) {
    std::string text;
    Tally tally;
    for (const history::Outcome& o : report.outcomes) {
        const std::string& edition = o.database.ref.edition;
        const std::string file = run.hostPath(o.database.ref.path);
        switch (o.kind) {
            case Kind::Taken: {
                ++tally.taken;
                const history::Version& v = *o.version;
                text += edition + ": version " + std::to_string(v.number) + " kept (" +
                        std::to_string(o.newPages) + " of " + Plural((v.size + v.pageSize - 1) / v.pageSize, "page") +
                        " new" + (v.records ? ", " + Plural(*v.records, "record") : std::string()) + ")\n";
                if (v.verdict == history::Verdict::Damaged) {
                    ++tally.failed;
                    run.say(file + " is damaged" + (o.reason.empty() ? "" : " (" + o.reason + ")") + "; its version " +
                            std::to_string(v.number) + " is kept all the same, marked damaged.");
                } else if (v.verdict == history::Verdict::Unchecked) {
                    run.say(file + " could not be checked" + (o.reason.empty() ? "" : ": " + o.reason) +
                            "; its version " + std::to_string(v.number) + " is kept, unchecked.");
                }
                break;
            }
            case Kind::Unchanged:
                text += edition + ": unchanged since its last version\n";
                break;
            case Kind::InUse:
                ++tally.held;
                run.say(o.error->Kind() == vb::ErrorKind::HeldByCommand
                            ? edition + ": another restore is running on this database; no version taken."
                            : file + " is in use by another program; no version taken.");
                break;
            case Kind::ChangedWhileRead:
                ++tally.failed;
                run.say(file + " changed while it was read, twice; no version taken.");
                break;
            case Kind::Failed:
                ++tally.failed;
                run.say(file + ": no version taken: " + (o.error ? o.error->Description() : std::string()));
                break;
        }
        if (run.tell) {
            std::optional<int64_t> newestTaken;
            try {
                if (const auto newest = store.Newest(o.database.ref)) newestTaken = newest->taken;
            } catch (const vb::Error&) {
            }
            if (const auto problem = ProblemOf(o, file, NewestGood(&store, o.database.ref), newestTaken, now))
                run.tell(*problem);
        }
    }
    if (report.thinned) {
        const history::Thinned& t = *report.thinned;
        if (!t.byAge.empty()) text += "Thinned " + Plural(int64_t(t.byAge.size()), "older version") + ".\n";
        if (!t.bySize.empty())
            text += "The history store is over its cap of " + Megabytes(t.cap) + ": the " +
                    Plural(int64_t(t.bySize.size()), "oldest version") + " thinned.\n";
    }
    if (report.thinFailure) {
        ++tally.failed;
        const std::string why = "The versions are kept, but thinning failed: " + report.thinFailure->Description();
        run.say(why);
        if (run.tell && !report.outcomes.empty())
            run.tell(StoreProblem(why, report.outcomes.front().database.ref.edition));
    }
    std::fputs(text.c_str(), run.out);
    std::fflush(run.out);
    return tally;
}

// A scheduled run waits while a database it would take a version of had
// one within the minute; true when it waited.
bool Coalesce(history::Store& store, const std::vector<history::LiveDatabase>& live, HistoryRun& run, int64_t now) {
    const int64_t wait = run.sleep ? SecondsToWait(store, live, now) : 0;
    if (wait <= 0) return false;
    run.say("A version was taken less than a minute ago; the next is taken in " + std::to_string(wait) + " s.");
    run.sleep(wait);
    return true;
}

// A database that changed again after the round took its version, or
// found it unchanged (not one another program holds).
bool ChangedAgain(const history::SnapshotReport& report, history::Store& store) {
    for (const history::Outcome& o : report.outcomes)
        if ((o.kind == Kind::Taken || o.kind == Kind::Unchanged) &&
            ChangedSince(o.database.hostPath, store.Newest(o.database.ref)))
            return true;
    return false;
}

int Snapshot(const app::ConsoleCommand& command, HistoryRun& run) {
    const std::vector<history::LiveDatabase> live = LiveDatabases(command, run);
    // The watch follows the live databases wherever discovery finds them.
    if (run.follow && command.edition.empty()) {
        std::vector<std::string> files;
        for (const history::LiveDatabase& database : live) files.push_back(run.hostPath(database.ref.path));
        run.follow(files);
    }
    if (live.empty()) {
        run.say(command.edition.empty() ? std::string("There is no live database to keep a version of.")
                                        : "There is no live database of the " + command.edition + " edition.");
        return app::kFailed;
    }
    std::string why;
    const std::unique_ptr<history::Store> store = OpenStore(run, true, &why);
    if (!store) {
        if (run.tell) run.tell(StoreProblem(why, live.front().ref.edition));
        return app::kFailed;
    }
    history::SnapshotPorts ports = app::SnapshotPortsOn(run.sys, [&run](const history::LiveDatabase& database) {
        run.say(database.ref.edition + ": another restore is running on this database; waiting for it to finish.");
    });
    ports.cap = history::DefaultCap(run.storeFolder);
    Tally all;
    // A scheduled run takes at most one version a minute of each database,
    // and one more after the minute for a change made meanwhile; a few
    // rounds at most, after which the hourly timer or the next change
    // starts it again.
    for (int round = 0; round < 10; ++round) {
        if (round > 0 || run.tell) Coalesce(*store, live, run, ports.now());
        const history::SnapshotReport report = history::TakeSnapshots(*store, live, ports);
        const Tally tally = Report(report, *store, run, ports.now());
        all.taken += tally.taken;
        all.held += tally.held;
        all.failed += tally.failed;
        if (report.stopped) run.sys.stops.EndIfRequested();
        if (!run.tell || report.stopped || !ChangedAgain(report, *store)) break;
    }
    if (all.failed) return app::kFailed;
    return all.held > 0 && all.taken == 0 ? app::kInUse : app::kDone;
}

int History(const app::ConsoleCommand& command, HistoryRun& run) {
    const std::string path = host::Join(run.storeFolder, history::kStoreFileName);
    if (!host::IsRegularFile(path)) {
        if (command.json) {
            nlohmann::ordered_json none{{"store", path}, {"bytes", 0}, {"pages", 0},
                                        {"databases", nlohmann::ordered_json::array()}};
            std::fputs((none.dump(2) + "\n").c_str(), run.out);
        } else {
            std::fputs(("History store: " + path + " (none yet: --snapshot makes it)\n").c_str(), run.out);
        }
        return app::kDone;
    }
    const std::unique_ptr<history::Store> store = OpenStore(run, false);
    if (!store) return app::kFailed;
    history::Summary summary;
    try {
        summary = store->Summarize();
    } catch (const vb::Error& error) {
        run.say("The history store " + path + " cannot be read: " + error.Description());
        return app::kFailed;
    }
    nlohmann::ordered_json json{{"store", summary.path},
                                {"bytes", summary.fileBytes},
                                {"used_bytes", summary.usedBytes},
                                {"pages", summary.pages},
                                {"databases", nlohmann::ordered_json::array()}};
    std::string text = "History store: " + summary.path + "\nSize: " + Megabytes(summary.fileBytes) + " (" +
                       Megabytes(summary.usedBytes) + " in use), " + Plural(summary.pages, "distinct page") + "\n";
    for (const history::DatabaseSummary& d : summary.databases) {
        if (!command.edition.empty() && d.database.edition != command.edition) continue;
        const std::string file = run.hostPath(d.database.path);
        json["databases"].push_back({{"edition", d.database.edition},
                                     {"file", file},
                                     {"versions", d.versions},
                                     {"pages", d.pages},
                                     {"oldest", IsoOf(d.oldest->taken)},
                                     {"newest", IsoOf(d.newest->taken)},
                                     {"newest_version", d.newest->number}});
        text += d.database.edition + " (" + file + "): " + Plural(d.versions, "version") + ", " +
                Plural(d.pages, "distinct page") + "; newest: version " + std::to_string(d.newest->number) +
                " of " + IsoOf(d.newest->taken) + "\n";
    }
    if (command.json) text = json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    std::fputs(text.c_str(), run.out);
    return app::kDone;
}

}  // namespace

int RunSnapshot(const app::ConsoleCommand& command, HistoryRun& run) { return Snapshot(command, run); }
int RunHistory(const app::ConsoleCommand& command, HistoryRun& run) { return History(command, run); }

}  // namespace cli
