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
#include <vector>

#include "ports/value.h"

namespace records {

// A cell is a field's value as the engine gives it (ports/value.h).
using Cell = ports::Value;
using ports::Bytes;
using ports::Currency;
using ports::Null;
using ports::YesNo;
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

// Records read one at a time by their number: a Table (TableView), or the
// window's compact store (store.h), decoded as asked for.
class RecordsView {
public:
    virtual ~RecordsView() = default;
    virtual const std::vector<Column>& Columns() const = 0;
    virtual const std::vector<std::string>& PrimaryKey() const = 0;
    virtual size_t Count() const = 0;
    virtual Record At(size_t n) const = 0;
    virtual std::optional<uint64_t> StoredCount() const { return std::nullopt; }
};

class TableView final : public RecordsView {
public:
    explicit TableView(const Table& table) : table_(table) {}
    const std::vector<Column>& Columns() const override { return table_.columns; }
    const std::vector<std::string>& PrimaryKey() const override { return table_.primaryKey; }
    size_t Count() const override { return table_.records.size(); }
    Record At(size_t n) const override { return table_.records[n]; }
    std::optional<uint64_t> StoredCount() const override { return table_.storedCount; }

private:
    const Table& table_;
};

// The index of the column called `name`, compared as the utility compares
// names (vb/casefold.h); -1 when there is none.
int ColumnIndex(const std::vector<Column>& columns, const std::string& name);

}  // namespace records
