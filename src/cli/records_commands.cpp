#include "cli/records_commands.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <future>
#include <optional>
#include <thread>

#include "catalogue/paths.h"
#include "cli/compare_command.h"
#include "records/csv.h"
#include "records/json.h"
#include "records/places.h"
#include "records/render.h"
#include "records/timeline.h"
#include "vb/error.h"

namespace cli {

namespace {

std::string Json(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::vector<size_t> Every(const records::Table& table) {
    std::vector<size_t> rows(table.records.size());
    for (size_t n = 0; n < rows.size(); ++n) rows[n] = n;
    return rows;
}

std::string Plural(size_t n, const char* one) { return std::to_string(n) + " " + one + (n == 1 ? "" : "s"); }

// The records of a timeline as tables: First, Last and Live before the
// record's own columns; a table for each run of records with one set of columns.
std::string TimelineText(const std::vector<records::TimelineEntry>& entries) {
    std::string text;
    records::Table table;
    const auto flush = [&] {
        if (!table.records.empty()) text += RecordsTableText(table, Every(table));
        table.records.clear();
    };
    for (const records::TimelineEntry& e : entries) {
        std::vector<records::Column> columns{{"First", records::Kind::Text}, {"Last", records::Kind::Text},
                                             {"Live", records::Kind::Text}};
        columns.insert(columns.end(), e.columns.begin(), e.columns.end());
        if (columns != table.columns) {
            flush();
            table.columns = std::move(columns);
        }
        records::Record record{"@" + std::to_string(e.first), "@" + std::to_string(e.last),
                               std::string(!e.inLive ? "?" : *e.inLive ? "yes" : "no")};
        record.insert(record.end(), e.record.begin(), e.record.end());
        table.records.push_back(std::move(record));
    }
    flush();
    return text;
}

class Runner {
public:
    Runner(const app::ConsoleCommand& command, RecordsRun& run)
        : command_(command), run_(run), places_(records::PlacesOf(run_.sys, run_.found.rows, command_.edition)) {}

private:
    void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), run_.out); }

    // The place WHICH names, told when there is none.
    const records::Place* Which(const std::string& which) {
        if (!which.empty() && which[0] == '@') {
            std::optional<records::Place> version = run_.version ? run_.version(which) : std::nullopt;
            if (!version) return nullptr;
            versions_.push_back(std::move(*version));
            return &versions_.back();
        }
        if (const records::Place* place = records::FindPlace(places_, which)) return place;
        if (which == "current") run_.say("There is no live database of the " + command_.edition + " edition.");
        else if (which.size() == 1) run_.say("There is no Backup " + which + " of the " + command_.edition + " edition.");
        else run_.say("There is no numbered copy " + which + " of the " + command_.edition + " edition.");
        return nullptr;
    }
    void CannotBeRead(const records::Place& place, const vb::Error& error) {
        const std::string file = run_.hostPath(place.path);
        const std::string why = error.what();
        run_.say((why.find(file) == std::string::npos ? file + ": " : "") + catalogue::kCannotBeRead + ": " + why);
    }

public:
    int Show() {
        const records::Place* place = Which(command_.operand);
        if (!place) return app::kFailed;
        std::unique_ptr<records::Source> source = run_.sources();
        std::vector<records::Column> columns;
        // The text table prints as the records come: its widths are those of
        // the first batch.
        std::optional<TextTable> table;
        std::string buffer;
        bool first = true;
        size_t read = 0;
        const auto layout = [&](records::Source::Layout given) {
            columns = given.columns;
            if (command_.csv) records::AppendHeader(buffer, columns, records::kCsv);
            else if (command_.json) buffer += "[";
            else table.emplace(given.columns, command_.wide ? kWhole : 40);
        };
        const auto batch = [&](std::vector<records::Record>& records) {
            if (table && first) {
                table->Fit(records);
                buffer += table->Header();
                first = false;
            }
            read += records.size();
            for (records::Record& record : records) {
                if (command_.csv) {
                    records::AppendRecord(buffer, record, records::kCsv);
                } else if (command_.json) {
                    buffer += first ? "\n" : ",\n";
                    records::AppendRecordJson(buffer, columns, record);
                    first = false;
                } else {
                    buffer += table->Line(record);
                }
            }
            Print(buffer);
            buffer.clear();
            return !std::ferror(run_.out);
        };
        try {
            source->Read(place->path, layout, batch);
        } catch (const vb::Error& error) {
            // What was printed stays printed; the status and stderr say it is not all.
            if (command_.json && !first) {
                // The array stays whole JSON: an object saying why it ends early closes it.
                nlohmann::ordered_json why;
                why["error"] = {{"records_read", read}, {"reason", error.what()}};
                Print(",\n" + Json(why) + "\n]\n");
            }
            if (read == 0) {
                CannotBeRead(*place, error);
            } else {
                const std::string file = run_.hostPath(place->path);
                run_.say(file + ": " + Plural(read, "record") + " read; the copy is damaged after that: " + error.what());
            }
            return app::kFailed;
        }
        if (command_.json) buffer += first ? "]\n" : "\n]\n";
        if (table && first) buffer += table->Header();  // no records: the column names alone
        Print(buffer);
        return app::kDone;
    }

    int Find() {
        // Every database of the edition and every version of its history,
        // or the one WHICH names.
        std::vector<records::Place> places = places_;
        bool unread = false;  // a database, a version or the store could not be searched
        if (!command_.within.empty()) {
            const records::Place* place = Which(command_.within);
            if (!place) return app::kFailed;
            places = {*place};
        }
        struct Found {
            std::optional<records::Table> table;
            std::optional<vb::Error> error;
        };
        std::vector<Found> found(places.size());
        std::atomic<size_t> next{0};
        const auto work = [&] {
            std::unique_ptr<records::Source> source;
            for (size_t i; (i = next++) < found.size();) {
                records::Table table;
                const records::Place* place = &places[i];
                try {
                    if (!source) source = run_.sources();
                    source->Find(
                        place->path, command_.operand,
                        [&](records::Source::Layout layout) {
                            table.columns = std::move(layout.columns);
                            table.primaryKey = std::move(layout.primaryKey);
                        },
                        [&](std::vector<records::Record>& batch) {
                            std::move(batch.begin(), batch.end(), std::back_inserter(table.records));
                            return true;
                        });
                } catch (const vb::Error& error) {
                    found[i].error = error;
                    source.reset();  // a reader that failed is not asked again
                }
                // A copy damaged part way still gives the matches read before the damage.
                found[i].table = std::move(table);
            }
        };
        // One reader for each core, each over the databases not yet taken.
        const size_t workers = std::min<size_t>(found.size(), std::max(1u, std::thread::hardware_concurrency()));
        std::vector<std::thread> threads;
        for (size_t w = 1; w < workers; ++w) threads.emplace_back(work);
        work();
        for (std::thread& thread : threads) thread.join();
        // Then every version of the history store, page by page.
        std::vector<app::VersionFound> versions;
        if (command_.within.empty() && run_.searchVersions) {
            std::optional<std::vector<app::VersionFound>> searched = run_.searchVersions(command_.operand);
            unread = !searched;
            if (searched) versions = std::move(*searched);
        }

        size_t matches = 0;
        std::string text;
        const auto add = [&](nlohmann::ordered_json object) { text += (text.empty() ? "[\n" : ",\n") + Json(object); };
        for (size_t i = 0; i < places.size(); ++i) {
            const std::string file = run_.hostPath(places[i].path);
            const records::Table& table = *found[i].table;
            if (found[i].error) {
                CannotBeRead(places[i], *found[i].error);
                unread = true;
                // Said in the output too, as --list --json says it, so that a
                // script never takes a copy it could not read for one without matches.
                if (command_.json)
                    add({{"edition", command_.edition}, {"caption", places[i].caption}, {"file", file},
                         {"error", found[i].error->what()}, {"matches_read", table.records.size()}});
            }
            if (table.records.empty()) continue;
            matches += table.records.size();
            if (command_.json) {
                for (const records::Record& record : table.records)
                    add({{"edition", command_.edition}, {"caption", places[i].caption}, {"file", file},
                         {"record", records::RecordJson(table.columns, record)}});
            } else {
                text += (text.empty() ? "" : "\n") + records::Escaped(places[i].caption + " (" + file + "): ") +
                        Plural(table.records.size(), "record") +
                        (found[i].error ? " (partly read: the copy is damaged after these)" : "") + "\n" +
                        RecordsTableText(table, Every(table), command_.wide ? kWhole : 40);
            }
        }
        if (!versions.empty()) {
            records::Timeline timeline;
            for (const app::VersionFound& one : versions) {
                if (!one.unbuilt.empty()) run_.say(one.unbuilt);
                if (one.error) {
                    unread = true;
                    run_.say("Version " + std::to_string(one.version.number) + " of the " + command_.edition +
                             " edition cannot be searched: " + one.error->what());
                }
                timeline.Add(one.version.number, one.table);
            }
            const auto live = std::find_if(places.begin(), places.end(),
                                           [](const records::Place& p) { return p.caption == catalogue::kCurrentCaption; });
            const Found* liveFound = live == places.end() ? nullptr : &found[size_t(live - places.begin())];
            timeline.Live(liveFound && !liveFound->error ? &*liveFound->table : nullptr);
            const std::vector<records::TimelineEntry> entries = timeline.Entries();
            matches += entries.size();
            if (command_.json) {
                for (const records::TimelineEntry& e : entries)
                    add({{"edition", command_.edition}, {"caption", "versions"}, {"first_version", e.first},
                         {"last_version", e.last}, {"versions", e.versions},
                         {"in_live", e.inLive ? nlohmann::ordered_json(*e.inLive) : nlohmann::ordered_json(nullptr)},
                         {"record", records::RecordJson(e.columns, e.record)}});
            } else if (!entries.empty()) {
                text += (text.empty() ? "" : "\n") + std::string("History store, ") +
                        Plural(versions.size(), "version") + " searched: " + Plural(entries.size(), "record") +
                        " (the first and last version holding each)\n" + TimelineText(entries);
            }
        }
        if (command_.json) text += text.empty() ? "[]\n" : "\n]\n";
        Print(text);
        if (matches == 0 && !unread)
            run_.say("No record of the " + command_.edition + " edition holds \"" + records::Escaped(command_.operand) +
                     "\".");
        return unread ? app::kFailed : app::kDone;
    }

    int Compare() {
        const records::Place* which = Which(command_.operand);
        const records::Place* current = which ? Which("current") : nullptr;
        if (!which || !current) return app::kFailed;
        return CompareCopies(command_, run_, *which, *current);
    }

private:
    const app::ConsoleCommand& command_;
    RecordsRun& run_;
    std::vector<records::Place> places_;
    std::deque<records::Place> versions_;  // the versions WHICH named, rebuilt
};

}  // namespace

int RunShow(const app::ConsoleCommand& command, RecordsRun& run) { return Runner(command, run).Show(); }
int RunFind(const app::ConsoleCommand& command, RecordsRun& run) { return Runner(command, run).Find(); }
int RunCompare(const app::ConsoleCommand& command, RecordsRun& run) { return Runner(command, run).Compare(); }

}  // namespace cli
