// The file as raw pages, read without libmdb, and the checks made on them
// before libmdb is trusted with a structure: libmdb itself returns partial
// results without error for a truncated file, and loops or reads out of
// bounds on some damaged ones. Every check fails the request with Damaged().
#pragma once

// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <mdbtools.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace jet::reader {

// A Jet file opened read-only: its header checked, its length a whole
// number of pages.
class RawFile {
public:
    explicit RawFile(const std::string& path);
    ~RawFile();
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    uint32_t PageSize() const { return pageSize_; }
    uint64_t Pages() const { return view_ ? view_->pages : pages_; }

    // A page search (stream.h) reads the pages of one version of a database
    // from a file that holds another version's pages in their places and,
    // after them, the pages in which other versions differ. While a view is
    // set, the file answers as that version: it has `pages` pages, page n
    // is read from where `moved` places it (from its own place when it is
    // not there), and each page asked for is noted in `read`.
    struct View {
        uint64_t pages = 0;
        std::unordered_map<uint64_t, uint64_t> moved;
        std::vector<uint64_t> read;
        std::vector<uint32_t> rows;  // the rows of long values read (page << 8 | row)
    };
    void SetView(View* view) { view_ = view; }
    void NoteRow(uint32_t pgRow) const {
        if (view_) view_->rows.push_back(pgRow);
    }

    // Page `pg`, whole; Damaged when it lies past the end or cannot be read.
    std::vector<unsigned char> Page(uint64_t pg) const;
    // `count` pages from `first` into `into` (count * PageSize() bytes);
    // Damaged as Page.
    void ReadPages(uint64_t first, size_t count, unsigned char* into) const;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint32_t pageSize_ = 0;
    uint64_t pages_ = 0;
    View* view_ = nullptr;
};

// Little-endian fields of a page; Damaged past its end.
uint16_t U16(const std::vector<unsigned char>& b, size_t off);
uint32_t U32(const std::vector<unsigned char>& b, size_t off);

// The row `pgRow` points at must exist on its page and lie within it;
// `what` names the pointer in the reason.
void CheckRowPointer(const RawFile& f, const MdbFormatConstants& fmt, uint32_t pgRow, const std::string& what);

// A table definition, before libmdb reads it: its chain of pages exists and
// ends, its column entries and names lie within those pages, and its usage
// maps point at rows that exist. Counts that a table with deleted columns
// keeps high (page_checks.cpp) are valid.
void CheckTableDefinition(const RawFile& f, const MdbFormatConstants& fmt, uint64_t tdefPg);

// The pages a table's usage map names must all lie within the file. Returns
// how many pages it names; a table cannot hold more than 256 rows per page
// (a row pointer has one byte for the row).
uint64_t CheckUsageMap(const RawFile& f, const MdbTableDef& table);

}  // namespace jet::reader
