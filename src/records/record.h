// The records of one table as both front ends hold them: the columns (names
// and kinds, in table order), the names of the primary key's columns, and
// the records, one cell per column. A cell is Null or a value of its
// column's kind, whole: text as UTF-8, binary and OLE columns as their
// bytes, currency exactly as Jet keeps it.
//
// Everything under records/ (the filter, the comparison, the CSV and JSON
// writers) works on these types only, so that the window and the command
// line show, find, compare and export records the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "vb/datetime.h"

namespace records {

struct Null {
    bool operator==(const Null&) const = default;
};

// A Currency amount times 10,000 (four decimal places), as Jet stores it.
struct Currency {
    int64_t scaled = 0;
    bool operator==(const Currency&) const = default;
};

struct YesNo {
    bool value = false;
    bool operator==(const YesNo&) const = default;
};

// The bytes of a Binary or OLE Object value.
struct Bytes {
    std::string data;
    bool operator==(const Bytes&) const = default;
};

using Cell = std::variant<Null, int64_t, double, Currency, YesNo, std::string, vb::DateTime, Bytes>;
using Record = std::vector<Cell>;

// What a column holds, as far as showing, finding and exporting go.
enum class Kind { Text, Integer, Floating, Currency, YesNo, DateTime, Bytes, Other };

struct Column {
    std::string name;
    Kind kind = Kind::Other;
    bool operator==(const Column&) const = default;
};

struct Table {
    std::vector<Column> columns;
    std::vector<std::string> primaryKey;  // column names, in key order; empty: none
    std::vector<Record> records;
    // How many records the table's definition says it holds, where the
    // source knows: a reading whole that gives another number is shown as
    // a warning.
    std::optional<uint64_t> storedCount = {};
};

// The index of the column called `name`, compared as the utility compares
// names (vb/casefold.h); -1 when there is none.
int ColumnIndex(const std::vector<Column>& columns, const std::string& name);

}  // namespace records
