// rolvane-mdb-reader: reads Jet databases with libmdb, read-only, for the
// window's process (mdb_reader_client.cpp), which starts one reader and sends
// it every request of the run: check a file, or run one SELECT on it
// (frames in mdb_reader_protocol.h, on the socket at descriptor 3). Whatever
// libmdb does with a damaged file (endless loops, runaway memory, crashes,
// output on stdout/stderr) stays inside this process, which the window
// replaces when it fails.
//
//   rolvane-mdb-reader [--cpu SECONDS] [--memory BYTES] [--noise BYTES]
//
// Before it reads a request it limits itself (address space for its whole
// life, CPU seconds per request, what libmdb may print) and enters its
// sandbox (mdb_reader_sandbox.h). Every request opens its file afresh and
// closes it before the answer ends, so nothing of one database is left for
// the next. Each request checks its file: header, system catalogue and its
// pages. Before libmdb is trusted with a table, its definition pages, usage
// map and the pages that map names are checked against the file's length:
// libmdb itself returns partial results without error for a truncated file.
// Whatever libmdb prints goes to a small in-memory file; if it printed
// anything during a request, it met something it did not understand, and
// the file counts as damaged.
#include <fcntl.h>
#include <glib.h>
#include <mdbtools.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vb/error.h"
#include "jet/reader_protocol.h"
#include "jet/reader/sandbox.h"
#include "jet/query.h"

namespace {

using platform::reader::Kind;
using platform::reader::PutFrame;
using platform::reader::PutText;
using platform::reader::PutU32;
using platform::reader::PutU64;

constexpr int kTooFewParameters = 3061;
constexpr int kTypeMismatch = 3464;

struct Failure {
    int number;
    std::string description;
};

[[noreturn]] void Damaged(const std::string& why) { throw Failure{vb::kUnrecognizedFormat, why}; }

// ---- output on the protocol descriptor --------------------------------------

class Output {
public:
    void Frame(char tag, const std::string& payload) {
        PutFrame(buf_, tag, payload);
        if (buf_.size() >= 64 * 1024) Flush();
    }
    void Flush() {
        size_t off = 0;
        while (off < buf_.size()) {
            ssize_t n = write(platform::reader::kProtocolFd, buf_.data() + off, buf_.size() - off);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) _exit(3);  // the window's process went away
            off += static_cast<size_t>(n);
        }
        buf_.clear();
    }

private:
    std::string buf_;
};

// ---- the file as raw pages, read without libmdb -----------------------------

class RawFile {
public:
    explicit RawFile(const std::string& path) {
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
    ~RawFile() {
        if (fd_ >= 0) close(fd_);
    }
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    uint32_t PageSize() const { return pageSize_; }
    uint64_t Pages() const { return pages_; }

    std::vector<unsigned char> Page(uint64_t pg) const {
        if (pg >= pages_) Damaged("page " + std::to_string(pg) + " lies past the end of the file");
        std::vector<unsigned char> buf(pageSize_);
        if (pread(fd_, buf.data(), pageSize_, static_cast<off_t>(pg * pageSize_)) != static_cast<ssize_t>(pageSize_))
            Damaged("page " + std::to_string(pg) + " cannot be read");
        return buf;
    }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint32_t pageSize_ = 0;
    uint64_t pages_ = 0;
};

uint16_t U16(const std::vector<unsigned char>& b, size_t off) {
    if (off + 2 > b.size()) Damaged("field past the page end");
    return static_cast<uint16_t>(b[off] | (b[off + 1] << 8));
}
uint32_t U32(const std::vector<unsigned char>& b, size_t off) {
    if (off + 4 > b.size()) Damaged("field past the page end");
    return static_cast<uint32_t>(b[off]) | (static_cast<uint32_t>(b[off + 1]) << 8) |
           (static_cast<uint32_t>(b[off + 2]) << 16) | (static_cast<uint32_t>(b[off + 3]) << 24);
}

// The row `pg_row` points at must exist on its page and lie within it.
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

// A table definition, before libmdb reads it: its chain of pages exists, its
// counts are possible for Jet and fit in those pages, and its usage maps
// point at rows that exist.
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

// The pages a table's usage map names must all lie within the file. Returns
// how many pages it names; a table cannot hold more than 256 rows per page
// (a row pointer has one byte for the row).
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

// ---- libmdb's output -----------------------------------------------------

// libmdb prints warnings and dumps to stdout and stderr; both go to one
// in-memory file whose size is capped by RLIMIT_FSIZE (a flood ends the
// process). Anything added to it during a request means libmdb met
// something it did not expect.
class Noise {
public:
    void Capture() {
        int fd = memfd_create("libmdb-output", MFD_CLOEXEC);
        if (fd < 0) fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (fd < 0) _exit(4);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    // From here on, output counts against the request.
    void Begin() {
        fflush(stdout);
        fflush(stderr);
        start_ = Size();
    }
    bool Grew() {
        fflush(stdout);
        fflush(stderr);
        return Size() > start_;
    }
    void Check() {
        if (Grew()) {
            char text[200] = {};
            ssize_t n = pread(STDOUT_FILENO, text, sizeof text - 1, start_);
            std::string first = n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
            first = first.substr(0, first.find('\n'));
            Damaged("libmdb reported: " + first);
        }
    }

private:
    static off_t Size() {
        struct stat st {};
        return fstat(STDOUT_FILENO, &st) == 0 ? st.st_size : 0;
    }
    off_t start_ = 0;
};

// ---- values -----------------------------------------------------------------

std::string CaseFold(const std::string& s) {
    gchar* f = g_utf8_casefold(s.c_str(), static_cast<gssize>(s.size()));
    std::string out = f ? f : s;
    g_free(f);
    return out;
}

struct Value {
    Kind kind = Kind::Null;
    int64_t i = 0;
    double d = 0;
    std::string text;
    int date[6] = {};
};

// Jet stores a date as days since 1899-12-30 with the time as the fraction;
// for days before that the fraction still counts forward from midnight.
void JetDate(double v, Value& out) {
    if (!std::isfinite(v) || v < -657434.0 || v >= 2958466.0) Damaged("date out of range");
    double whole = std::trunc(v);
    long secs = std::lround(std::fabs(v - whole) * 86400.0);
    long long days = static_cast<long long>(whole);
    if (secs >= 86400) {
        secs -= 86400;
        ++days;
    }
    // Civil date from a day count (1970-01-01 = 0), proleptic Gregorian.
    long long z = days - 25569 + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long d = doy - (153 * mp + 2) / 5 + 1;
    long long m = mp < 10 ? mp + 3 : mp - 9;
    out.kind = Kind::Date;
    out.date[0] = static_cast<int>(y + (m <= 2));
    out.date[1] = static_cast<int>(m);
    out.date[2] = static_cast<int>(d);
    out.date[3] = static_cast<int>(secs / 3600);
    out.date[4] = static_cast<int>(secs / 60 % 60);
    out.date[5] = static_cast<int>(secs % 60);
}

Value Convert(MdbHandle* mdb, const MdbColumn& col, const MdbField& field) {
    Value v;
    if (col.col_type == MDB_BOOL) {  // the null bit holds the value
        v.kind = Kind::Int;
        v.i = field.is_null ? 0 : -1;
        return v;
    }
    if (field.is_null) return v;
    const unsigned char* buf = mdb->pg_buf;
    int start = field.start, size = field.siz;
    if (start < 0 || size < 0 || start + size > mdb->fmt->pg_size) Damaged("value lies outside its page");
    auto need = [&](int n) {
        if (size < n) Damaged("value shorter than its type");
    };
    switch (col.col_type) {
    case MDB_BYTE: need(1); v.kind = Kind::Int; v.i = buf[start]; break;
    case MDB_INT: need(2); v.kind = Kind::Int; v.i = static_cast<int16_t>(mdb_get_int16(const_cast<unsigned char*>(buf), start)); break;
    case MDB_LONGINT: need(4); v.kind = Kind::Int; v.i = static_cast<int32_t>(mdb_get_int32(const_cast<unsigned char*>(buf), start)); break;
    case MDB_MONEY: {
        need(8);
        int64_t cents;
        memcpy(&cents, buf + start, 8);
        v.kind = Kind::Double;
        v.d = static_cast<double>(cents) / 10000.0;
        break;
    }
    case MDB_FLOAT: need(4); v.kind = Kind::Double; v.d = mdb_get_single(const_cast<unsigned char*>(buf), start); break;
    case MDB_DOUBLE: need(8); v.kind = Kind::Double; v.d = mdb_get_double(const_cast<unsigned char*>(buf), start); break;
    case MDB_DATETIME: need(8); JetDate(mdb_get_double(const_cast<unsigned char*>(buf), start), v); break;
    case MDB_NUMERIC: {
        need(17);
        char* s = mdb_numeric_to_string(mdb, start, col.col_scale, col.col_prec);
        v.kind = Kind::Double;
        v.d = s ? g_ascii_strtod(s, nullptr) : 0;
        g_free(s);
        break;
    }
    case MDB_BINARY:
        v.kind = Kind::Text;
        v.text.assign(reinterpret_cast<const char*>(buf + start), static_cast<size_t>(size));
        break;
    case MDB_TEXT:
    case MDB_MEMO:
    case MDB_REPID: {
        if (col.col_type == MDB_MEMO) need(MDB_MEMO_OVERHEAD);
        if (col.col_type == MDB_REPID) need(16);
        char* s = mdb_col_to_string(mdb, mdb->pg_buf, start, col.col_type, size);
        v.kind = Kind::Text;
        v.text = s ? s : "";
        g_free(s);
        break;
    }
    default:  // OLE objects and complex columns are not read: Null
        break;
    }
    return v;
}

void PutValue(std::string& out, const Value& v) {
    out.push_back(static_cast<char>(v.kind));
    switch (v.kind) {
    case Kind::Null: break;
    case Kind::Int: PutU64(out, static_cast<uint64_t>(v.i)); break;
    case Kind::Double: PutU64(out, platform::reader::DoubleBits(v.d)); break;
    case Kind::Text: PutText(out, v.text); break;
    case Kind::Date:
        for (int x : v.date) PutU32(out, static_cast<uint32_t>(x));
        break;
    }
}

bool Matches(const Value& v, const platform::Literal& lit) {
    if (v.kind == Kind::Null) return false;
    if (const auto* text = std::get_if<std::string>(&lit)) {
        if (v.kind != Kind::Text) throw Failure{kTypeMismatch, "Data type mismatch in criteria expression."};
        return CaseFold(v.text) == CaseFold(*text);
    }
    double want = std::holds_alternative<int64_t>(lit) ? static_cast<double>(std::get<int64_t>(lit)) : std::get<double>(lit);
    if (v.kind == Kind::Int) {
        if (const auto* i = std::get_if<int64_t>(&lit)) return v.i == *i;
        return static_cast<double>(v.i) == want;
    }
    if (v.kind == Kind::Double) return v.d == want;
    throw Failure{kTypeMismatch, "Data type mismatch in criteria expression."};
}

// ---- the query ----------------------------------------------------------------

struct TableDefDeleter {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using TablePtr = std::unique_ptr<MdbTableDef, TableDefDeleter>;

struct HandleCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};

class Reader {
public:
    Reader(const std::string& path, Output& out, Noise& noise) : file_(path), out_(out), noise_(noise) {
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
        catalog.reset();
        noise_.Check();
        if (!mdb_read_catalog(mdb_.get(), MDB_TABLE)) Damaged("catalogue unreadable");
        noise_.Check();
    }

    void Run(const platform::Query& q) {
        MdbCatalogEntry* entry = FindTable(q.table);
        if (!entry)
            throw Failure{vb::kCannotFindTable, "The database engine cannot find the input table or query '" + q.table +
                                                    "'. Make sure it exists and that its name is spelled correctly."};
        CheckTableDefinition(file_, *mdb_->fmt, entry->table_pg);
        TablePtr table(mdb_read_table(entry));
        if (!table) Damaged("table definition unreadable");
        CheckUsageMap(file_, *table);
        noise_.Check();

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
            // mdb_fetch_row has cracked the row on the current page; crack it
            // again to learn which fields are Null (its bound text says "" for
            // both Null and empty text).
            int start = 0;
            size_t len = 0;
            if (table->cur_row == 0 || mdb_find_row(mdb_.get(), static_cast<int>(table->cur_row - 1), &start, &len) != 0)
                Damaged("row pointer outside its page");
            start &= 0x1fff;
            int n = mdb_crack_row(table.get(), start, len, fields.data());
            if (n < 0) Damaged("row cannot be decoded");
            const MdbField* whereField = nullptr;
            for (unsigned f = 0; f < table->num_cols; ++f) {
                int colnum = fields[f].colnum;
                if (colnum < 0 || static_cast<unsigned>(colnum) >= table->num_cols) Damaged("row names a column the table lacks");
                if (colnum == whereCol) whereField = &fields[f];
            }
            if (whereCol >= 0) {
                if (!whereField) Damaged("row lacks a column");
                Value v = Convert(mdb_.get(), *Column(*table, static_cast<unsigned>(whereCol)), *whereField);
                if (!Matches(v, q.where->value)) continue;
            }
            if (q.count) {
                ++counted;
                continue;
            }
            for (unsigned f = 0; f < table->num_cols; ++f) {
                unsigned colnum = static_cast<unsigned>(fields[f].colnum);
                if (wanted[colnum]) values[colnum] = Convert(mdb_.get(), *Column(*table, colnum), fields[f]);
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

    void Finish(uint32_t rows) {
        noise_.Check();
        std::string z;
        PutU32(z, rows);
        out_.Frame('Z', z);
    }

private:
    static MdbColumn* Column(const MdbTableDef& t, unsigned i) {
        return static_cast<MdbColumn*>(g_ptr_array_index(t.columns, i));
    }
    static int FindColumn(const MdbTableDef& t, const std::string& name) {
        std::string want = CaseFold(name);
        for (unsigned i = 0; i < t.num_cols && i < t.columns->len; ++i)
            if (CaseFold(Column(t, i)->name) == want) return static_cast<int>(i);
        return -1;
    }
    MdbCatalogEntry* FindTable(const std::string& name) {
        std::string want = CaseFold(name);
        GPtrArray* cat = mdb_->catalog;
        for (unsigned i = 0; cat && i < cat->len; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(cat, i));
            if (e->object_type == MDB_TABLE && CaseFold(e->object_name) == want) return e;
        }
        return nullptr;
    }
    void SendColumns(const std::vector<std::string>& names) {
        std::string p;
        PutU32(p, static_cast<uint32_t>(names.size()));
        for (const auto& n : names) PutText(p, n);
        out_.Frame('C', p);
    }

    RawFile file_;
    Output& out_;
    Noise& noise_;
    std::unique_ptr<MdbHandle, HandleCloser> mdb_;
};

void Limit(int resource, rlim_t soft, rlim_t hard) {
    struct rlimit r {soft, hard};
    setrlimit(resource, &r);
}

// The CPU seconds already used, rounded up.
rlim_t CpuUsed() {
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<rlim_t>(u.ru_utime.tv_sec + u.ru_stime.tv_sec + 1);
}

void SendError(Output& out, int number, const std::string& description) {
    std::string p;
    PutU32(p, static_cast<uint32_t>(number));
    PutText(p, description);
    out.Frame('E', p);
}

// Reads one request frame from the socket; false at its end or when what
// arrives is not a frame of a sensible size.
bool ReadRequest(char& tag, std::string& payload) {
    auto readAll = [](char* p, size_t n) {
        while (n > 0) {
            ssize_t got = read(platform::reader::kProtocolFd, p, n);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            p += got;
            n -= static_cast<size_t>(got);
        }
        return true;
    };
    char head[5];
    if (!readAll(head, sizeof head)) return false;
    platform::reader::Cursor c(head + 1, 4);
    uint32_t size = c.U32();
    if (size > platform::reader::kMaxRequestBytes) return false;
    tag = head[0];
    payload.assign(size, '\0');
    return readAll(payload.data(), size);
}

// One query request: the file opened, checked and, with a query, read; the
// answer is 'Z' or 'E'.
void Answer(const std::string& path, const std::string& queryText, Output& out, Noise& noise) {
    noise.Begin();
    try {
        std::optional<platform::Query> q;
        if (!queryText.empty()) q = platform::ParseQuery(queryText);
        Reader reader(path, out, noise);
        if (q) reader.Run(*q);
        else reader.Finish(0);
    } catch (const Failure& f) {
        // An error that libmdb printed about is the damage, not the error.
        if (f.number != vb::kUnrecognizedFormat && noise.Grew()) SendError(out, vb::kUnrecognizedFormat, "libmdb reported an error");
        else SendError(out, f.number, f.description);
    } catch (const vb::Error& e) {
        SendError(out, static_cast<int>(e.Number()), e.Description());
    }
}

void AnswerProbe(const std::string& folder, const platform::reader::SandboxState& sandbox, Output& out) {
    std::vector<platform::reader::ProbeOutcome> outcomes;
    if (!folder.empty()) outcomes = platform::reader::Probe(folder);
    std::string p;
    PutU32(p, sandbox.bits);
    PutU32(p, sandbox.landlockAbi);
    PutU32(p, static_cast<uint32_t>(outcomes.size()));
    for (const auto& o : outcomes) {
        p.push_back(static_cast<char>(o.attempt));
        p.push_back(o.refused ? 1 : 0);
        PutU32(p, static_cast<uint32_t>(o.error));
    }
    out.Frame('S', p);
}

}  // namespace

int main(int argc, char** argv) {
    if (fcntl(platform::reader::kProtocolFd, F_GETFD) == -1) return 2;
    close_range(platform::reader::kProtocolFd + 1, ~0u, 0);

    rlim_t cpu = 3, memory = 256u << 20, noiseCap = 64u << 10;
    for (int i = 1; i < argc; i += 2) {
        std::string a = argv[i];
        if (i + 1 >= argc) return 2;
        rlim_t v = std::strtoull(argv[i + 1], nullptr, 10);
        if (a == "--cpu") cpu = v;
        else if (a == "--memory") memory = v;
        else if (a == "--noise") noiseCap = v;
        else return 2;
    }

    struct rlimit cpuNow {};
    getrlimit(RLIMIT_CPU, &cpuNow);
    Limit(RLIMIT_AS, memory, memory);
    Limit(RLIMIT_CORE, 0, 0);
    Limit(RLIMIT_FSIZE, noiseCap, noiseCap);
    int devnull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devnull >= 0) {
        dup2(devnull, STDIN_FILENO);
        close(devnull);
    }
    Noise noise;
    noise.Capture();
    // An empty MDBPATH entry makes libmdb loop on a missing file; the others
    // switch on debug output or change the text encoding.
    for (const char* var : {"MDBPATH", "MDBOPTS", "MDBICONV", "MDB_ICONV", "MDB_JET3_CHARSET"}) unsetenv(var);

    // A sandbox that the kernel offers but that could not be set up means
    // no reading at all: every query is 3343, and a probe says why.
    platform::reader::SandboxState sandbox = platform::reader::EnterSandbox();
    if (!sandbox.complete) sandbox.bits |= platform::reader::kIncomplete;

    Output out;
    char tag = 0;
    std::string payload;
    while (ReadRequest(tag, payload)) {
        platform::reader::Cursor c(payload.data(), payload.size());
        if (c.U32() != platform::reader::kProtocolVersion) {
            SendError(out, vb::kUnrecognizedFormat, "the reader speaks protocol version " +
                                                        std::to_string(platform::reader::kProtocolVersion));
            out.Flush();
            return 2;
        }
        // Each request gets the same CPU time, however long the reader has run.
        const rlim_t soft = CpuUsed() + cpu;
        Limit(RLIMIT_CPU, cpuNow.rlim_max != RLIM_INFINITY && soft > cpuNow.rlim_max ? cpuNow.rlim_max : soft, cpuNow.rlim_max);
        try {
            if (tag == 'Q') {
                std::string path = c.Text(), query = c.Text();
                if (!c.ok() || !c.done()) return 2;
                if (sandbox.complete) Answer(path, query, out, noise);
                else SendError(out, vb::kUnrecognizedFormat, "the reader's sandbox could not be set up");
            } else if (tag == 'P') {
                std::string folder = c.Text();
                if (!c.ok() || !c.done()) return 2;
                AnswerProbe(folder, sandbox, out);
            } else {
                return 2;
            }
        } catch (const std::bad_alloc&) {
            return 5;  // at the memory cap: the window replaces this reader
        }
        out.Flush();
    }
    return 0;
}
