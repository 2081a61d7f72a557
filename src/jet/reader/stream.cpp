#include "jet/reader/stream.h"

#include <algorithm>

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
                         Noise& noise, size_t valueBytes, uint32_t versionPages)
    : view_{versionPages, {}, {}, {}},
      reader_(path, out, noise, valueBytes, versionPages ? &view_ : nullptr),
      out_(out),
      find_(find),
      findChars_(vb::FoldCase(find).size()),
      findAll_(find.empty()),
      valueBytes_(valueBytes) {
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
    PutU32(head, table_->num_rows);
    out_.Frame('H', head);
    fields_.resize(table_->num_cols);
    mdb_rewind_table(table_.get());
    if (Paged()) {
        std::vector<uint64_t> structure = view_.read;
        std::sort(structure.begin(), structure.end());
        structure.erase(std::unique(structure.begin(), structure.end()), structure.end());
        std::vector<uint32_t> data;
        MdbTableDef& t = *table_;
        for (gint32 pg = mdb_map_find_next(reader_.Handle(), t.usage_map, static_cast<unsigned>(t.map_sz), 0); pg > 0;
             pg = mdb_map_find_next(reader_.Handle(), t.usage_map, static_cast<unsigned>(t.map_sz), static_cast<guint32>(pg)))
            data.push_back(static_cast<uint32_t>(pg));
        // A map libmdb cannot walk sends a whole reading to every page in turn.
        noise.Check();
        // What decoding a row of a data page depends on besides the page:
        // the columns as libmdb cracks and converts them, and whether the
        // table holds rows at all (libmdb reads none of a table that says
        // it has none).
        std::string decoding;
        PutU32(decoding, t.num_cols);
        PutU32(decoding, t.num_var_cols);
        PutU32(decoding, t.num_rows == 0);
        for (unsigned i = 0; i < t.num_cols; ++i) {
            const MdbColumn& c = *Column(t, i);
            for (int v : {c.col_type, c.col_size, int(c.is_fixed), c.col_num, c.col_prec, c.col_scale, c.fixed_offset,
                          int(c.var_col_num), c.row_col_num})
                PutU32(decoding, static_cast<uint32_t>(v));
        }
        std::string layout;
        PutText(layout, decoding);
        PutU32(layout, static_cast<uint32_t>(structure.size()));
        for (uint64_t pg : structure) PutU32(layout, static_cast<uint32_t>(pg));
        PutU32(layout, static_cast<uint32_t>(data.size()));
        for (uint32_t pg : data) PutU32(layout, pg);
        out_.Frame('L', layout);
        view_.read.clear();
    }
}

bool TableStream::Wanted(ValueSource& source) {
    if (findAll_) return true;
    MdbHandle* mdb = reader_.Handle();
    for (unsigned f = 0; f < table_->num_cols; ++f) {
        const unsigned colnum = static_cast<unsigned>(fields_[f].colnum);
        if (!isText_[colnum] || fields_[f].is_null) continue;
        const MdbColumn& col = *Column(*table_, colnum);
        // A value that does not lie within its page, or a memo too short
        // for its header, goes to Convert, which says the file is damaged.
        const bool within = fields_[f].start >= 0 && fields_[f].siz >= 0 &&
                            fields_[f].start + fields_[f].siz <= mdb->fmt->pg_size &&
                            (col.col_type == MDB_TEXT || fields_[f].siz >= MDB_MEMO_OVERHEAD);
        std::string stored;
        if (within && col.col_type == MDB_MEMO) {
            LongValue value(source.file, *mdb->fmt, mdb->pg_buf, fields_[f].start, fields_[f].siz);
            if (value.Length() > kPieceBytes || value.Length() > source.budget) {
                std::optional<bool> found = IS_JET3(mdb) ? std::nullopt : FoundInUnits(value);
                if (!found) {
                    LongValue again(source.file, *mdb->fmt, mdb->pg_buf, fields_[f].start, fields_[f].siz);
                    found = FoundInParts(again);
                }
                if (*found) return true;
                continue;
            }
            stored = value.Rest();
            source.budget -= stored.size();
        } else if (within) {
            stored.assign(reinterpret_cast<const char*>(mdb->pg_buf + fields_[f].start), static_cast<size_t>(fields_[f].siz));
        }
        // Jet 4 keeps text as UTF-16 code units, which are searched as they
        // are; compressed text (it begins FF FE), Jet 3's code pages and text
        // with surrogates are converted first.
        if (within && !IS_JET3(mdb)) {
            if (!CompressedText(stored)) {
                if (const auto found = find_.InUtf16(stored)) {
                    if (*found) return true;
                    continue;
                }
            }
        }
        const Value v = within ? Value{Kind::Text, 0, 0, JetText(mdb, stored.data(), stored.size()), {}}
                               : Convert(source, col, fields_[f]);
        if (v.kind == Kind::Text && find_.In(v.text)) return true;
    }
    return false;
}

// Every kProgressBytes read say so, as the pieces of a value sent do, so
// that the window gives the request its time afresh.
void TableStream::SayRead(uint32_t& read) {
    if (read < kProgressBytes) return;
    std::string progress;
    PutU32(progress, read);
    out_.Frame('P', progress);
    out_.Flush();
    read = 0;
}

bool TableStream::FoundInParts(LongValue& value) {
    // Each piece of text is searched with the end of the text before it, as
    // many characters as the text to find has less one, so that a match
    // across two pieces is found too; the value is read no further than
    // its first match.
    JetTextParts convert(reader_.Handle());
    std::string stored, text;
    uint32_t read = 0;
    bool more = true;
    while (more) {
        std::string_view part;
        more = value.Next(part);
        stored.append(part);
        if (more && stored.size() < kPieceBytes) continue;
        read += static_cast<uint32_t>(stored.size());
        SayRead(read);
        convert.Add(stored, !more, text);
        stored.clear();
        if (find_.In(text)) return true;
        size_t keep = text.size();
        for (size_t chars = 0; keep > 0 && chars + 1 < findChars_;)
            if ((static_cast<unsigned char>(text[--keep]) & 0xC0) != 0x80) ++chars;
        text.erase(0, keep);
    }
    return false;
}

std::optional<bool> TableStream::FoundInUnits(LongValue& value) {
    // Jet 4 text that is not compressed, searched piece by piece as the
    // code units it is stored as, as Wanted searches a short value: each
    // piece with as many units of the one before as the text to find has
    // characters less one (a unit is a character where InUtf16 answers);
    // an odd byte at the end is dropped, as in its text. Compressed text,
    // or a piece InUtf16 does not take (a surrogate), is left to
    // FoundInParts, from the start: nullopt.
    std::string units, stored;
    uint32_t read = 0;
    bool more = true, begun = false;
    while (more) {
        std::string_view part;
        more = value.Next(part);
        stored.append(part);
        if (more && stored.size() < kPieceBytes) continue;
        if (!begun && CompressedText(stored)) return std::nullopt;
        begun = true;
        read += static_cast<uint32_t>(stored.size());
        SayRead(read);
        units += stored;
        stored.clear();
        const size_t whole = units.size() - units.size() % 2;
        const std::optional<bool> found = find_.InUtf16(std::string_view(units).substr(0, whole));
        if (!found) return std::nullopt;
        if (*found) return true;
        const size_t keep = std::min(whole, 2 * (findChars_ > 0 ? findChars_ - 1 : 0));
        units.erase(0, whole - keep);
    }
    return false;
}

uint64_t TableStream::Send(std::vector<Value>& values, size_t budget, uint32_t rowBytes, uint64_t page) {
    MdbTableDef& table = *table_;
    ValueSource source{reader_.Handle(), reader_.File(), budget, true};
    try {
        reader_.CrackRow(table, fields_);
        if (!Wanted(source)) return 0;
        // A matching row is read again whole: its memos' share of the
        // budget starts afresh.
        source.budget = budget;
        source.pieces = &out_;
        for (Value& v : values) v = Value{};
        for (unsigned f = 0; f < table.num_cols; ++f) {
            const unsigned colnum = static_cast<unsigned>(fields_[f].colnum);
            source.slot = colnum;
            values[colnum] = Convert(source, *Column(table, colnum), fields_[f]);
        }
    } catch (Failure& f) {
        if (f.number == vb::kUnrecognizedFormat)
            f.description =
                "row " + std::to_string(table.cur_row - 1) + " on page " + std::to_string(page) + ": " + f.description;
        throw;
    }
    std::string row;
    for (const Value& v : values) PutValue(row, v);
    if (row.size() > rowBytes) throw Failure{kSystemResourceExceeded, "System resource exceeded."};
    out_.Frame('R', row);
    return row.size() + source.piecesSent;
}

void TableStream::Batch(uint32_t rows, uint32_t bytes, uint32_t rowBytes) {
    MdbTableDef& table = *table_;
    std::vector<Value> values(table.num_cols);
    uint32_t sent = 0, examined = 0;
    uint64_t size = 0;
    // What a row holds whole stays well within its frame's room (UTF-8 may
    // take three bytes for one stored); a longer value goes in pieces.
    const size_t budget = std::min<size_t>(valueBytes_, rowBytes / 4);
    // A search that matches little still ends its batch after so many rows,
    // so that each batch's limits bound the work of a batch, not of the table.
    while (sent < rows && size < bytes && examined < kMostExamined) {
        ++examined;
        if (!mdb_fetch_row(&table)) {
            ended_ = true;
            break;
        }
        if (const uint64_t one = Send(values, budget, rowBytes, table.cur_phys_pg)) {
            size += one;
            ++sent;
        }
    }
    reader_.NoiseOf().Check();
    std::string end;
    PutU32(end, sent);
    out_.Frame(ended_ ? 'Z' : 'B', end);
}

void TableStream::Pages(const std::vector<PageTask>& tasks, uint32_t bytes, uint32_t rowBytes) {
    MdbTableDef& table = *table_;
    Noise& noise = reader_.NoiseOf();
    std::vector<Value> values(table.num_cols);
    const size_t budget = std::min<size_t>(valueBytes_, rowBytes / 4);
    uint32_t done = 0, examined = 0;
    uint64_t size = 0;
    while (done < tasks.size() && size < bytes && examined < kMostExamined) {
        const PageTask& task = tasks[done++];
        view_.moved = task.moved;
        view_.moved[task.versionPage] = task.filePage;
        view_.read.clear();
        view_.rows.clear();
        // libmdb reads the rows of this page alone: a usage map that names
        // it and nothing else (type 0: the first page, then one bit).
        auto* map = static_cast<unsigned char*>(g_malloc(6));
        map[0] = 0;
        for (int i = 0; i < 4; ++i) map[1 + i] = static_cast<unsigned char>(task.filePage >> (8 * i));
        map[5] = 1;
        g_free(table.usage_map);
        table.usage_map = map;
        table.map_sz = 6;
        mdb_rewind_table(&table);
        noise.Begin();
        uint32_t sent = 0;
        int32_t number = 0;
        std::string why;
        try {
            while (mdb_fetch_row(&table)) {
                ++examined;
                if (const uint64_t one = Send(values, budget, rowBytes, task.versionPage)) {
                    size += one;
                    ++sent;
                }
            }
            noise.Check();
        } catch (const Failure& f) {
            // An error that libmdb printed about is the damage, not the error.
            const bool printed = f.number != vb::kUnrecognizedFormat && noise.Grew();
            number = printed ? vb::kUnrecognizedFormat : f.number;
            why = printed ? "libmdb reported an error" : f.description;
        } catch (const vb::Error& e) {
            number = static_cast<int32_t>(e.Number());
            why = e.Description();
        }
        std::string end;
        PutU32(end, sent);
        PutU32(end, static_cast<uint32_t>(number));
        PutText(end, why);
        std::sort(view_.read.begin(), view_.read.end());
        view_.read.erase(std::unique(view_.read.begin(), view_.read.end()), view_.read.end());
        std::erase(view_.read, uint64_t{task.versionPage});
        PutU32(end, static_cast<uint32_t>(view_.read.size()));
        for (uint64_t pg : view_.read) PutU32(end, static_cast<uint32_t>(pg));
        std::sort(view_.rows.begin(), view_.rows.end());
        view_.rows.erase(std::unique(view_.rows.begin(), view_.rows.end()), view_.rows.end());
        PutU32(end, static_cast<uint32_t>(view_.rows.size()));
        for (uint32_t pgRow : view_.rows) PutU32(end, pgRow);
        out_.Frame('D', end);
        // Whatever libmdb did with a damaged page stays with this reader,
        // which the window replaces before the next.
        if (number == vb::kUnrecognizedFormat) break;
    }
    view_.moved.clear();
    std::string end;
    PutU32(end, done);
    out_.Frame(done == tasks.size() ? 'Z' : 'B', end);
}

}  // namespace jet::reader
