#include "jet/reader/check_layout.h"

#include <algorithm>
#include <set>

#include "jet/reader/failure.h"
#include "jet/reader/long_values.h"

namespace jet::reader {
namespace {

// A definition longer than this many pages is not one Jet writes (255
// columns and 32 indexes with their names fit in a few).
constexpr size_t kMostDefinitionPages = 64;

// The definition's bytes: its first page whole, then each further page
// from offset 8.
class Definition {
public:
    Definition(const RawFile& f, const std::vector<uint32_t>& pages, std::string what) : what_(std::move(what)) {
        for (size_t i = 0; i < pages.size(); ++i) {
            auto page = f.Page(pages[i]);
            bytes_.insert(bytes_.end(), page.begin() + (i == 0 ? 0 : 8), page.end());
        }
    }
    size_t Size() const { return bytes_.size(); }
    void Need(size_t pos, size_t n, const char* part) const {
        if (pos + n > bytes_.size()) Damaged(what_ + " ends before its " + part + " do");
    }
    uint8_t U8(size_t pos) const { return bytes_[pos]; }
    uint16_t U16(size_t pos) const { return static_cast<uint16_t>(bytes_[pos] | (bytes_[pos + 1] << 8)); }
    uint32_t U32(size_t pos) const {
        return static_cast<uint32_t>(bytes_[pos]) | (static_cast<uint32_t>(bytes_[pos + 1]) << 8) |
               (static_cast<uint32_t>(bytes_[pos + 2]) << 16) | (static_cast<uint32_t>(bytes_[pos + 3]) << 24);
    }
    const char* At(size_t pos) const { return reinterpret_cast<const char*>(bytes_.data() + pos); }
    const std::string& What() const { return what_; }

private:
    std::string what_;
    std::vector<unsigned char> bytes_;
};

// The one size a column of a fixed-size type has; 0 for the others.
unsigned SizeOfType(uint8_t type) {
    switch (type) {
    case MDB_BOOL: case MDB_BYTE: return 1;
    case MDB_INT: return 2;
    case MDB_LONGINT: case MDB_FLOAT: return 4;
    case MDB_MONEY: case MDB_DOUBLE: case MDB_DATETIME: return 8;
    case MDB_REPID: return 16;
    case MDB_NUMERIC: return 17;
    default: return 0;
    }
}

// Jet's column types: those of Jet 3 and 4 (1 to 16) and the complex,
// big-integer and extended-date types of later Access files (up to 0x14).
bool KnownType(uint8_t type) { return type >= MDB_BOOL && type <= 0x14; }

// maxCols: the most columns a row holds, the deleted ones included, which
// bounds the columns' numbers and the places of the variable columns.
void CheckColumns(const std::vector<ColumnLayout>& columns, unsigned maxCols, bool jet3, const std::string& what) {
    std::set<uint16_t> numbers, places;
    std::vector<const ColumnLayout*> fixed;
    for (const ColumnLayout& c : columns) {
        const std::string col = what + ": column " + std::to_string(c.number);
        if (!KnownType(c.type)) Damaged(col + " is of unknown type " + std::to_string(c.type));
        if (!numbers.insert(c.number).second) Damaged(what + ": two columns are numbered " + std::to_string(c.number));
        // A column's number is its bit in each row's null mask.
        if (c.number >= maxCols)
            Damaged(col + " is numbered past the " + std::to_string(maxCols) + " columns a row holds");
        // A Yes/No is one byte long as Jet writes it, none as other writers do.
        const unsigned size = SizeOfType(c.type);
        if (size && c.size != size && !(c.type == MDB_BOOL && c.size == 0))
            Damaged(col + " is " + std::to_string(c.size) + " bytes long, which its type " + std::to_string(c.type) +
                    " cannot be");
        if ((c.type == MDB_TEXT || c.type == MDB_BINARY) && c.size > (jet3 ? 255u : 510u))
            Damaged(col + " is " + std::to_string(c.size) + " bytes long, more than Jet keeps in a row");
        // A Yes/No keeps its value in the null mask, not in the fixed part.
        if (c.fixed && c.type != MDB_BOOL) fixed.push_back(&c);
        // A variable column whose place lies past every row's table of them,
        // or shares another's, reads as another column's value or as none.
        if (!c.fixed && (c.varIndex >= maxCols || !places.insert(c.varIndex).second))
            Damaged(col + " reads the variable part " + std::to_string(c.varIndex) + " of its rows, which " +
                    (c.varIndex >= maxCols ? "no row has" : "another column reads"));
    }
    std::sort(fixed.begin(), fixed.end(), [](auto* a, auto* b) { return a->fixedOffset < b->fixedOffset; });
    for (size_t i = 1; i < fixed.size(); ++i)
        if (fixed[i - 1]->fixedOffset + fixed[i - 1]->size > fixed[i]->fixedOffset)
            Damaged(what + ": columns " + std::to_string(fixed[i - 1]->number) + " and " +
                    std::to_string(fixed[i]->number) + " overlap in a row");
}

std::string NameAt(const Definition& d, size_t pos, size_t len, bool jet3) {
    return jet3 ? Cp1252ToUtf8(d.At(pos), len) : Ucs2ToUtf8(d.At(pos), len);
}

}  // namespace

TableLayout ReadTableLayout(const RawFile& f, const MdbFormatConstants& fmt, uint32_t tdefPage) {
    CheckTableDefinition(f, fmt, tdefPage);
    const std::string what = "table definition on page " + std::to_string(tdefPage);
    const bool jet3 = f.PageSize() == 2048;
    TableLayout t;
    t.pages.push_back(tdefPage);
    for (uint32_t next = U32(f.Page(tdefPage), 4); next != 0; next = U32(f.Page(next), 4)) {
        if (t.pages.size() >= kMostDefinitionPages)
            Damaged(what + " runs on over more than " + std::to_string(kMostDefinitionPages) + " pages");
        t.pages.push_back(next);
    }
    const Definition d(f, t.pages, what);
    t.rows = d.U32(fmt.tab_num_rows_offset);
    const unsigned numCols = d.U16(fmt.tab_num_cols_offset);
    const uint32_t numIdx = d.U32(fmt.tab_num_idxs_offset), numReal = d.U32(fmt.tab_num_ridxs_offset);
    t.usageMap = d.U32(fmt.tab_usage_map_offset);
    t.freeMap = d.U32(fmt.tab_free_map_offset);
    // Jet keeps at most 32 indexes; a foreign key may add a logical one
    // for each of them.
    if (numReal > 64 || numIdx > 128)
        Damaged(what + ": " + std::to_string(numIdx) + " indexes on " + std::to_string(numReal) + " index entries");

    size_t pos = fmt.tab_cols_start_offset + size_t{numReal} * fmt.tab_ridx_entry_size;
    for (unsigned i = 0; i < numCols; ++i, pos += fmt.tab_col_entry_size) {
        d.Need(pos, fmt.tab_col_entry_size, "columns");
        ColumnLayout c;
        c.type = d.U8(pos);
        c.number = d.U16(pos + fmt.col_num_offset);
        c.fixed = d.U8(pos + fmt.col_flags_offset) & 0x01;
        c.fixedOffset = d.U16(pos + fmt.tab_col_offset_fixed);
        c.varIndex = d.U16(pos + fmt.tab_col_offset_var);
        c.size = d.U16(pos + fmt.col_size_offset);
        t.columns.push_back(c);
    }
    // The most columns a row holds comes four bytes before the count of columns.
    CheckColumns(t.columns, d.U16(fmt.tab_num_cols_offset - 4), jet3, what);
    auto skipName = [&](const char* part) {
        d.Need(pos, jet3 ? 1 : 2, part);
        const size_t len = jet3 ? d.U8(pos) : d.U16(pos);
        pos += (jet3 ? 1 : 2);
        d.Need(pos, len, part);
        const size_t at = pos;
        pos += len;
        return std::make_pair(at, len);
    };
    for (unsigned i = 0; i < numCols; ++i) skipName("column names");

    const size_t realSize = jet3 ? 39 : 52, keysAt = jet3 ? 0 : 4;
    const size_t mapAt = keysAt + 30, rootAt = mapAt + 4, flagsAt = jet3 ? rootAt + 4 : rootAt + 8;
    for (uint32_t i = 0; i < numReal; ++i, pos += realSize) {
        d.Need(pos, realSize, "index definitions");
        IndexLayout x;
        x.name = "index " + std::to_string(i);
        for (size_t k = 0; k < 10; ++k) {
            const uint16_t col = d.U16(pos + keysAt + 3 * k);
            if (col == 0xFFFF) continue;
            auto c = std::find_if(t.columns.begin(), t.columns.end(), [&](const ColumnLayout& l) { return l.number == col; });
            if (c == t.columns.end())
                Damaged(what + ": index " + std::to_string(i) + " is on column " + std::to_string(col) +
                        ", which the table lacks");
            x.keys.push_back(col);
            x.textKey = x.textKey || c->type == MDB_TEXT || c->type == MDB_MEMO;
        }
        x.usageMap = d.U32(pos + mapAt);
        x.root = d.U32(pos + rootAt);
        x.flags = d.U8(pos + flagsAt);
        t.indexes.push_back(std::move(x));
    }
    // The logical indexes say which real index each one is, and come with
    // the names: a real index is named after the first that uses it.
    // A real index shared by a foreign key's hidden logical index (".rI")
    // and the user's own takes the user's name, the primary key's first.
    const size_t logicalSize = jet3 ? 20 : 28, realAt = jet3 ? 4 : 8, kindAt = jet3 ? 19 : 23;
    std::vector<std::pair<uint32_t, uint8_t>> logical;  // real index, kind (1 primary, 2 foreign key)
    for (uint32_t i = 0; i < numIdx; ++i, pos += logicalSize) {
        d.Need(pos, logicalSize, "logical indexes");
        logical.emplace_back(d.U32(pos + realAt), d.U8(pos + kindAt));
    }
    std::vector<int> namedBy(t.indexes.size(), -1);  // the kind of the logical index that named it
    for (uint32_t i = 0; i < numIdx; ++i) {
        const auto [at, len] = skipName("index names");
        const auto [real, kind] = logical[i];
        if (real >= t.indexes.size()) {
            t.unclear.push_back("its index " + NameAt(d, at, len, jet3) + " names index entry " +
                                std::to_string(real) + " of its " + std::to_string(t.indexes.size()));
            continue;
        }
        int& by = namedBy[real];
        const bool better = by < 0 || (kind == 1 && by != 1) || (by == 2 && kind != 2);
        if (!better) continue;
        t.indexes[real].name = NameAt(d, at, len, jet3);
        by = kind;
    }
    // The columns with long values of their own, to 0xFFFF or the end.
    while (pos + 2 <= d.Size() && d.U16(pos) != 0xFFFF) {
        d.Need(pos, 10, "long-value maps");
        LongValueMap m{d.U16(pos), d.U32(pos + 2), d.U32(pos + 6)};
        auto c = std::find_if(t.columns.begin(), t.columns.end(), [&](const ColumnLayout& l) { return l.number == m.column; });
        if (c == t.columns.end())
            Damaged(what + ": long values of column " + std::to_string(m.column) + ", which the table lacks");
        t.longValueMaps.push_back(m);
        pos += 10;
    }
    return t;
}

std::vector<unsigned char> MapRow(const RawFile& f, const MdbFormatConstants& fmt, uint32_t pgRow) {
    CheckRowPointer(f, fmt, pgRow, "usage map");
    const auto page = f.Page(pgRow >> 8);
    const unsigned row = pgRow & 0xff;
    const unsigned start = U16(page, fmt.row_count_offset + 2 + row * 2) & 0x1fff;
    const unsigned end = row == 0 ? f.PageSize() : (U16(page, fmt.row_count_offset + row * 2) & 0x1fff);
    return {page.begin() + start, page.begin() + end};
}

void ForEachMapped(const RawFile& f, const std::vector<unsigned char>& map, const std::function<void(uint64_t)>& page,
                   const std::function<void(uint32_t)>& mapPage) {
    if (map.empty()) Damaged("usage map is empty");
    auto bits = [&](const unsigned char* bytes, size_t n, uint64_t first) {
        for (size_t i = 0; i < n; ++i)
            for (int b = 0; bytes[i] && b < 8; ++b)
                if (bytes[i] & (1u << b)) page(first + i * 8 + static_cast<uint64_t>(b));
    };
    if (map[0] == 0) {
        if (map.size() < 5) Damaged("usage map is too short for its first page");
        const uint32_t start = static_cast<uint32_t>(map[1]) | (map[2] << 8) | (map[3] << 16) |
                               (static_cast<uint32_t>(map[4]) << 24);
        bits(map.data() + 5, map.size() - 5, start);
    } else if (map[0] == 1) {
        const uint64_t perPage = uint64_t(f.PageSize() - 4) * 8;
        for (size_t k = 0; 1 + 4 * k + 4 <= map.size(); ++k) {
            const unsigned char* p = map.data() + 1 + 4 * k;
            const uint32_t at = static_cast<uint32_t>(p[0]) | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
            if (at == 0) continue;
            const auto bitmap = f.Page(at);
            if (bitmap[0] != MDB_PAGE_MAP)
                Damaged("usage map continues on page " + std::to_string(at) + " of type " + std::to_string(bitmap[0]));
            if (mapPage) mapPage(at);
            bits(bitmap.data() + 4, bitmap.size() - 4, k * perPage);
        }
    } else {
        Damaged("usage map of unknown kind " + std::to_string(map[0]));
    }
}

}  // namespace jet::reader
