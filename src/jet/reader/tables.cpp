#include "jet/reader/tables.h"

#include <glib.h>

#include "jet/reader/failure.h"
#include "jet/reader/values.h"
#include "vb/casefold.h"

namespace jet::reader {
namespace {

MdbColumn* Column(const MdbTableDef& t, unsigned i) {
    return static_cast<MdbColumn*>(g_ptr_array_index(t.columns, i));
}

int FindColumn(const MdbTableDef& t, const std::string& name) {
    for (unsigned i = 0; i < t.num_cols && i < t.columns->len; ++i)
        if (vb::EqualsIgnoringCase(Column(t, i)->name, name)) return static_cast<int>(i);
    return -1;
}

}  // namespace

Reader::Reader(const std::string& path, Output& out, Noise& noise, size_t valueBytes, RawFile::View* view)
    : file_(path), out_(out), noise_(noise), valueBytes_(valueBytes) {
    if (view) {
        if (view->pages > file_.Pages()) Damaged("it holds fewer pages than its version");
        file_.SetView(view);
        view->read.push_back(0);  // the header, which libmdb reads
    }
    mdb_.reset(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb_) Damaged("libmdb cannot open it");
    if (static_cast<uint32_t>(mdb_->fmt->pg_size) != file_.PageSize()) Damaged("page size disagrees");
    // The catalogue (MSysObjects, page 2) as libmdb will read it.
    CheckTableDefinition(file_, *mdb_->fmt, 2);
    MdbCatalogEntry msys {};
    msys.mdb = mdb_.get();
    snprintf(msys.object_name, sizeof msys.object_name, "%s", "MSysObjects");
    msys.object_type = MDB_TABLE;
    msys.table_pg = 2;
    TablePtr catalog(mdb_read_table(&msys));
    if (!catalog) Damaged("catalogue unreadable");
    CheckUsageMap(file_, *catalog);
    // The catalogue's rows, which libmdb reads on the pages its map names.
    if (view)
        for (gint32 pg = mdb_map_find_next(mdb_.get(), catalog->usage_map, static_cast<unsigned>(catalog->map_sz), 0);
             pg > 0; pg = mdb_map_find_next(mdb_.get(), catalog->usage_map, static_cast<unsigned>(catalog->map_sz),
                                            static_cast<guint32>(pg)))
            view->read.push_back(static_cast<uint64_t>(pg));
    catalog.reset();
    noise_.Check();
    if (!mdb_read_catalog(mdb_.get(), MDB_TABLE)) Damaged("catalogue unreadable");
    noise_.Check();
}

void Reader::Run(const jet::Query& q) {
    TablePtr table = OpenTable(q.table);

    if (q.count && !q.where) {
        // As Jet and mdb-count do: the count stored in the definition.
        SendColumns({q.countName});
        std::string row;
        PutValue(row, Value{Kind::Int, static_cast<int64_t>(table->num_rows), 0, {}, {}});
        out_.Frame('R', row);
        Finish(1);
        return;
    }

    if (!mdb_read_columns(table.get())) Damaged("columns unreadable");
    noise_.Check();
    std::vector<int> selected;  // indexes into table->columns
    std::vector<std::string> names;
    unsigned unknown = 0;
    if (!q.count && q.columns.empty()) {
        for (unsigned i = 0; i < table->num_cols; ++i) {
            selected.push_back(static_cast<int>(i));
            names.push_back(Column(*table, i)->name);
        }
    } else {
        for (const auto& c : q.columns) {
            int i = FindColumn(*table, c);
            if (i < 0) {
                ++unknown;
                continue;
            }
            selected.push_back(i);
            names.push_back(Column(*table, static_cast<unsigned>(i))->name);
        }
    }
    int whereCol = -1;
    if (q.where) {
        whereCol = FindColumn(*table, q.where->column);
        if (whereCol < 0) ++unknown;
    }
    // Jet takes a name it cannot find for a parameter with no value.
    if (unknown) throw Failure{kTooFewParameters, "Too few parameters. Expected " + std::to_string(unknown) + "."};

    if (q.count) names = {q.countName};
    SendColumns(names);

    std::vector<MdbField> fields(table->num_cols);
    std::vector<Value> values(table->num_cols);
    std::vector<bool> wanted(table->num_cols, false);
    for (int i : selected) wanted[static_cast<size_t>(i)] = true;
    uint32_t sent = 0;
    int64_t counted = 0;
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
        try {
            CrackRow(*table, fields);
            const MdbField* whereField = nullptr;
            for (unsigned f = 0; f < table->num_cols; ++f)
                if (fields[f].colnum == whereCol) whereField = &fields[f];
            ValueSource source{mdb_.get(), file_, valueBytes_};
            if (whereCol >= 0) {
                // The value compared is held whole: one longer than the
                // budget is 3035 here.
                if (!whereField) Damaged("row lacks a column");
                Value v = Convert(source, *Column(*table, static_cast<unsigned>(whereCol)), *whereField);
                if (!Matches(v, q.where->value)) continue;
            }
            if (q.count) {
                ++counted;
                continue;
            }
            source.budget = valueBytes_;
            source.pieces = &out_;
            for (unsigned f = 0; f < table->num_cols; ++f) {
                unsigned colnum = static_cast<unsigned>(fields[f].colnum);
                source.slot = colnum;
                if (wanted[colnum]) values[colnum] = Convert(source, *Column(*table, colnum), fields[f]);
            }
        } catch (Failure& f) {
            // The reason names the row and the data page libmdb has read it from.
            if (f.number == vb::kUnrecognizedFormat)
                f.description = "row " + std::to_string(table->cur_row - 1) + " on page " +
                                std::to_string(table->cur_phys_pg) + ": " + f.description;
            throw;
        }
        std::string row;
        for (int i : selected) PutValue(row, values[static_cast<size_t>(i)]);
        out_.Frame('R', row);
        ++sent;
    }
    if (q.count) {
        std::string row;
        PutValue(row, Value{Kind::Int, counted, 0, {}, {}});
        out_.Frame('R', row);
        sent = 1;
    }
    Finish(sent);
}

TablePtr Reader::OpenTable(const std::string& name) {
    MdbCatalogEntry* entry = FindTable(name);
    if (!entry)
        throw Failure{vb::kCannotFindTable, "The database engine cannot find the input table or query '" + name +
                                                "'. Make sure it exists and that its name is spelled correctly."};
    CheckTableDefinition(file_, *mdb_->fmt, entry->table_pg);
    TablePtr table(mdb_read_table(entry));
    if (!table) Damaged("table definition unreadable");
    CheckUsageMap(file_, *table);
    noise_.Check();
    return table;
}

void Reader::CrackRow(MdbTableDef& table, std::vector<MdbField>& fields) {
    // mdb_fetch_row has cracked the row on the current page; crack it again
    // to learn which fields are Null.
    int start = 0;
    size_t len = 0;
    if (table.cur_row == 0 || mdb_find_row(mdb_.get(), static_cast<int>(table.cur_row - 1), &start, &len) != 0)
        Damaged("row pointer outside its page");
    start &= 0x1fff;
    if (mdb_crack_row(&table, start, len, fields.data()) < 0) Damaged("row cannot be decoded");
    for (unsigned f = 0; f < table.num_cols; ++f) {
        const int colnum = fields[f].colnum;
        if (colnum < 0 || static_cast<unsigned>(colnum) >= table.num_cols) Damaged("row names a column the table lacks");
    }
}

void Reader::Finish(uint32_t rows) {
    noise_.Check();
    std::string z;
    PutU32(z, rows);
    out_.Frame('Z', z);
}

MdbCatalogEntry* Reader::FindTable(const std::string& name) {
    GPtrArray* cat = mdb_->catalog;
    for (unsigned i = 0; cat && i < cat->len; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(cat, i));
        if (e->object_type == MDB_TABLE && vb::EqualsIgnoringCase(e->object_name, name)) return e;
    }
    return nullptr;
}

void Reader::SendColumns(const std::vector<std::string>& names) {
    std::string p;
    PutU32(p, static_cast<uint32_t>(names.size()));
    for (const auto& n : names) PutText(p, n);
    out_.Frame('C', p);
}

}  // namespace jet::reader
