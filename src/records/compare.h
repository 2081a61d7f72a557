// What differs between two copies of a table: the records only in one, only
// in the other, and those in both whose values differ, field by field.
//
// Records are matched by the table's primary key where it has one, else by
// a column named ID, else by the whole record (then nothing is "changed":
// a record that differs in any field is only in one copy). Only the
// columns both tables have are compared; those only one has are named.
// Column names match as the utility compares names. A record whose key
// holds a Null matches only a record equal to it in every common column,
// since a Null identifies nothing. Records with the same key are paired in
// the order they come.
#pragma once

#include <string>
#include <vector>

#include "records/record.h"

namespace records {

struct Comparison {
    enum class MatchedBy { PrimaryKey, IdColumn, WholeRecord };
    MatchedBy matchedBy = MatchedBy::WholeRecord;
    std::vector<std::string> key;                // the columns records were matched by
    std::vector<std::string> common;             // compared, in the first table's order
    std::vector<std::string> onlyInFirstColumns; // in the first table's order
    std::vector<std::string> onlyInSecondColumns;

    struct Changed {
        size_t first = 0;                 // the record's number in the first table
        size_t second = 0;                // and in the second
        std::vector<std::string> fields;  // the common columns whose values differ
    };
    std::vector<size_t> onlyInFirst;   // record numbers, ascending
    std::vector<size_t> onlyInSecond;  // record numbers, ascending
    std::vector<Changed> changed;      // in the first table's order

    bool NoDifference() const { return onlyInFirst.empty() && onlyInSecond.empty() && changed.empty(); }
};

Comparison Compare(const Table& first, const Table& second);

// Two cells hold the same value: the same kind and the same value (texts
// byte for byte, so a change of case is a change; 0.0 and -0.0 alike).
bool SameValue(const Cell& a, const Cell& b);

// Appends the bytes of a cell, told apart by kind (and, for texts and
// bytes, prefixed by their length), so that equal encodings are equal
// values and a concatenation of encodings is unambiguous.
void EncodeCell(std::string& out, const Cell& cell);

// A record named for a person: its key ("ID 17"), else its first three
// columns, then the values of its first two text columns outside the key
// that hold something: "ID 17, Ingrid, García". Not yet made harmless.
std::string RecordName(const Table& table, size_t record, const std::vector<std::string>& key);
std::string RecordName(const std::vector<Column>& columns, const Record& row, const std::vector<std::string>& key);

}  // namespace records
