// A comparison (compare.h) as delimited text, for Copy and Export… of the
// window's Compare: a header, then one row per difference, in the order the
// window lists them: each record only in the first, each only in the
// second, then each field of each changed record. A row holds what differs
// ("Only in Business Backup 2", "Changed"), the record's name (RecordName),
// the field (none for a record only in one), and the field's values in each
// as CSV writes them (csv.h): whole, never cut.
#pragma once

#include <string>
#include <vector>

#include "records/compare.h"
#include "records/csv.h"

namespace records {

class DifferenceRows {
public:
    // The tables and the comparison must outlive this.
    DifferenceRows(const RecordsView& first, const Table& second, const Comparison& comparison,
                   std::string firstName, std::string secondName);

    size_t Size() const { return size_; }
    // Where the rows of each group begin, and those of changed record k.
    size_t OnlyInSecondStart() const { return comparison_.onlyInFirst.size(); }
    size_t ChangedStart() const { return OnlyInSecondStart() + comparison_.onlyInSecond.size(); }
    size_t ChangedStart(size_t k) const { return ChangedStart() + changedStarts_[k]; }

    void AppendHeader(std::string& out, const Delimited& style) const;
    // Rows [from, to).
    void AppendRows(std::string& out, size_t from, size_t to, const Delimited& style) const;

private:
    void AppendRow(std::string& out, size_t row, const Delimited& style) const;

    const RecordsView& first_;
    const Table& second_;
    const Comparison& comparison_;
    std::string firstName_, secondName_;
    std::vector<size_t> changedStarts_;  // each changed record's first row among the changed
    size_t size_ = 0;
};

}  // namespace records
