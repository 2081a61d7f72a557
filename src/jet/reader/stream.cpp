#include "jet/reader/stream.h"

#include "jet/reader/failure.h"
#include "jet/reader/long_values.h"
#include "jet/reader/values.h"

namespace jet::reader {
namespace {

MdbColumn* Column(const MdbTableDef& t, unsigned i) {
    return static_cast<MdbColumn*>(g_ptr_array_index(t.columns, i));
}

// Jet allows 32 indexes on a table; a definition that announces many more
// is not one libmdb should walk.
constexpr unsigned kMostIndexes = 256;

// The most rows a batch looks at (see Batch).
constexpr uint32_t kMostExamined = 20000;

// The columns of the table's primary-key index, as indexes into its
// columns: libmdb numbers an index's columns from 1 in the order it keeps
// the table's (as mdb-schema reads them). Empty when there is none, or when
// libmdb cannot read the indexes: the records are read all the same (the
// whole-file check says what is wrong with an index), and matched by their
// ID or whole (records/compare.h).
std::vector<uint32_t> PrimaryKey(MdbTableDef& table, Noise& noise) {
    std::vector<uint32_t> key;
    if (table.num_idxs > kMostIndexes || table.num_real_idxs > kMostIndexes) return key;
    noise.Begin();
    mdb_read_indices(&table);  // its result says nothing: it gives NULL either way
    // "can't find index #N" and the like: an index that libmdb cannot read
    // is no primary key to match by; the rows are another matter.
    if (noise.Grew()) {
        noise.Begin();
        return key;
    }
    if (!table.indices) return key;
    for (unsigned i = 0; i < table.indices->len; ++i) {
        const auto* idx = static_cast<const MdbIndex*>(g_ptr_array_index(table.indices, i));
        if (idx->index_type != 1) continue;  // 1: the primary key
        for (unsigned k = 0; k < idx->num_keys && k < MDB_MAX_IDX_COLS; ++k) {
            const int c = idx->key_col_num[k] - 1;
            if (c < 0 || static_cast<unsigned>(c) >= table.num_cols) return {};  // no key to match records by
            key.push_back(static_cast<uint32_t>(c));
        }
        break;
    }
    return key;
}

}  // namespace

TableStream::TableStream(const std::string& path, const std::string& table, const std::string& find, Output& out,
                         Noise& noise, size_t valueBytes)
    : reader_(path, out, noise, valueBytes), out_(out), find_(find), findAll_(find.empty()), valueBytes_(valueBytes) {
    table_ = reader_.OpenTable(table);
    if (!mdb_read_columns(table_.get())) Damaged("columns unreadable");
    noise.Check();
    const std::vector<uint32_t> key = PrimaryKey(*table_, noise);

    std::string head;
    PutU32(head, table_->num_cols);
    for (unsigned i = 0; i < table_->num_cols; ++i) {
        const MdbColumn* c = Column(*table_, i);
        PutText(head, c->name);
        head.push_back(static_cast<char>(c->col_type));
        isText_.push_back(c->col_type == MDB_TEXT || c->col_type == MDB_MEMO);
    }
    PutU32(head, static_cast<uint32_t>(key.size()));
    for (uint32_t k : key) PutU32(head, k);
    out_.Frame('H', head);
    fields_.resize(table_->num_cols);
    mdb_rewind_table(table_.get());
}

bool TableStream::Wanted(ValueSource& source) {
    if (findAll_) return true;
    MdbHandle* mdb = reader_.Handle();
    for (unsigned f = 0; f < table_->num_cols; ++f) {
        const unsigned colnum = static_cast<unsigned>(fields_[f].colnum);
        if (!isText_[colnum] || fields_[f].is_null) continue;
        const MdbColumn& col = *Column(*table_, colnum);
        // Jet 4 keeps text as UTF-16 code units, which are searched as they
        // are; compressed text (it begins FF FE), Jet 3's code pages and text
        // with surrogates are converted first.
        // A value that does not lie within its page, or a memo too short
        // for its header, goes to Convert, which says the file is damaged.
        if (!IS_JET3(mdb) && fields_[f].start >= 0 && fields_[f].siz >= 0 &&
            fields_[f].start + fields_[f].siz <= mdb->fmt->pg_size &&
            (col.col_type == MDB_TEXT || fields_[f].siz >= MDB_MEMO_OVERHEAD)) {
            std::string stored;
            if (col.col_type == MDB_TEXT) {
                stored.assign(reinterpret_cast<const char*>(mdb->pg_buf + fields_[f].start), static_cast<size_t>(fields_[f].siz));
            } else {
                stored = ReadLongValue(source.file, *mdb->fmt, mdb->pg_buf, fields_[f].start, fields_[f].siz, source.budget);
                source.budget -= stored.size();
            }
            const bool compressed = stored.size() >= 2 && static_cast<unsigned char>(stored[0]) == 0xFF &&
                                    static_cast<unsigned char>(stored[1]) == 0xFE;
            if (!compressed) {
                if (const auto found = find_.InUtf16(stored)) {
                    if (*found) return true;
                    continue;
                }
            }
        }
        const Value v = Convert(source, col, fields_[f]);
        if (v.kind == Kind::Text && find_.In(v.text)) return true;
    }
    return false;
}

void TableStream::Batch(uint32_t rows, uint32_t bytes, uint32_t rowBytes) {
    MdbTableDef& table = *table_;
    std::vector<Value> values(table.num_cols);
    uint32_t sent = 0, examined = 0;
    uint64_t size = 0;
    std::string row;
    // A search that matches little still ends its batch after so many rows,
    // so that each batch's limits bound the work of a batch, not of the table.
    while (sent < rows && size < bytes && examined < kMostExamined) {
        ++examined;
        if (!mdb_fetch_row(&table)) {
            ended_ = true;
            break;
        }
        try {
            reader_.CrackRow(table, fields_);
            ValueSource source{reader_.Handle(), reader_.File(), valueBytes_, true};
            if (!Wanted(source)) continue;
            // A matching row is read again whole: its memos' share of the
            // budget starts afresh.
            source.budget = valueBytes_;
            for (Value& v : values) v = Value{};
            for (unsigned f = 0; f < table.num_cols; ++f) {
                const unsigned colnum = static_cast<unsigned>(fields_[f].colnum);
                values[colnum] = Convert(source, *Column(table, colnum), fields_[f]);
            }
        } catch (Failure& f) {
            if (f.number == vb::kUnrecognizedFormat)
                f.description = "row " + std::to_string(table.cur_row - 1) + " on page " +
                                std::to_string(table.cur_phys_pg) + ": " + f.description;
            throw;
        }
        row.clear();
        for (const Value& v : values) PutValue(row, v);
        if (row.size() > rowBytes) throw Failure{kSystemResourceExceeded, "System resource exceeded."};
        out_.Frame('R', row);
        size += row.size();
        ++sent;
    }
    reader_.NoiseOf().Check();
    std::string end;
    PutU32(end, sent);
    out_.Frame(ended_ ? 'Z' : 'B', end);
}

}  // namespace jet::reader
