// The records a search found across the versions of the history store, each
// once: the first and the last version that held it, how many did, and
// whether the live database holds it. That is how a user finds the contact
// deleted between two backups, and the version to open.
//
// A record is the same record where its columns and every value are the
// same; a contact whose fields changed is a record of its own.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "records/record.h"

namespace records {

struct TimelineEntry {
    std::vector<Column> columns;
    Record record;
    int64_t first = 0, last = 0;  // version numbers, as --versions numbers them
    size_t versions = 0;          // how many of the versions searched held it
    std::optional<bool> inLive;   // none: the live database could not be searched
};

class Timeline {
public:
    // The matches found in version `number`, in any order of versions.
    void Add(int64_t number, const Table& found);
    // The matches found in the live database; null when it could not be read.
    void Live(const Table* found);
    // Each record once, the one held most recently first (then as found).
    std::vector<TimelineEntry> Entries() const;
    bool Empty() const { return held_.empty(); }

private:
    std::map<std::string, TimelineEntry> held_;
    std::map<std::string, size_t> met_;  // the order each was first met
    std::set<std::string> live_;
    bool liveRead_ = false;
};

}  // namespace records
