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
        struct Found {
            std::optional<records::Table> table;
            std::optional<vb::Error> error;
        };
        std::vector<Found> found(places_.size());
        std::atomic<size_t> next{0};
        const auto work = [&] {
            std::unique_ptr<records::Source> source;
            for (size_t i; (i = next++) < places_.size();) {
                records::Table table;
                try {
                    if (!source) source = run_.sources();
                    source->Find(
                        places_[i].path, command_.operand,
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
        const size_t workers = std::min<size_t>(places_.size(), std::max(1u, std::thread::hardware_concurrency()));
        std::vector<std::thread> threads;
        for (size_t w = 1; w < workers; ++w) threads.emplace_back(work);
        work();
        for (std::thread& thread : threads) thread.join();

        size_t matches = 0;
        bool unread = false;
        std::string text;
        for (size_t i = 0; i < places_.size(); ++i) {
            const std::string file = run_.hostPath(places_[i].path);
            const records::Table& table = *found[i].table;
            if (found[i].error) {
                CannotBeRead(places_[i], *found[i].error);
                unread = true;
                if (command_.json) {
                    // Said in the output too, as --list --json says it, so that a
                    // script never takes a copy it could not read for one without matches.
                    nlohmann::ordered_json object;
                    object["edition"] = command_.edition;
                    object["caption"] = places_[i].caption;
                    object["file"] = file;
                    object["error"] = found[i].error->what();
                    object["matches_read"] = table.records.size();
                    text += (text.empty() ? "[\n" : ",\n") + Json(object);
                }
            }
            if (table.records.empty()) continue;
            matches += table.records.size();
            if (command_.json) {
                for (const records::Record& record : table.records) {
                    nlohmann::ordered_json object;
                    object["edition"] = command_.edition;
                    object["caption"] = places_[i].caption;
                    object["file"] = file;
                    object["record"] = records::RecordJson(table.columns, record);
                    text += (text.empty() ? "[\n" : ",\n") + Json(object);
                }
            } else {
                text += (text.empty() ? "" : "\n") + records::Escaped(places_[i].caption + " (" + file + "): ") +
                        Plural(table.records.size(), "record") +
                        (found[i].error ? " (partly read: the copy is damaged after these)" : "") + "\n" +
                        RecordsTableText(table, Every(table), command_.wide ? kWhole : 40);
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
