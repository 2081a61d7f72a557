// Reading a table for one query: the file opened with libmdb after its
// header and system catalogue have passed the page checks (page_checks.h),
// the table's definition and usage map checked in turn, then its stored
// count or its rows sent as frames (reader_protocol.h).
#pragma once

// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <mdbtools.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/query.h"
#include "jet/reader/output.h"
#include "jet/reader/page_checks.h"

namespace jet::reader {

struct HandleCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableDefDeleter {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using TablePtr = std::unique_ptr<MdbTableDef, TableDefDeleter>;

class Reader {
public:
    // Opens and checks the file at `path` and its catalogue; Damaged when it
    // is no Jet file libmdb can be trusted with. A row holds up to
    // `valueBytes` of its long values whole, as stored; longer ones go in
    // pieces (values.h). With a view, the file is read through it
    // (RawFile::View), which notes the pages the header and catalogue lie on.
    Reader(const std::string& path, Output& out, Noise& noise, size_t valueBytes, RawFile::View* view = nullptr);

    // Answers `q`: column names, rows, then the end frame.
    void Run(const jet::Query& q);

    // The end frame of an answer of `rows` rows.
    void Finish(uint32_t rows);

    // The user table `name` with its columns, its definition and usage map
    // checked first: 3078 when there is none, Damaged when it cannot be read.
    TablePtr OpenTable(const std::string& name);

    // Cracks the row mdb_fetch_row has just read from `table` into `fields`
    // (one per column; libmdb's own bound text cannot tell Null from empty
    // text): Damaged when the row does not lie within its page or names a
    // column the table lacks.
    void CrackRow(MdbTableDef& table, std::vector<MdbField>& fields);

    MdbHandle* Handle() const { return mdb_.get(); }
    const RawFile& File() const { return file_; }
    RawFile& File() { return file_; }
    Noise& NoiseOf() const { return noise_; }

private:
    MdbCatalogEntry* FindTable(const std::string& name);
    void SendColumns(const std::vector<std::string>& names);

    RawFile file_;
    Output& out_;
    Noise& noise_;
    size_t valueBytes_;
    std::unique_ptr<MdbHandle, HandleCloser> mdb_;
};

}  // namespace jet::reader
