// What the search of versions page by page (version_search.h) needs beside
// the search itself: pages written into the file the reader reads, what a
// long value takes from a row of a page, and a version searched whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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
        std::string read;  // RowRead, until it is given its number among those met
        int content = -1;
    };
    std::vector<records::Record> rows;
    std::optional<vb::Error> error;
    std::vector<Read> read;
    std::vector<ValueRow> valueRows;
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

// What reading row `row` of a long-value page takes from the page: its
// type, its count of rows, where the row lies, and the row's bytes. Two
// pages that agree on it give a long value the same part (or the same
// failure). `rowCountOffset`: where a page keeps its count of rows.
std::string RowRead(std::string_view page, unsigned row, size_t rowCountOffset);

// Version v rebuilt alone and searched whole through a reader at
// readerPath, as a file the page search cannot take is: its records in
// found, or why it could not be rebuilt or read.
void SearchWhole(history::Store& store, VersionFound& found, const std::string& edition, const std::string& text,
                 const std::string& readerPath);

}  // namespace app
