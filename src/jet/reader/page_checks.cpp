#include "jet/reader/page_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "jet/reader/failure.h"

namespace platform::reader {

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
    if (version > MDB_VER_ACCDB_2019) Damaged("unknown Jet version");
    pageSize_ = version == MDB_VER_JET3 ? 2048 : 4096;
    // Jet writes whole pages; the catalogue's definition is on page 2.
    if (size_ % pageSize_ != 0) Damaged("length is not a whole number of pages");
    pages_ = size_ / pageSize_;
    if (pages_ < 3) Damaged("too few pages");
}

RawFile::~RawFile() {
    if (fd_ >= 0) close(fd_);
}

std::vector<unsigned char> RawFile::Page(uint64_t pg) const {
    if (pg >= pages_) Damaged("page " + std::to_string(pg) + " lies past the end of the file");
    std::vector<unsigned char> buf(pageSize_);
    if (pread(fd_, buf.data(), pageSize_, static_cast<off_t>(pg * pageSize_)) != static_cast<ssize_t>(pageSize_))
        Damaged("page " + std::to_string(pg) + " cannot be read");
    return buf;
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

void CheckRowPointer(const RawFile& f, const MdbFormatConstants& fmt, uint32_t pgRow, const char* what) {
    uint32_t pg = pgRow >> 8, row = pgRow & 0xff;
    if (pg == 0) Damaged(std::string(what) + " points at page 0");
    auto page = f.Page(pg);
    unsigned rows = U16(page, fmt.row_count_offset);
    if (row >= rows) Damaged(std::string(what) + " names a row its page does not hold");
    unsigned start = U16(page, fmt.row_count_offset + 2 + row * 2) & 0x1fff;
    unsigned end = row == 0 ? f.PageSize() : (U16(page, fmt.row_count_offset + row * 2) & 0x1fff);
    if (start >= end || end > f.PageSize()) Damaged(std::string(what) + " row lies outside its page");
}

void CheckTableDefinition(const RawFile& f, const MdbFormatConstants& fmt, uint64_t tdefPg) {
    if (tdefPg == 0) Damaged("table definition on page 0");
    auto first = f.Page(tdefPg);
    if (first[0] != MDB_PAGE_TABLE) Damaged("page " + std::to_string(tdefPg) + " is not a table definition");
    uint64_t chain = 1;
    for (uint32_t next = U32(first, 4); next != 0; ++chain) {
        if (chain > f.Pages()) Damaged("table definition pages form a loop");
        auto page = f.Page(next);
        if (page[0] != MDB_PAGE_TABLE) Damaged("table definition continues on a page of another kind");
        next = U32(page, 4);
    }
    unsigned numCols = U16(first, fmt.tab_num_cols_offset);
    unsigned numVarCols = U16(first, fmt.tab_num_cols_offset - 2);
    uint32_t numIdx = U32(first, fmt.tab_num_idxs_offset);
    uint32_t numRealIdx = U32(first, fmt.tab_num_ridxs_offset);
    if (numCols > 255 || numVarCols > numCols) Damaged("impossible column count");
    if (numIdx > 256 || numRealIdx > 256) Damaged("impossible index count");
    uint64_t needed = fmt.tab_cols_start_offset + uint64_t(numRealIdx) * fmt.tab_ridx_entry_size +
                      uint64_t(numCols) * fmt.tab_col_entry_size;
    if (needed > chain * f.PageSize()) Damaged("table definition longer than its pages");
    CheckRowPointer(f, fmt, U32(first, fmt.tab_usage_map_offset), "usage map");
    CheckRowPointer(f, fmt, U32(first, fmt.tab_free_map_offset), "free-space map");
}

uint64_t CheckUsageMap(const RawFile& f, const MdbTableDef& table) {
    const unsigned char* map = table.usage_map;
    size_t size = table.map_sz;
    if (!map || size < 1) Damaged("no usage map");
    uint64_t named = 0;
    auto bits = [&](const unsigned char* bytes, size_t n, uint64_t firstPage) {
        for (size_t i = 0; i < n; ++i) {
            if (!bytes[i]) continue;
            for (int b = 0; b < 8; ++b) {
                if (!(bytes[i] & (1u << b))) continue;
                uint64_t pg = firstPage + i * 8 + static_cast<uint64_t>(b);
                if (pg >= f.Pages()) Damaged("usage map names page " + std::to_string(pg) + " past the end");
                ++named;
            }
        }
    };
    if (map[0] == 0) {
        if (size < 5) Damaged("usage map too short");
        uint32_t start = static_cast<uint32_t>(map[1]) | (map[2] << 8) | (map[3] << 16) | (static_cast<uint32_t>(map[4]) << 24);
        bits(map + 5, size - 5, start);
    } else if (map[0] == 1) {
        uint64_t perPage = uint64_t(f.PageSize() - 4) * 8;
        for (size_t k = 0; 1 + 4 * k + 4 <= size; ++k) {
            const unsigned char* p = map + 1 + 4 * k;
            uint32_t mapPg = static_cast<uint32_t>(p[0]) | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
            if (mapPg == 0) continue;
            auto page = f.Page(mapPg);
            if (page[0] != MDB_PAGE_MAP) Damaged("usage map page of the wrong kind");
            bits(page.data() + 4, page.size() - 4, k * perPage);
        }
    } else {
        Damaged("unknown usage map type");
    }
    if (table.num_rows > named * 256) Damaged("more rows than its pages can hold");
    return named;
}

}  // namespace platform::reader
