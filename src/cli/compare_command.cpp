#include "cli/compare_command.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "catalogue/paths.h"
#include "records/json.h"
#include "records/matching.h"
#include "records/render.h"
#include "vb/error.h"

namespace cli {

namespace {

// The held side's records are kept whole up to this many, else read again.
constexpr uint64_t kMostKept = 200000;

std::string Json(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// What the two readings share: their layouts, which side is held, and the
// held side's fingerprints once it has been read to its end.
class Plan {
public:
    void Give(int side, records::Source::Layout layout) {
        const std::lock_guard<std::mutex> lock(mutex_);
        layouts_[side] = std::move(layout);
        if (!layouts_[0] || !layouts_[1]) return;
        matching_ = records::MatchColumns(layouts_[0]->columns, layouts_[0]->primaryKey, layouts_[1]->columns,
                                          layouts_[1]->primaryKey);
        const uint64_t none = UINT64_MAX;
        held_ = layouts_[0]->storedCount.value_or(none) < layouts_[1]->storedCount.value_or(none) ? 0 : 1;
        keep_ = layouts_[held_]->storedCount.value_or(none) <= kMostKept;
        changed_.notify_all();
    }
    // False when the other side failed first.
    bool Decided() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return held_ >= 0 || failed_; });
        return held_ >= 0;
    }
    void HeldRead(std::vector<records::Fingerprint> prints) {
        const std::lock_guard<std::mutex> lock(mutex_);
        index_.emplace(std::move(prints));
        changed_.notify_all();
    }
    bool WaitHeldRead() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return index_.has_value() || failed_; });
        return index_.has_value();
    }
    void Fail() {
        const std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
        changed_.notify_all();
    }

    int Held() const { return held_; }
    bool Keep() const { return keep_; }
    const records::Matching& Matching() const { return *matching_; }
    const records::Source::Layout& Layout(int side) const { return *layouts_[side]; }
    const std::vector<int>& Key(int side) const { return side == 0 ? matching_->firstKey : matching_->secondKey; }
    const std::vector<int>& Common(int side) const {
        return side == 0 ? matching_->firstCommon : matching_->secondCommon;
    }
    records::PairingIndex& Index() { return *index_; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<records::Source::Layout> layouts_[2];
    std::optional<records::Matching> matching_;
    int held_ = -1;
    bool keep_ = false;
    std::optional<records::PairingIndex> index_;
    bool failed_ = false;
};

// A group of records only in one copy, printed as they come: a title with
// their count, then the text table, its widths fitted to the first records,
// or the JSON array's items. Written to `sink`; when that is a temporary
// file, Emit prints the group, its count known, to `out`.
class Group {
public:
    Group(std::FILE* sink, bool json, std::string title, const std::vector<records::Column>& columns)
        : sink_(sink), json_(json), title_(std::move(title)), columns_(columns) {}
    void Add(const records::Record& record) {
        ++count_;
        if (json_) {
            std::string item = count_ == 1 ? "\n" : ",\n";
            records::AppendRecordJson(item, columns_, record);
            Write(item);
            return;
        }
        pending_.push_back(record);
        if (pending_.size() >= 100) Flush();
    }
    // Before the first Add of a group printed straight out: its title.
    void Title(size_t count) {
        if (!json_ && count > 0) Write(title_ + ": " + records::CountOf(count, "record") + "\n");
    }
    void End() {
        if (json_ || count_ == 0) return;
        Flush();
        Write("\n");
    }
    size_t Count() const { return count_; }
    void Emit(std::FILE* out) {
        if (!json_ && count_ > 0) {
            const std::string title = title_ + ": " + records::CountOf(count_, "record") + "\n";
            std::fwrite(title.data(), 1, title.size(), out);
        }
        std::fflush(sink_);
        std::rewind(sink_);
        char buffer[1 << 16];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, sink_)) > 0;) std::fwrite(buffer, 1, n, out);
    }

private:
    void Flush() {
        std::string lines;
        if (!table_) {
            table_.emplace(columns_);
            table_->Fit(pending_);
            lines = table_->Header();
        }
        for (const records::Record& record : pending_) lines += table_->Line(record);
        Write(lines);
        pending_.clear();
    }
    void Write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), sink_); }

    std::FILE* sink_;
    bool json_;
    std::string title_;
    const std::vector<records::Column>& columns_;
    std::optional<TextTable> table_;
    std::vector<records::Record> pending_;
    size_t count_ = 0;
};

// Batches handed from the reading to the pairing, a few at most.
class Pipe {
public:
    void Push(std::vector<records::Record> batch) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return batches_.size() < 4; });
        batches_.push_back(std::move(batch));
        changed_.notify_all();
    }
    void Close() {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    // False once closed and empty.
    bool Pop(std::vector<records::Record>& batch) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !batches_.empty() || closed_; });
        if (batches_.empty()) return false;
        batch = std::move(batches_.front());
        batches_.pop_front();
        changed_.notify_all();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<records::Record>> batches_;
    bool closed_ = false;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int CompareCopies(const app::ConsoleCommand& command, RecordsRun& run, const records::Place& which,
                  const records::Place& current) {
    const std::string name = which.caption == catalogue::kCurrentCaption ? "current" : which.caption;
    const records::Place* places[2] = {&which, &current};
    const auto print = [&](const std::string& text) { std::fwrite(text.data(), 1, text.size(), run.out); };
    const auto cannotBeRead = [&](const records::Place& place, const vb::Error& error) {
        const std::string file = run.hostPath(place.path);
        const std::string why = error.what();
        run.say((why.find(file) == std::string::npos ? file + ": " : "") + "cannot be read: " + why);
    };
    const std::unique_ptr<std::FILE, FileCloser> spool(std::tmpfile());
    if (!spool) {
        run.say("No temporary file for the comparison can be made.");
        return app::kFailed;
    }

    // Both read at once: the held side to fingerprints (and its records
    // while few), the streamed side paired record by record as it comes.
    Plan plan;
    std::optional<vb::Error> errors[2];
    std::vector<records::Fingerprint> heldPrints;  // a copy, where the held side is read again
    std::vector<records::Record> heldRecords;
    std::optional<Group> streamedGroup;
    std::vector<std::pair<uint32_t, uint32_t>> pairs;    // changed: the held record and the streamed one
    std::map<uint32_t, records::Record> streamedChanged;
    Pipe pipe;
    std::thread pairing;  // the streamed side's
    const auto reading = [&](int side) {
        try {
            std::unique_ptr<records::Source> source = run.sources();
            std::vector<records::Fingerprint> prints;
            uint32_t n = 0;
            source->Read(
                places[side]->path, [&](records::Source::Layout layout) { plan.Give(side, std::move(layout)); },
                [&](std::vector<records::Record>& batch) {
                    if (!plan.Decided()) return false;
                    if (side == plan.Held()) {
                        for (records::Record& record : batch) {
                            prints.push_back(records::FingerprintOf(record, plan.Key(side), plan.Common(side), n++));
                            if (plan.Keep()) heldRecords.push_back(std::move(record));
                        }
                        return true;
                    }
                    if (!plan.WaitHeldRead()) return false;
                    // Paired on a thread of its own, so that the reader
                    // reads the next batch meanwhile.
                    if (!pairing.joinable()) {
                        streamedGroup.emplace(spool.get(), command.json,
                                              side == 0 ? "Only in " + name : "Only in current",
                                              plan.Layout(side).columns);
                        pairing = std::thread([&, side] {
                            uint32_t k = 0;
                            for (std::vector<records::Record> next; pipe.Pop(next);) {
                                for (records::Record& record : next) {
                                    const auto pair = plan.Index().Take(
                                        records::FingerprintOf(record, plan.Key(side), plan.Common(side), k));
                                    if (!pair) {
                                        streamedGroup->Add(record);
                                    } else if (pair->differs) {
                                        pairs.emplace_back(pair->first, k);
                                        streamedChanged[k] = std::move(record);
                                    }
                                    ++k;
                                }
                            }
                        });
                    }
                    pipe.Push(std::move(batch));
                    batch.clear();
                    return true;
                });
            if (plan.Decided() && side == plan.Held()) {
                if (!plan.Keep()) heldPrints = prints;
                plan.HeldRead(std::move(prints));
            } else {
                pipe.Close();
                if (pairing.joinable()) pairing.join();
            }
        } catch (const vb::Error& error) {
            errors[side] = error;
            plan.Fail();
            if (side != plan.Held()) {
                pipe.Close();
                if (pairing.joinable()) pairing.join();
            }
        }
    };
    auto theirs = std::async(std::launch::async, reading, 1);
    reading(0);
    theirs.get();
    if (errors[0]) cannotBeRead(which, *errors[0]);
    if (errors[1]) cannotBeRead(current, *errors[1]);
    if (errors[0] || errors[1] || !plan.WaitHeldRead()) return app::kFailed;

    const int held = plan.Held(), streamed = 1 - held;
    const records::Matching& m = plan.Matching();
    const auto columns = [](const std::vector<std::string>& names) {
        std::string list;
        for (const std::string& n : names) list += (list.empty() ? "" : ", ") + records::Escaped(n);
        return list;
    };
    if (!m.onlyInFirstColumns.empty())
        run.say("Columns only in " + name + ", not compared: " + columns(m.onlyInFirstColumns));
    if (!m.onlyInSecondColumns.empty())
        run.say("Columns only in current, not compared: " + columns(m.onlyInSecondColumns));
    if (!streamedGroup)
        streamedGroup.emplace(spool.get(), command.json, streamed == 0 ? "Only in " + name : "Only in current",
                              plan.Layout(streamed).columns);
    streamedGroup->End();

    // The held side's records only in it, printed straight out in their
    // turn, and those changed, kept; from its records kept, or read again.
    const std::vector<uint32_t> unpaired = plan.Index().Unpaired();
    std::map<uint32_t, records::Record> heldChanged;
    for (const auto& pair : pairs) heldChanged[pair.first];
    Group heldGroup(run.out, command.json, held == 0 ? "Only in " + name : "Only in current", plan.Layout(held).columns);
    const auto printHeld = [&]() -> bool {
        heldGroup.Title(unpaired.size());
        std::vector<bool> only(std::max(heldRecords.size(), heldPrints.size()), false);
        for (uint32_t k : unpaired) only[k] = true;
        if (plan.Keep()) {
            for (uint32_t k = 0; k < heldRecords.size(); ++k) {
                if (only[k]) heldGroup.Add(heldRecords[k]);
                else if (const auto kept = heldChanged.find(k); kept != heldChanged.end()) kept->second = heldRecords[k];
            }
            heldGroup.End();
            return true;
        }
        std::unique_ptr<records::Source> source = run.sources();
        uint32_t n = 0;
        bool same = true;
        source->Read(
            places[held]->path, [](records::Source::Layout) {},
            [&](std::vector<records::Record>& batch) {
                for (records::Record& record : batch) {
                    const records::Fingerprint again =
                        records::FingerprintOf(record, plan.Key(held), plan.Common(held), n);
                    const records::Fingerprint* was = n < heldPrints.size() ? &heldPrints[n] : nullptr;
                    if (!was || again.id[0] != was->id[0] || again.id[1] != was->id[1] ||
                        again.values[0] != was->values[0] || again.values[1] != was->values[1]) {
                        same = false;
                        return false;
                    }
                    if (only[n]) heldGroup.Add(record);
                    else if (const auto kept = heldChanged.find(n); kept != heldChanged.end()) kept->second = std::move(record);
                    ++n;
                }
                return true;
            });
        heldGroup.End();
        return same && n == heldPrints.size();
    };
    bool same = true;
    try {
        if (command.json) print("{\n\"only_in_which\": [");
        if (held == 0) same = printHeld();
        else streamedGroup->Emit(run.out);
        if (command.json) print("\n],\n\"only_in_current\": [");
        if (held == 1) same = printHeld();
        else streamedGroup->Emit(run.out);
    } catch (const vb::Error& error) {
        cannotBeRead(*places[held], error);
        return app::kFailed;
    }
    if (!same) {
        if (command.json) print("\n]\n}\n");
        run.say("The databases changed while they were compared; compare them again.");
        return app::kFailed;
    }

    // The changed records, field by field, in WHICH's order.
    std::vector<std::pair<const records::Record*, const records::Record*>> changed;  // WHICH's and the live one
    std::vector<std::pair<uint32_t, size_t>> order;                                   // WHICH's number, and where
    for (const auto& [h, s] : pairs) {
        const records::Record* a = &heldChanged[h];
        const records::Record* b = &streamedChanged[s];
        if (held == 1) std::swap(a, b);
        order.emplace_back(held == 0 ? h : s, changed.size());
        changed.emplace_back(a, b);
    }
    std::sort(order.begin(), order.end());
    const std::vector<records::Column>& mineColumns = plan.Layout(0).columns;
    const std::vector<records::Column>& liveColumns = plan.Layout(1).columns;
    size_t changedCount = 0;
    std::string text;
    for (const auto& [number, at] : order) {
        const records::Record& a = *changed[at].first;
        const records::Record& b = *changed[at].second;
        const std::vector<std::string> fields = m.Differing(a, b);
        if (fields.empty()) continue;  // only their digests differed
        ++changedCount;
        if (command.json) {
            nlohmann::ordered_json change{{"which", records::RecordJson(mineColumns, a)},
                                          {"current", records::RecordJson(liveColumns, b)},
                                          {"fields", fields}};
            text += (changedCount == 1 ? "\n" : ",\n") + Json(change);
            continue;
        }
        std::string key;
        for (int i : m.firstKey)
            key += (key.empty() ? "" : ", ") + records::Escaped(mineColumns[static_cast<size_t>(i)].name) + " " +
                   records::Escaped(records::DisplayText(a[static_cast<size_t>(i)]));
        text += "  " + (key.empty() ? "record " + std::to_string(number + 1) : key) + "\n";
        for (const std::string& field : fields) {
            const auto value = [&](const records::Record& record, const std::vector<records::Column>& in) {
                const records::Cell& cell = record[static_cast<size_t>(records::ColumnIndex(in, field))];
                return std::holds_alternative<records::Null>(cell)
                           ? std::string("(Null)")
                           : records::CutToColumns(records::Escaped(records::DisplayText(cell)), 60);
            };
            text += "    " + records::Escaped(field) + ": " + value(a, mineColumns) + " \u2192 " +
                    value(b, liveColumns) + "\n";
        }
    }
    if (command.json) print("\n],\n\"changed\": [" + text + "\n]\n}\n");
    else if (changedCount > 0) print("Changed: " + records::CountOf(changedCount, "record") + "\n" + text);
    if (unpaired.empty() && streamedGroup->Count() == 0 && changedCount == 0)
        run.say("No difference between " + name + " and the live database of the " + command.edition + " edition.");
    return app::kDone;
}

}  // namespace cli
