// What the search of versions page by page (version_search.h) needs beside
// the search itself: pages written into the file the reader reads, what a
// long value takes from a row of a page, and a version searched whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/version_search.h"
#include "history/store.h"
#include "jet/reader_client.h"

namespace app {

// One data page searched as one version holds it: its rows, its failure,
// the other pages its rows read, each with the stored page read there (-1:
// past the version's end, the same for every version of the group), and
// the rows of long values among them, each with what was read of it.
struct PageResult {
    struct Read {
        uint32_t page;
        int64_t id;
        bool byRows;  // only rows of long values were read of it: those say whether it matters
    };
    struct ValueRow {
        uint32_t pgRow;
        int64_t id;
        std::string read;  // RowRead of the stored page there
    };
    std::vector<records::Record> rows;
    std::optional<vb::Error> error;
    std::vector<Read> read;
    std::vector<ValueRow> valueRows;
    std::vector<uint32_t> places;  // every page read, once: those of read and of valueRows
};

// A data page to search, and the stored page at each place it moves.
struct Ask {
    jet::PageTask task;
    int64_t id = 0;  // the stored page searched
    std::vector<int64_t> movedIds;
};

struct ResultKey {
    int decoding;  // which of the decodings met (the table's columns and the header)
    uint32_t page;
    int64_t id;
    bool operator==(const ResultKey&) const = default;
};
struct ResultKeyHash {
    size_t operator()(const ResultKey& k) const {
        return std::hash<int64_t>()(k.id) ^ (size_t(k.page) << 20) ^ (size_t(k.decoding) << 50);
    }
};

// Writes pages to a file, those that follow one another in one call.
class PageWriter {
public:
    PageWriter(int fd, size_t pageSize) : fd_(fd), pageSize_(pageSize) {}
    void Put(uint64_t page, std::string_view bytes);
    // Throws 61 when the disk is full, else 57.
    void Flush();

private:
    int fd_;
    size_t pageSize_;
    uint64_t at_ = 0;
    std::string pending_;
};

// A file's bytes mapped read-only, as long as the file was when mapped:
// its pages read without a call for each.
class FileView {
public:
    // Throws 57 when the file cannot be mapped.
    FileView(int fd, size_t pageSize);
    ~FileView();
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;
    // Page `at`; empty past the end.
    std::string_view Page(uint64_t at) const;

private:
    const char* bytes_ = nullptr;
    size_t size_ = 0, pageSize_;
};

// What reading row `row` of a long-value page takes from the page: its
// type, its count of rows, where the row lies, and the row's bytes. Two
// pages that agree on it give a long value the same part (or the same
// failure). `rowCountOffset`: where a page keeps its count of rows.
std::string RowRead(std::string_view page, unsigned row, size_t rowCountOffset);
// Whether RowRead(page, row, rowCountOffset) is `read`, without copying the row.
bool ReadsAs(std::string_view page, unsigned row, size_t rowCountOffset, std::string_view read);

// Where a data page of `pageSize` keeps its count of rows: Jet 3's 2 KB
// pages at 8, Jet 4's at 12.
inline size_t RowCountOffset(size_t pageSize) { return pageSize == 2048 ? 8 : 12; }

// What a reader reads of a page: the whole page but, on a data page, the
// free space between its table of row offsets and its lowest row, which
// no row reaches (a row ends where the row before it starts, the first at
// the page's end). Two pages that agree on it decode alike. A data page
// whose table does not fit the page is read whole.
std::string PageRead(std::string_view page, size_t rowCountOffset);

// The versions (indexes into ids, each version's stored pages) that hold as
// many pages as `first` and whose pages at `structure` (where a table's
// layout was read from) read as first's do: the same stored page, or one
// that differs only where no reader reads (free space). `reads` keeps the
// PageRead of each stored page compared, for the next call.
std::vector<size_t> SameLayout(history::Store& store, const std::vector<std::vector<int64_t>>& ids,
                               const std::vector<size_t>& versions, size_t first,
                               const std::vector<uint32_t>& structure, size_t pageSize,
                               std::unordered_map<int64_t, std::string>& reads);

// Fills result.places from its reads.
void KeepPlaces(PageResult& result);

// Gives a version (its stored pages `ids`, its searches so far `got`, one
// for each of the table's `data` pages) the searches of the version before
// it (`before`, `beforeIds`) where they apply: a version holds most pages of
// the one before, and most pages their rows read. Not where it holds the
// data page otherwise, nor where a search read a place it holds otherwise
// and does not fit it (`fits`, which says whether a search applies).
void ShareSearches(const std::vector<const PageResult*>& before, const std::vector<int64_t>& beforeIds,
                   std::vector<const PageResult*>& got, const std::vector<int64_t>& ids,
                   const std::vector<uint32_t>& data, const std::function<bool(const PageResult&)>& fits);

// Version v rebuilt alone and searched whole through a reader at
// readerPath, as a file the page search cannot take is: its records in
// found, or why it could not be rebuilt or read.
void SearchWhole(history::Store& store, VersionFound& found, const std::string& edition, const std::string& text,
                 const std::string& readerPath);

}  // namespace app
