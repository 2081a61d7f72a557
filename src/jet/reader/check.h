// The whole-file check of a Jet 3 or Jet 4 database ('K' and 'N' requests,
// reader_protocol.h): what the page checks (page_checks.h) look at before
// one table is read, done for every page, row and index of the file, with
// findings that go on rather than stopping at the first.
//
// In the order of its parts:
//   the file      its header and a length of whole pages (RawFile), the
//                 system catalogue as libmdb reads it (Reader);
//   definitions   every table of the catalogue, the system tables too: its
//                 definition (check_layout.h), libmdb's reading of it, and
//                 the pages its usage maps name, claimed for it. A page that
//                 two tables, or two maps, claim is damage. Page 1 holds the
//                 file's map of free pages, which may hold anything;
//   pages         every page, from the first to the last, in batches: its
//                 type is known; a data page's row-offset table lies inside
//                 the page, its rows do not overlap, its free-space field
//                 fits them; a data page is one of the table it names and
//                 on that table's usage map, and the other way round. Each
//                 row of a table is decoded in every column (libmdb's
//                 mdb_crack_row, then values.h), each long value followed to
//                 its end (check_rows.cpp), each overflow pointer noted;
//   rows          every overflow pointer leads to a moved row of its table,
//                 and each moved row is pointed at once; the row count a
//                 definition keeps against the rows found (a warning: Jet
//                 leaves it stale after an unclean close);
//   indexes       every index walked level by level (check_indexes.cpp): its
//                 pages chain consistently, its entries rise, and an index
//                 that covers every row has one entry for each;
//   the rest      index pages no index reached, definition and bitmap pages
//                 nothing claims.
// Severity: damaged where a reader would fail or return wrong or missing
// data; a warning where Jet tolerates what it finds; a note for what the
// check cannot judge (the order of text keys, kept by the engine's
// collation).
//
// Told which pages are new (a bitmap: bit n%8 of byte n/8 for page n; a
// page past its end is not new), the check decodes the values only of rows on
// a new page, of every row of a table whose definition is on a new page,
// and of long values with a part on one; the rest is checked as above, in
// every page: a page that held a good file's bytes decodes as it did then,
// while what ties pages together (claims, usage maps, row and index
// tallies, overflow pointers, long-value chains, index walks) is checked
// anew. A new page 0 (the header, which says how text is coded) makes
// every page new.
//
// Memory stays bounded whatever the file's size: a few bytes for each page
// (what claims it, its kind), the tallies of each table and index, and the
// overflow pointers (rare); pages are read as they are needed, never kept.
// Each batch does a bounded amount of work, so that the reader's limits per
// request (reader_client.h) hold for any file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <optional>

#include "jet/reader/output.h"

namespace jet::reader {

class CheckState;

class FileCheck {
public:
    // Opens the file at `path` and checks its header and catalogue. A file
    // that is no Jet file, or whose catalogue cannot be read, gives its one
    // finding and ends with the first batch; a file that cannot be opened
    // at all (3024, 3051) throws Failure.
    // newPages: as above; none for the whole check.
    FileCheck(const std::string& path, Output& out, Noise& noise, size_t valueBytes,
              std::optional<std::string> newPages = std::nullopt);
    ~FileCheck();

    // Sends the next batch: findings ('F'), then 'W' with the work done and
    // the work in all, or 'Z' after the last. At most `bytes` of findings;
    // a batch also ends after a bounded amount of work.
    void Batch(uint32_t bytes);
    bool Ended() const;

private:
    std::unique_ptr<CheckState> state_;
};

}  // namespace jet::reader
