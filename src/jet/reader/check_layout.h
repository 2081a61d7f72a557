// A table definition as the whole-file check reads it, from the file's own
// bytes rather than through libmdb: the columns (type, number, size, where a
// row keeps them), the real indexes (key columns, root page, usage map,
// flags) with their names, and the usage maps of the columns that keep long
// values. libmdb reads these parts only when asked for an index, and prints
// and gives up where the check has to say what is wrong and go on.
//
// The definition is one stream of bytes over its pages (page_checks.h):
//   header; per real index a count entry; per column an entry; the column
//   names; per real index its definition (10 key columns, usage map, root,
//   flags); per logical index an entry naming its real index and its kind;
//   the index names; then (column number, usage map, free-space map) for
//   each column with long values, ended by 0xFFFF or by the stream's end.
// Jet 3 and Jet 4 differ in the sizes of these entries, in the width of a
// name's length (one byte or two) and in its encoding (the file's code page
// or UCS-2), and Jet 4 keeps an index's flags four bytes further on.
#pragma once

// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <mdbtools.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jet/reader/page_checks.h"

namespace jet::reader {

struct ColumnLayout {
    uint8_t type = 0;
    uint16_t number = 0;  // the number index keys and long-value maps name it by
    uint16_t size = 0;
    bool fixed = false;
    uint16_t fixedOffset = 0;
    uint16_t varIndex = 0;  // a variable column's place in its row's table of variable columns
};

struct IndexLayout {
    std::string name;                // of the first logical index it serves; "index N" when none names it
    std::vector<uint16_t> keys;      // column numbers, in key order
    uint32_t usageMap = 0;           // page << 8 | row of its usage map
    uint32_t root = 0;               // its first page
    uint8_t flags = 0;               // 0x01 unique, 0x02 ignore nulls, 0x08 required
    bool textKey = false;            // a key column is Text or Memo: sorted by the engine's collation
    bool IgnoresNulls() const { return flags & 0x02; }
};

// The long values of one column, kept on pages its own usage map names.
struct LongValueMap {
    uint16_t column = 0;
    uint32_t usageMap = 0, freeMap = 0;
};

struct TableLayout {
    std::vector<uint32_t> pages;  // the definition's pages, from the first
    uint32_t rows = 0;            // the row count the definition keeps
    uint32_t usageMap = 0, freeMap = 0;
    std::vector<ColumnLayout> columns;
    std::vector<IndexLayout> indexes;
    std::vector<LongValueMap> longValueMaps;
    // What the definition holds that the check cannot make sense of but
    // Jet may (a logical index on an index entry it lacks: libmdb's "can't
    // find index"), told as notes.
    std::vector<std::string> unclear;
};

// Reads the definition whose first page is `tdefPage`; Damaged (failure.h)
// with the reason when it does not hold together: its pages (as
// CheckTableDefinition), a column of an unknown type or of a size its type
// cannot have, two columns with one number or overlapping in a row's fixed
// part, an index on a column the table lacks, entries past its end.
TableLayout ReadTableLayout(const RawFile& f, const MdbFormatConstants& fmt, uint32_t tdefPage);

// The bytes of row `pgRow` (page << 8 | row) of a data page, as a map row
// is read; Damaged when the page or row does not hold it.
std::vector<unsigned char> MapRow(const RawFile& f, const MdbFormatConstants& fmt, uint32_t pgRow);

// Calls `page` for every page the usage map `row` names. Damaged for a map
// of an unknown kind or one whose bitmap pages are not bitmap pages (type
// 0x05); `mapPage` is told each such bitmap page. Pages past the file are
// given too: the caller says what that means.
void ForEachMapped(const RawFile& f, const std::vector<unsigned char>& row, const std::function<void(uint64_t)>& page,
                   const std::function<void(uint32_t)>& mapPage = {});

}  // namespace jet::reader
