#include "cli/history_commands.h"

#include <nlohmann/json.hpp>

#include "app/history_ports.h"
#include "catalogue/paths.h"
#include "cli/listing.h"
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
std::unique_ptr<history::Store> OpenStore(HistoryRun& run, bool create) {
    if (const auto why = app::StoreRefusedBeside(run.storeFolder, run.prefix)) {
        run.say("No history store is used: " + *why + ".");
        return nullptr;
    }
    try {
        return std::make_unique<history::Store>(run.storeFolder, create);
    } catch (const history::StoreRefused& refused) {
        using Why = history::StoreRefused::Why;
        const char* what = refused.Reason() == Why::Newer     ? "was written by a newer release of this program"
                           : refused.Reason() == Why::NotOurs ? "is not a history store of this program"
                                                              : "is damaged";
        run.say(std::string("The history store ") + what + "; it is left as it is: " + refused.Description());
    } catch (const vb::Error& error) {
        run.say("The history store " + host::Join(run.storeFolder, history::kStoreFileName) +
                " cannot be opened: " + error.Description());
    }
    return nullptr;
}

int Snapshot(const app::ConsoleCommand& command, HistoryRun& run) {
    const std::vector<history::LiveDatabase> live = LiveDatabases(command, run);
    if (live.empty()) {
        run.say(command.edition.empty() ? std::string("There is no live database to keep a version of.")
                                        : "There is no live database of the " + command.edition + " edition.");
        return app::kFailed;
    }
    const std::unique_ptr<history::Store> store = OpenStore(run, true);
    if (!store) return app::kFailed;
    history::SnapshotPorts ports = app::SnapshotPortsOn(run.sys, [&run](const history::LiveDatabase& database) {
        run.say(database.ref.edition + ": another restore is running on this database; waiting for it to finish.");
    });
    ports.cap = history::DefaultCap(run.storeFolder);
    const history::SnapshotReport report = history::TakeSnapshots(*store, live, ports);

    std::string text;
    int taken = 0, held = 0, failed = 0;
    for (const history::Outcome& o : report.outcomes) {
        const std::string& edition = o.database.ref.edition;
        const std::string file = run.hostPath(o.database.ref.path);
        switch (o.kind) {
            case Kind::Taken: {
                ++taken;
                const history::Version& v = *o.version;
                text += edition + ": version " + std::to_string(v.number) + " kept (" +
                        std::to_string(o.newPages) + " of " + Plural((v.size + v.pageSize - 1) / v.pageSize, "page") +
                        " new" + (v.records ? ", " + Plural(*v.records, "record") : std::string()) + ")\n";
                if (v.verdict == history::Verdict::Damaged) {
                    ++failed;
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
                ++held;
                run.say(o.error->Kind() == vb::ErrorKind::HeldByCommand
                            ? edition + ": another restore is running on this database; no version taken."
                            : file + " is in use by another program; no version taken.");
                break;
            case Kind::ChangedWhileRead:
                ++failed;
                run.say(file + " changed while it was read, twice; no version taken.");
                break;
            case Kind::Failed:
                ++failed;
                run.say(file + ": no version taken: " + (o.error ? o.error->Description() : std::string()));
                break;
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
        ++failed;
        run.say("The versions are kept, but thinning failed: " + report.thinFailure->Description());
    }
    std::fputs(text.c_str(), run.out);
    std::fflush(run.out);
    if (report.stopped) run.sys.stops.EndIfRequested();
    if (failed) return app::kFailed;
    return held > 0 && taken == 0 ? app::kInUse : app::kDone;
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
