#include "records/timeline.h"

#include <algorithm>

#include "records/json.h"

namespace records {

namespace {

// What tells one record from another: its columns and values, written whole.
std::string KeyOf(const std::vector<Column>& columns, const Record& record) {
    std::string key;
    for (const Column& column : columns) key += column.name + '\x1f';
    return key + '\x1e' + RecordJson(columns, record).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

void Timeline::Add(int64_t number, const Table& found) {
    for (const Record& record : found.records) {
        const std::string key = KeyOf(found.columns, record);
        auto [at, added] = held_.try_emplace(key);
        TimelineEntry& entry = at->second;
        if (added) {
            entry.columns = found.columns;
            entry.record = record;
            entry.first = entry.last = number;
            met_.emplace(key, met_.size());
        }
        entry.first = std::min(entry.first, number);
        entry.last = std::max(entry.last, number);
        ++entry.versions;
    }
}

void Timeline::Live(const Table* found) {
    liveRead_ = found != nullptr;
    if (found)
        for (const Record& record : found->records) live_.insert(KeyOf(found->columns, record));
}

std::vector<TimelineEntry> Timeline::Entries() const {
    std::vector<std::pair<std::string, TimelineEntry>> all(held_.begin(), held_.end());
    std::stable_sort(all.begin(), all.end(), [this](const auto& a, const auto& b) {
        if (a.second.last != b.second.last) return a.second.last > b.second.last;
        return met_.at(a.first) < met_.at(b.first);
    });
    std::vector<TimelineEntry> entries;
    for (auto& [key, entry] : all) {
        if (liveRead_) entry.inLive = live_.count(key) > 0;
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace records
