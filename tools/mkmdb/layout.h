// Tables as mkmdb lays them out: column slots, the table definition's bytes
// and a row's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mkmdb/mkmdb.h"

namespace mkmdb::detail {

class LongValuePages;

struct ColumnLayout {
    std::string name;
    uint8_t type = 0;
    uint16_t length = 0;      // bytes; Text is 2 per character, OLE and Memo 0
    bool fixed = false;
    bool deleted = false;     // a slot without an entry in the definition
    uint16_t fixed_offset = 0;
    uint16_t var_index = 0;   // slot in the row's offset table; for fixed columns the var columns before it
    std::size_t max_units = 0;  // Text: declared size in UTF-16 units
};

// A table's columns are its slots, live and deleted, in the order of their
// column numbers; rows hold every slot.
struct TableLayout {
    std::string name;
    bool system = false;
    std::vector<ColumnLayout> columns;
    uint16_t fixed_size = 0;
    uint16_t num_var = 0;     // variable slots, deleted ones included
    uint16_t live = 0;        // columns with an entry in the definition

    uint32_t tdef_page = 0;     // first page of the definition
    uint32_t tdef_pages = 0;
    std::vector<uint32_t> data_pages;  // in ascending order
    uint64_t num_rows = 0;
    uint32_t map_pg_row = 0;
};

TableLayout CatalogLayout();
TableLayout UserLayout(const Table& table);

// The table definition as one byte stream: bytes [0, kPage) go on the first
// page, the rest continue at offset 8 of each following definition page.
std::vector<uint8_t> TdefStream(const TableLayout& t);
uint32_t TdefPageCount(std::size_t stream_len);

// Encodes one row into `out` (at least kPage bytes) and returns its length.
// Memo values too long to keep in the row go to `long_values`.
std::size_t EncodeRow(const TableLayout& t, const Row& row, uint8_t* out, const char* where,
                      LongValuePages* long_values);

}  // namespace mkmdb::detail
