#include "cli/compare_command.h"

#include <algorithm>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>

#include "catalogue/paths.h"
#include "records/json.h"
#include "records/matching.h"
#include "records/render.h"
#include "vb/error.h"

namespace cli {

namespace {

std::string Json(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// The two layouts, which the fingerprints of either need: each reading
// gives its own and waits for the other's before its first record.
class Layouts {
public:
    void Give(int side, records::Source::Layout layout) {
        const std::lock_guard<std::mutex> lock(mutex_);
        given_[side] = std::move(layout);
        if (given_[0] && given_[1])
            matching_ = records::MatchColumns(given_[0]->columns, given_[0]->primaryKey, given_[1]->columns,
                                              given_[1]->primaryKey);
        changed_.notify_all();
    }
    // False when the other reading failed before it had its layout.
    bool Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return matching_.has_value() || failed_; });
        return matching_.has_value();
    }
    void Fail() {
        const std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
        changed_.notify_all();
    }
    const records::Matching& Matching() const { return *matching_; }
    const records::Source::Layout& Of(int side) const { return *given_[side]; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<records::Source::Layout> given_[2];
    std::optional<records::Matching> matching_;
    bool failed_ = false;
};

// What one reading of a copy gives: its fingerprints, in table order.
struct Prints {
    std::vector<records::Fingerprint> prints;
    std::optional<vb::Error> error;
};

Prints Fingerprints(RecordsRun& run, const std::string& path, int side, Layouts& layouts) {
    Prints got;
    try {
        std::unique_ptr<records::Source> source = run.sources();
        source->Read(
            path, [&](records::Source::Layout layout) { layouts.Give(side, std::move(layout)); },
            [&](std::vector<records::Record>& batch) {
                if (!layouts.Wait()) return false;
                const records::Matching& m = layouts.Matching();
                for (const records::Record& record : batch)
                    got.prints.push_back(records::FingerprintOf(record, side == 0 ? m.firstKey : m.secondKey,
                                                                side == 0 ? m.firstCommon : m.secondCommon,
                                                                static_cast<uint32_t>(got.prints.size())));
                return true;
            });
    } catch (const vb::Error& error) {
        got.error = error;
        layouts.Fail();
    }
    return got;
}

// A group of records printed as they are read: a title with their count,
// then the text table, its widths fitted to the first records, or the JSON
// array's items.
class Group {
public:
    Group(std::FILE* out, bool json, std::string title, size_t count, const std::vector<records::Column>& columns)
        : out_(out), json_(json), title_(std::move(title)), count_(count), columns_(columns) {}
    void Add(const records::Record& record) {
        if (json_) {
            Write((first_ ? "\n" : ",\n") + Json(records::RecordJson(columns_, record)));
            first_ = false;
            return;
        }
        pending_.push_back(record);
        if (pending_.size() >= 100) Flush();
    }
    void End() {
        if (!json_ && count_ > 0) {
            Flush();
            Write("\n");
        }
    }

private:
    void Flush() {
        if (!table_) {
            table_.emplace(columns_);
            table_->Fit(pending_);
            Write(title_ + ": " + records::CountOf(count_, "record") + "\n" + table_->Header());
        }
        std::string lines;
        for (const records::Record& record : pending_) lines += table_->Line(record);
        Write(lines);
        pending_.clear();
    }
    void Write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), out_); }

    std::FILE* out_;
    bool json_;
    std::string title_;
    size_t count_;
    const std::vector<records::Column>& columns_;
    std::optional<TextTable> table_;
    std::vector<records::Record> pending_;
    bool first_ = true;
};

// Reads a copy again, each record checked against its fingerprint: those
// marked in `only` go to `group`, those `keep` names are kept there. False
// when the copy is not as it was when first read; throws as Source::Read.
bool ReadAgain(RecordsRun& run, const std::string& path, const std::vector<int>& key, const std::vector<int>& common,
               const std::vector<records::Fingerprint>& prints, const std::vector<bool>& only, Group& group,
               std::map<uint32_t, records::Record>& keep) {
    std::unique_ptr<records::Source> source = run.sources();
    uint32_t n = 0;
    bool same = true;
    source->Read(
        path, [](records::Source::Layout) {},
        [&](std::vector<records::Record>& batch) {
            for (records::Record& record : batch) {
                const records::Fingerprint print = records::FingerprintOf(record, key, common, n);
                if (n >= prints.size() || print.id[0] != prints[n].id[0] || print.id[1] != prints[n].id[1] ||
                    print.values[0] != prints[n].values[0] || print.values[1] != prints[n].values[1]) {
                    same = false;
                    return false;
                }
                if (only[n]) group.Add(record);
                else if (const auto kept = keep.find(n); kept != keep.end()) kept->second = std::move(record);
                ++n;
            }
            return true;
        });
    return same && n == prints.size();
}

}  // namespace

int CompareCopies(const app::ConsoleCommand& command, RecordsRun& run, const records::Place& which,
                  const records::Place& current) {
    const std::string name = which.caption == catalogue::kCurrentCaption ? "current" : which.caption;
    const auto print = [&](const std::string& text) { std::fwrite(text.data(), 1, text.size(), run.out); };
    const auto cannotBeRead = [&](const records::Place& place, const vb::Error& error) {
        const std::string file = run.hostPath(place.path);
        const std::string why = error.what();
        run.say((why.find(file) == std::string::npos ? file + ": " : "") + "cannot be read: " + why);
    };

    // 1. Both at once, to fingerprints, each through a reader of its own.
    Layouts layouts;
    auto theirs = std::async(std::launch::async, [&] { return Fingerprints(run, current.path, 1, layouts); });
    Prints mine = Fingerprints(run, which.path, 0, layouts);
    Prints live = theirs.get();
    if (mine.error) cannotBeRead(which, *mine.error);
    if (live.error) cannotBeRead(current, *live.error);
    if (mine.error || live.error || !layouts.Wait()) return app::kFailed;
    const records::Matching& m = layouts.Matching();

    // Paired by identity; only the digests of their values tell a change.
    const std::vector<records::Fingerprint> minePrints = mine.prints;
    records::PairingIndex index(std::move(mine.prints));
    std::vector<bool> onlyInLive(live.prints.size(), false);
    std::vector<std::pair<uint32_t, uint32_t>> pairs;  // differing, WHICH's record and the live one
    std::map<uint32_t, records::Record> mineChanged, liveChanged;
    size_t onlyLive = 0;
    for (const records::Fingerprint& fingerprint : live.prints) {
        const auto pair = index.Take(fingerprint);
        if (!pair) {
            onlyInLive[fingerprint.record] = true;
            ++onlyLive;
        } else if (pair->differs) {
            pairs.emplace_back(pair->first, fingerprint.record);
            mineChanged[pair->first];
            liveChanged[fingerprint.record];
        }
    }
    std::sort(pairs.begin(), pairs.end());
    std::vector<bool> onlyInMine(minePrints.size(), false);
    const std::vector<uint32_t> unpaired = index.Unpaired();
    for (uint32_t n : unpaired) onlyInMine[n] = true;

    const auto columns = [](const std::vector<std::string>& names) {
        std::string list;
        for (const std::string& n : names) list += (list.empty() ? "" : ", ") + records::Escaped(n);
        return list;
    };
    if (!m.onlyInFirstColumns.empty())
        run.say("Columns only in " + name + ", not compared: " + columns(m.onlyInFirstColumns));
    if (!m.onlyInSecondColumns.empty())
        run.say("Columns only in current, not compared: " + columns(m.onlyInSecondColumns));

    // 2. and 3. Each again: what is only in it printed as it comes.
    Group mineGroup(run.out, command.json, "Only in " + name, unpaired.size(), layouts.Of(0).columns);
    Group liveGroup(run.out, command.json, "Only in current", onlyLive, layouts.Of(1).columns);
    bool same = true;
    if (command.json) print("{\n\"only_in_which\": [");
    try {
        same = ReadAgain(run, which.path, m.firstKey, m.firstCommon, minePrints, onlyInMine, mineGroup, mineChanged);
    } catch (const vb::Error& error) {
        cannotBeRead(which, error);
        return app::kFailed;
    }
    mineGroup.End();
    if (command.json) print("\n],\n\"only_in_current\": [");
    try {
        same = ReadAgain(run, current.path, m.secondKey, m.secondCommon, live.prints, onlyInLive, liveGroup,
                         liveChanged) &&
               same;
    } catch (const vb::Error& error) {
        cannotBeRead(current, error);
        return app::kFailed;
    }
    liveGroup.End();
    if (!same) {
        if (command.json) print("\n]\n}\n");
        run.say("The databases changed while they were compared; compare them again.");
        return app::kFailed;
    }

    // The changed records, field by field.
    const std::vector<records::Column>& mineColumns = layouts.Of(0).columns;
    size_t changedCount = 0;
    std::string text;
    for (const auto& [first, second] : pairs) {
        const records::Record& a = mineChanged[first];
        const records::Record& b = liveChanged[second];
        const std::vector<std::string> fields = m.Differing(a, b);
        if (fields.empty()) continue;  // only their digests differed
        ++changedCount;
        if (command.json) {
            nlohmann::ordered_json change{{"which", records::RecordJson(mineColumns, a)},
                                          {"current", records::RecordJson(layouts.Of(1).columns, b)},
                                          {"fields", fields}};
            text += (changedCount == 1 ? "\n" : ",\n") + Json(change);
            continue;
        }
        std::string key;
        for (int i : m.firstKey)
            key += (key.empty() ? "" : ", ") + records::Escaped(mineColumns[static_cast<size_t>(i)].name) + " " +
                   records::Escaped(records::DisplayText(a[static_cast<size_t>(i)]));
        text += "  " + (key.empty() ? "record " + std::to_string(first + 1) : key) + "\n";
        for (const std::string& field : fields) {
            const auto value = [&](const records::Record& record, const std::vector<records::Column>& in) {
                const int c = records::ColumnIndex(in, field);
                const records::Cell& cell = record[static_cast<size_t>(c)];
                return std::holds_alternative<records::Null>(cell)
                           ? std::string("(Null)")
                           : records::CutToColumns(records::Escaped(records::DisplayText(cell)), 60);
            };
            text += "    " + records::Escaped(field) + ": " + value(a, mineColumns) + " \u2192 " +
                    value(b, layouts.Of(1).columns) + "\n";
        }
    }
    if (command.json) print("\n],\n\"changed\": [" + text + "\n]\n}\n");
    else if (changedCount > 0) print("Changed: " + records::CountOf(changedCount, "record") + "\n" + text);
    if (unpaired.empty() && onlyLive == 0 && changedCount == 0)
        run.say("No difference between " + name + " and the live database of the " + command.edition + " edition.");
    return app::kDone;
}

}  // namespace cli
