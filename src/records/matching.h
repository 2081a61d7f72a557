// How two copies of a table are matched record to record, in a form that
// needs neither copy whole beside the other: the columns decide how records
// are matched (MatchColumns); each record reduces to a fingerprint, what it
// is matched by and what it holds, each as a 128-bit digest; and an index of
// one copy's fingerprints pairs the other's records as they come.
//
// Compare (compare.h) pairs two tables in memory this way; the window pairs
// the copy it shows with the live database as that is read (CompareAsRead,
// keeping of the live database only what differs), and the command line
// pairs two copies it reads three times, holding fingerprints only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/compare.h"
#include "records/record.h"
#include "records/source.h"

namespace records {

// The common columns and the key, from the two tables' columns and keys,
// as Compare chooses them.
struct Matching {
    Comparison::MatchedBy matchedBy = Comparison::MatchedBy::WholeRecord;
    std::vector<std::string> key, common, onlyInFirstColumns, onlyInSecondColumns;
    // The same as indexes into each table's columns.
    std::vector<int> firstKey, secondKey, firstCommon, secondCommon;

    // A comparison with the columns filled in and no records yet.
    Comparison Empty() const;
    // The common columns whose values differ between a record of each.
    std::vector<std::string> Differing(const Record& first, const Record& second) const;
};
Matching MatchColumns(const std::vector<Column>& first, const std::vector<std::string>& firstKey,
                      const std::vector<Column>& second, const std::vector<std::string>& secondKey);

// A record reduced to what it is matched by (its key's values, or all its
// common values where there is no key or the key holds a Null) and what it
// holds in the common columns, each as a 128-bit digest: two records are
// taken for the same when their digests are (a chance of about one in 2^64
// for two different ones among billions of records).
struct Fingerprint {
    uint64_t id[2] = {0, 0};
    uint64_t values[2] = {0, 0};
    uint32_t record = 0;
};
Fingerprint FingerprintOf(const Record& record, const std::vector<int>& key, const std::vector<int>& common,
                          uint32_t number);

// The fingerprints of one copy, paired with the other's records one by one:
// records with one identity pair in the order they come.
class PairingIndex {
public:
    explicit PairingIndex(std::vector<Fingerprint> first);

    struct Pair {
        uint32_t first = 0;   // the first copy's record paired
        bool differs = false; // their common values differ
    };
    // The first copy's earliest record of `other`'s identity not paired
    // yet; none when no such record is left.
    std::optional<Pair> Take(const Fingerprint& other);
    // The first copy's records no record was paired with, ascending.
    std::vector<uint32_t> Unpaired() const;

private:
    std::vector<Fingerprint> sorted_;  // by identity, then record
    std::vector<uint32_t> taken_;      // at each run's start: how many of the run are paired
};

// Records held (a table, or the window's store) compared with another
// table read record by record, keeping of the other only the records that
// are only in it or changed.
class CompareAsRead {
public:
    explicit CompareAsRead(const RecordsView& first) : first_(first) {}
    // The other's columns and key, before its first record.
    void Layout(Source::Layout layout);
    // The other's next record.
    void Add(Record&& record);
    // The comparison; its records of the second table are those of Kept().
    Comparison Finish();
    Table& Kept() { return kept_; }
    // How many records of the other were read.
    size_t Read() const { return read_; }

private:
    const RecordsView& first_;
    Matching matching_;
    std::optional<PairingIndex> index_;
    Table kept_;
    Comparison result_;
    uint32_t read_ = 0;
};

}  // namespace records
