// Records as a table for a terminal: the column names, then one line per
// record, columns lined up as the terminal draws them. Values are escaped
// (records::Escaped), so that nothing in them reaches the terminal as a
// control, and cut after `widest` cells with "…"; --json and --csv give
// them whole, and so does the table of --wide (widest kWhole).
//
// A table can be printed as its records arrive: the widths come from the
// first batch (Fit), and a wider value in a later batch is cut to its
// column's width, visibly, with "…". With kWhole no value is cut: the
// columns line up as for a table cut at 40 cells, and a wider value is
// printed whole and moves the rest of its line.
#pragma once

#include <string>
#include <vector>

#include "records/record.h"

namespace cli {

// No value is cut (--wide).
inline constexpr size_t kWhole = static_cast<size_t>(-1);

class TextTable {
public:
    TextTable(std::vector<records::Column> columns, size_t widest = 40);

    // Widens the columns to what `records` hold (up to `widest`).
    void Fit(const std::vector<records::Record>& records);
    // The line of column names, and the line of one record, each ending in "\n".
    std::string Header() const;
    std::string Line(const records::Record& record) const;

private:
    std::string Cell(const records::Record& record, size_t c) const;
    std::string Lined(const std::vector<std::string>& cells) const;

    std::vector<records::Column> columns_;
    size_t widest_;
    size_t align_;  // the most a column is widened to
    std::vector<size_t> width_;
};

// The whole table of `rows` of `table`, its widths fitted to all of them.
std::string RecordsTableText(const records::Table& table, const std::vector<size_t>& rows, size_t widest = 40);

}  // namespace cli
