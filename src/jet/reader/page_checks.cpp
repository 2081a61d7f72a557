#include "jet/reader/page_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "jet/reader/failure.h"

namespace jet::reader {

RawFile::RawFile(const std::string& path) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw Failure{vb::kCouldNotFindFile, "no such file"};
        if (errno == EACCES || errno == EPERM) throw Failure{vb::kCannotOpenExclusive, "permission denied"};
        Damaged(std::string("cannot open: ") + strerror(errno));
    }
    struct stat st {};
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) Damaged("not a regular file");
    size_ = static_cast<uint64_t>(st.st_size);
    unsigned char head[0x18] = {};
    if (size_ < sizeof head || pread(fd_, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head))
        Damaged("shorter than a header");
    static const unsigned char magic[4] = {0x00, 0x01, 0x00, 0x00};
    if (memcmp(head, magic, 4) != 0) Damaged("no Jet signature");
    if (memcmp(head + 4, "Standard Jet DB", 16) != 0 && memcmp(head + 4, "Standard ACE DB", 16) != 0)
        Damaged("no Jet signature");
    unsigned version = head[0x14];
    if (version > MDB_VER_ACCDB_2019) Damaged("unknown Jet version " + std::to_string(version));
    pageSize_ = version == MDB_VER_JET3 ? 2048 : 4096;
    // Jet writes whole pages.
    if (size_ % pageSize_ != 0)
        Damaged("its length, " + std::to_string(size_) + " bytes, is not a whole number of " +
                std::to_string(pageSize_) + "-byte pages");
    pages_ = size_ / pageSize_;
    // The system catalogue's definition is on page 2.
    if (pages_ < 3) Damaged("it has " + std::to_string(pages_) + " of the 3 pages that hold its system catalogue");
}

RawFile::~RawFile() {
    if (fd_ >= 0) close(fd_);
}

std::vector<unsigned char> RawFile::Page(uint64_t pg) const {
    if (pg >= Pages())
        Damaged("page " + std::to_string(pg) + " lies past the end of the file (" + std::to_string(Pages()) + " pages)");
    uint64_t at = pg;
    if (view_) {
        view_->read.push_back(pg);
        if (const auto moved = view_->moved.find(pg); moved != view_->moved.end()) at = moved->second;
    }
    std::vector<unsigned char> buf(pageSize_);
    if (pread(fd_, buf.data(), pageSize_, static_cast<off_t>(at * pageSize_)) != static_cast<ssize_t>(pageSize_))
        Damaged("page " + std::to_string(pg) + " cannot be read");
    return buf;
}

void RawFile::ReadPages(uint64_t first, size_t count, unsigned char* into) const {
    if (first + count > pages_)
        Damaged("page " + std::to_string(first + count - 1) + " lies past the end of the file (" +
                std::to_string(pages_) + " pages)");
    const size_t bytes = count * pageSize_;
    size_t done = 0;
    while (done < bytes) {
        const ssize_t got = pread(fd_, into + done, bytes - done, static_cast<off_t>(first * pageSize_ + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) Damaged("page " + std::to_string(first + done / pageSize_) + " cannot be read");
        done += static_cast<size_t>(got);
    }
}

uint16_t U16(const std::vector<unsigned char>& b, size_t off) {
    if (off + 2 > b.size()) Damaged("field past the page end");
    return static_cast<uint16_t>(b[off] | (b[off + 1] << 8));
}
uint32_t U32(const std::vector<unsigned char>& b, size_t off) {
    if (off + 4 > b.size()) Damaged("field past the page end");
    return static_cast<uint32_t>(b[off]) | (static_cast<uint32_t>(b[off + 1]) << 8) |
           (static_cast<uint32_t>(b[off + 2]) << 16) | (static_cast<uint32_t>(b[off + 3]) << 24);
}

void CheckRowPointer(const RawFile& f, const MdbFormatConstants& fmt, uint32_t pgRow, const std::string& what) {
    const uint32_t pg = pgRow >> 8, row = pgRow & 0xff;
    const std::string at = what + " (row " + std::to_string(row) + " of page " + std::to_string(pg) + ")";
    if (pg == 0) Damaged(at + " points at page 0");
    auto page = f.Page(pg);
    unsigned rows = U16(page, fmt.row_count_offset);
    if (row >= rows) Damaged(at + ": the page holds " + std::to_string(rows) + " rows");
    unsigned start = U16(page, fmt.row_count_offset + 2 + row * 2) & 0x1fff;
    unsigned end = row == 0 ? f.PageSize() : (U16(page, fmt.row_count_offset + row * 2) & 0x1fff);
    if (start >= end || end > f.PageSize()) Damaged(at + " lies outside its page");
}

namespace {

// A definition as libmdb reads it: one stream of bytes that fills its first
// page and goes on at offset 8 (after the page header) of each page that
// next_pg names. Pages are read when the stream reaches them.
class DefinitionStream {
public:
    // `first` is the definition's first page, already read.
    DefinitionStream(const RawFile& f, std::vector<uint32_t> pages, std::vector<unsigned char> first, std::string what)
        : f_(f), pages_(std::move(pages)), what_(std::move(what)), current_(0), page_(std::move(first)) {}

    uint64_t Capacity() const { return f_.PageSize() + uint64_t(pages_.size() - 1) * (f_.PageSize() - 8); }

    unsigned Byte(uint64_t pos) {
        if (pos >= Capacity()) Damaged(what_ + " ends before its column names do");
        const uint64_t size = f_.PageSize();
        const uint64_t k = pos < size ? 0 : 1 + (pos - size) / (size - 8);
        const uint64_t off = pos < size ? pos : 8 + (pos - size) % (size - 8);
        if (k != current_) {
            page_ = f_.Page(pages_[k]);
            current_ = k;
        }
        return page_[off];
    }

private:
    const RawFile& f_;
    std::vector<uint32_t> pages_;
    std::string what_;
    uint64_t current_;
    std::vector<unsigned char> page_;
};

}  // namespace

// Each check below is of something the Jet page format makes impossible and
// that libmdb would otherwise follow into an endless loop, past the end of
// the file or onto the bytes of unrelated pages; the reason names the page.
//
// Not checked, as a valid definition may hold any value there: the maximum
// column count and the count of variable columns. A table keeps the slots of
// its deleted and changed columns in both (rows are never rewritten when a
// column goes), so both may exceed the live columns: two live columns in six
// slots, all six variable, is an ordinary table after a change of schema.
// libmdb uses neither count beyond whether there are variable columns; it
// decodes a row by the row's own counts, which mdb_crack_row checks against
// the row. Nor the index counts themselves: the real indexes' entries come
// before the column entries, so their count is part of the length check.
void CheckTableDefinition(const RawFile& f, const MdbFormatConstants& fmt, uint64_t tdefPg) {
    const std::string what = "table definition on page " + std::to_string(tdefPg);
    // The catalogue names the definition by its first page; page 0 is the
    // database's own header.
    if (tdefPg == 0) Damaged(what + ": page 0 is the database header");
    auto first = f.Page(tdefPg);
    // Every page of a definition is a definition page (type 0x02), and its
    // chain of next_pg ends (0) without coming back to a page: libmdb follows
    // next_pg without looking, endlessly round a loop.
    if (first[0] != MDB_PAGE_TABLE) Damaged(what + " is a page of type " + std::to_string(first[0]));
    std::vector<uint32_t> chain{static_cast<uint32_t>(tdefPg)};
    std::unordered_set<uint32_t> seen{chain.front()};
    for (uint32_t next = U32(first, 4); next != 0;) {
        if (!seen.insert(next).second) Damaged(what + ": its pages form a loop through page " + std::to_string(next));
        auto page = f.Page(next);
        if (page[0] != MDB_PAGE_TABLE)
            Damaged(what + " continues on page " + std::to_string(next) + " of type " + std::to_string(page[0]));
        chain.push_back(next);
        next = U32(page, 4);
    }
    // A Jet table holds at most 255 columns (libmdb keeps a column's number
    // in one byte, as a Jet 3 row keeps its count of columns).
    const unsigned numCols = U16(first, fmt.tab_num_cols_offset);
    if (numCols > 255) Damaged(what + ": " + std::to_string(numCols) + " columns");
    // The real indexes' entries, the column entries and the column names
    // (each after its length: one byte in Jet 3, two in Jet 4) follow one
    // another in the stream; libmdb reads them all, and past the last page
    // would read on wherever that page's next_pg points (page 0).
    const uint32_t numRealIdx = U32(first, fmt.tab_num_ridxs_offset);
    const uint32_t usageMap = U32(first, fmt.tab_usage_map_offset), freeMap = U32(first, fmt.tab_free_map_offset);
    const size_t chainPages = chain.size();
    DefinitionStream stream(f, std::move(chain), std::move(first), what);
    uint64_t pos = fmt.tab_cols_start_offset + uint64_t(numRealIdx) * fmt.tab_ridx_entry_size +
                   uint64_t(numCols) * fmt.tab_col_entry_size;
    if (pos > stream.Capacity())
        Damaged(what + ": " + std::to_string(numRealIdx) + " indexes and " + std::to_string(numCols) +
                " columns do not fit its " + std::to_string(chainPages) + (chainPages == 1 ? " page" : " pages"));
    const bool jet3 = f.PageSize() == 2048;
    for (unsigned i = 0; i < numCols; ++i) {
        uint64_t length = stream.Byte(pos);
        if (!jet3) length |= stream.Byte(pos + 1) << 8;
        pos += (jet3 ? 1 : 2) + length;
        if (pos > stream.Capacity()) Damaged(what + ": the name of column " + std::to_string(i) + " runs past its pages");
    }
    // libmdb copies the table's usage map and free-space map from the rows
    // these name; both must exist.
    CheckRowPointer(f, fmt, usageMap, what + ": usage map");
    CheckRowPointer(f, fmt, freeMap, what + ": free-space map");
}

uint64_t CheckUsageMap(const RawFile& f, const MdbTableDef& table) {
    const std::string what = "usage map of the table defined on page " + std::to_string(table.entry->table_pg);
    const unsigned char* map = table.usage_map;
    size_t size = table.map_sz;
    if (!map || size < 1) Damaged(what + " is empty");
    uint64_t named = 0;
    auto bits = [&](const unsigned char* bytes, size_t n, uint64_t firstPage) {
        for (size_t i = 0; i < n; ++i) {
            if (!bytes[i]) continue;
            for (int b = 0; b < 8; ++b) {
                if (!(bytes[i] & (1u << b))) continue;
                uint64_t pg = firstPage + i * 8 + static_cast<uint64_t>(b);
                if (pg >= f.Pages())
                    Damaged(what + " names page " + std::to_string(pg) + ", past the file's " +
                            std::to_string(f.Pages()) + " pages");
                ++named;
            }
        }
    };
    if (map[0] == 0) {
        if (size < 5) Damaged(what + " is too short for its first page");
        uint32_t start = static_cast<uint32_t>(map[1]) | (map[2] << 8) | (map[3] << 16) | (static_cast<uint32_t>(map[4]) << 24);
        bits(map + 5, size - 5, start);
    } else if (map[0] == 1) {
        uint64_t perPage = uint64_t(f.PageSize() - 4) * 8;
        for (size_t k = 0; 1 + 4 * k + 4 <= size; ++k) {
            const unsigned char* p = map + 1 + 4 * k;
            uint32_t mapPg = static_cast<uint32_t>(p[0]) | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
            if (mapPg == 0) continue;
            auto page = f.Page(mapPg);
            if (page[0] != MDB_PAGE_MAP)
                Damaged(what + " continues on page " + std::to_string(mapPg) + " of type " + std::to_string(page[0]));
            bits(page.data() + 4, page.size() - 4, k * perPage);
        }
    } else {
        Damaged(what + " is of unknown type " + std::to_string(map[0]));
    }
    // Every row of a table lies on a page its usage map names, and a page
    // holds at most 256 rows (a row's address keeps its number in one byte).
    if (table.num_rows > named * 256)
        Damaged(what + ": " + std::to_string(table.num_rows) + " rows cannot fit its " + std::to_string(named) +
                " pages");
    return named;
}

}  // namespace jet::reader
