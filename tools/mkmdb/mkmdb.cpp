#include "mkmdb/mkmdb.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

// File layout written here:
//   page 0            database definition page (header area RC4-encrypted)
//   page 1            zeros
//   page 2            table definition of MSysObjects (readers look for it there)
//   pages 3..         table definitions of the user tables, in order; a table's
//                     catalog Id is the first page of its definition
//   then              catalog data pages (owner 2), one row per user table
//   then              each table's data pages, contiguous, in table order; a
//                     table with no rows still gets one empty data page
//   then              usage-map pages (data pages with owner 0), one map row per table
//   then              type 0x05 bitmap pages for tables whose map is indirect
// Data pages are streamed to the file as rows are produced; everything that
// depends on the final page counts (maps, definitions) is written at the end.

namespace mkmdb {
namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kDataHeader = 14;   // data page header, before the row offsets
constexpr std::size_t kMaxRowsPerPage = 255;  // a row number must fit the low byte of a pg_row
constexpr std::size_t kMaxRowBytes = kPage - kDataHeader - 2;
constexpr std::size_t kTdefHeader = 0x3F;  // Jet 4 table definition header, up to the column entries
constexpr std::size_t kColumnEntry = 25;
constexpr uint32_t kInlineMapBits = 64 * 8;        // pages an inline (type 0) map row covers
constexpr uint32_t kIndirectMapBits = (kPage - 4) * 8;  // pages one type 0x05 page covers
constexpr uint32_t kCatalogPage = 2;
constexpr uint32_t kTablesContainerId = 0x0F000001;

enum : uint8_t {
    kTypeInteger = 0x03,
    kTypeLong = 0x04,
    kTypeDateTime = 0x08,
    kTypeText = 0x0A,
    kTypeOle = 0x0B,
};

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutDouble(uint8_t* p, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(bits >> (8 * i));
}

// Decodes UTF-8 and hands each character to `emit` as one UCS-2 code unit.
template <typename Emit>
void DecodeUtf8(const std::string& s, Emit&& emit) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        uint32_t c = *p++;
        int extra = 0;
        uint32_t min = 0;
        if (c < 0x80) {
        } else if ((c & 0xE0) == 0xC0) {
            c &= 0x1F, extra = 1, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            c &= 0x0F, extra = 2, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            c &= 0x07, extra = 3, min = 0x10000;
        } else {
            throw std::runtime_error("malformed UTF-8 text");
        }
        if (end - p < extra) throw std::runtime_error("malformed UTF-8 text (truncated)");
        for (int i = 0; i < extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) throw std::runtime_error("malformed UTF-8 text");
            c = (c << 6) | (p[i] & 0x3F);
        }
        p += extra;
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            throw std::runtime_error("malformed UTF-8 text (invalid code point)");
        // Jet 4 text is UCS-2, and libmdb converts it as such: a surrogate
        // pair would read back as two unknown characters.
        if (c >= 0x10000) throw std::runtime_error("text has a character outside UCS-2 (U+10000 or above)");
        emit(static_cast<char16_t>(c));
    }
}

std::size_t Utf16Length(const std::string& s) {
    std::size_t n = 0;
    DecodeUtf8(s, [&](char16_t) { ++n; });
    return n;
}

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char ch) { return (ch >= 'A' && ch <= 'Z') ? char(ch - 'A' + 'a') : ch; };
               return lower(x) == lower(y);
           });
}

// Days from 1970-01-01 to a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// ---- column and table layout -------------------------------------------

struct ColumnLayout {
    std::string name;
    uint8_t type = 0;
    uint16_t length = 0;      // bytes; Text is 2 per character, OLE 0
    bool fixed = false;
    uint16_t fixed_offset = 0;
    uint16_t var_index = 0;   // slot in the row's offset table; for fixed columns the var columns before it
    std::size_t max_units = 0;  // Text: declared size in UTF-16 units
};

struct TableLayout {
    std::string name;
    bool system = false;
    std::vector<ColumnLayout> columns;
    uint16_t fixed_size = 0;
    uint16_t num_var = 0;

    uint32_t tdef_page = 0;     // first page of the definition
    uint32_t tdef_pages = 0;
    uint32_t first_data_page = 0;
    uint32_t data_pages = 0;
    uint64_t num_rows = 0;
    uint32_t map_pg_row = 0;
};

TableLayout MakeLayout(std::string name, bool system, std::vector<ColumnLayout> cols) {
    TableLayout t;
    t.name = std::move(name);
    t.system = system;
    uint16_t var_count = 0;
    uint32_t fixed = 0;
    for (auto& c : cols) {
        if (c.fixed) {
            c.fixed_offset = static_cast<uint16_t>(fixed);
            c.var_index = var_count;
            fixed += c.length;
        } else {
            c.var_index = var_count++;
        }
    }
    t.fixed_size = static_cast<uint16_t>(fixed);
    t.num_var = var_count;
    t.columns = std::move(cols);
    return t;
}

TableLayout CatalogLayout() {
    auto fixed = [](const char* n, uint8_t type, uint16_t len) {
        ColumnLayout c;
        c.name = n, c.type = type, c.length = len, c.fixed = true;
        return c;
    };
    auto var = [](const char* n, uint8_t type, uint16_t len) {
        ColumnLayout c;
        c.name = n, c.type = type, c.length = len, c.fixed = false, c.max_units = len / 2;
        return c;
    };
    return MakeLayout("MSysObjects", true,
                      {fixed("Id", kTypeLong, 4), fixed("ParentId", kTypeLong, 4), var("Name", kTypeText, 510),
                       fixed("Type", kTypeInteger, 2), fixed("Flags", kTypeLong, 4), var("LvProp", kTypeOle, 0)});
}

void CheckName(const std::string& name, const std::string& what) {
    const std::size_t n = Utf16Length(name);
    if (n == 0 || n > 64) throw std::runtime_error(what + " name must be 1 to 64 characters: '" + name + "'");
}

TableLayout UserLayout(const Table& table) {
    CheckName(table.name, "table");
    if (EqualsIgnoringAsciiCase(table.name, "MSysObjects"))
        throw std::runtime_error("table name MSysObjects is reserved");
    if (table.columns.empty()) throw std::runtime_error("table '" + table.name + "' has no columns");
    if (table.columns.size() > 255) throw std::runtime_error("table '" + table.name + "' has more than 255 columns");
    std::vector<ColumnLayout> cols;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const Column& src = table.columns[i];
        CheckName(src.name, "column");
        for (std::size_t j = 0; j < i; ++j)
            if (EqualsIgnoringAsciiCase(src.name, table.columns[j].name))
                throw std::runtime_error("table '" + table.name + "' has two columns named '" + src.name + "'");
        ColumnLayout c;
        c.name = src.name;
        switch (src.type) {
            case ColumnType::Long: c.type = kTypeLong, c.length = 4, c.fixed = true; break;
            case ColumnType::DateTime: c.type = kTypeDateTime, c.length = 8, c.fixed = true; break;
            case ColumnType::Text:
                if (src.text_length < 1 || src.text_length > 255)
                    throw std::runtime_error("text column '" + src.name + "' must be 1 to 255 characters long");
                c.type = kTypeText;
                c.length = static_cast<uint16_t>(2 * src.text_length);
                c.max_units = static_cast<std::size_t>(src.text_length);
                break;
        }
        cols.push_back(std::move(c));
    }
    return MakeLayout(table.name, false, std::move(cols));
}

// The table definition as one byte stream: bytes [0, kPage) go on the first
// page, the rest continue at offset 8 of each following definition page.
std::vector<uint8_t> TdefStream(const TableLayout& t) {
    std::vector<uint8_t> b(kTdefHeader + kColumnEntry * t.columns.size(), 0);
    b[0] = 0x02;
    b[1] = 0x01;
    Put32(&b[0x10], static_cast<uint32_t>(std::min<uint64_t>(t.num_rows, UINT32_MAX)));
    b[0x28] = t.system ? 0x53 : 0x4E;
    const auto ncols = static_cast<uint16_t>(t.columns.size());
    Put16(&b[0x29], ncols);
    Put16(&b[0x2B], t.num_var);
    Put16(&b[0x2D], ncols);
    Put32(&b[0x2F], 0);  // logical indexes
    Put32(&b[0x33], 0);  // real indexes
    Put32(&b[0x37], t.map_pg_row);
    Put32(&b[0x3B], t.map_pg_row);  // free-space map: readers only resolve it; the usage map serves
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        const ColumnLayout& c = t.columns[i];
        uint8_t* e = &b[kTdefHeader + kColumnEntry * i];
        e[0] = c.type;
        Put16(e + 5, static_cast<uint32_t>(i));
        Put16(e + 7, c.var_index);
        Put16(e + 9, static_cast<uint32_t>(i));
        if (c.type == kTypeText) Put16(e + 11, 0x0409);  // General sort order
        e[15] = c.fixed ? 0x03 : 0x02;                    // fixed length / nullable
        e[16] = 0;  // text is stored as plain UCS-2, never compressed
        Put16(e + 21, c.fixed ? c.fixed_offset : 0);
        Put16(e + 23, c.length);
    }
    for (const ColumnLayout& c : t.columns) {
        const std::size_t at = b.size();
        b.resize(at + 2);
        DecodeUtf8(c.name, [&](char16_t u) {
            b.push_back(static_cast<uint8_t>(u));
            b.push_back(static_cast<uint8_t>(u >> 8));
        });
        Put16(&b[at], static_cast<uint32_t>(b.size() - at - 2));
    }
    b.push_back(0xFF);  // end of the list of columns with their own usage maps
    b.push_back(0xFF);
    Put32(&b[0x08], static_cast<uint32_t>(b.size()));
    return b;
}

uint32_t TdefPageCount(std::size_t stream_len) {
    if (stream_len <= kPage) return 1;
    return 1 + static_cast<uint32_t>((stream_len - kPage + (kPage - 8) - 1) / (kPage - 8));
}

// Encodes one row into `out` (at least kPage bytes) and returns its length.
std::size_t EncodeRow(const TableLayout& t, const Row& row, uint8_t* out, const char* where) {
    const std::size_t ncols = t.columns.size();
    if (row.size() != ncols)
        throw std::runtime_error(std::string(where) + ": row has " + std::to_string(row.size()) + " values, table has " +
                                 std::to_string(ncols) + " columns");
    const std::size_t mask_bytes = (ncols + 7) / 8;
    std::array<uint16_t, 256> var_start{};
    uint8_t mask[32] = {};
    Put16(out, static_cast<uint32_t>(ncols));
    std::memset(out + 2, 0, t.fixed_size);
    std::size_t pos = 2 + t.fixed_size;
    const std::size_t var_tail = t.num_var ? 4 + 2 * std::size_t(t.num_var) : 0;
    const std::size_t limit = kMaxRowBytes - var_tail - mask_bytes;  // room for fixed + variable data

    auto mismatch = [&](const ColumnLayout& c) {
        return std::runtime_error(std::string(where) + ": value of the wrong type for column '" + c.name + "'");
    };
    for (std::size_t i = 0; i < ncols; ++i) {
        const ColumnLayout& c = t.columns[i];
        const Value& v = row[i];
        if (!c.fixed) var_start[c.var_index] = static_cast<uint16_t>(pos);
        if (std::holds_alternative<std::monostate>(v)) continue;
        mask[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
        switch (c.type) {
            case kTypeLong:
            case kTypeInteger: {
                const int32_t* x = std::get_if<int32_t>(&v);
                if (!x) throw mismatch(c);
                if (c.type == kTypeLong)
                    Put32(out + 2 + c.fixed_offset, static_cast<uint32_t>(*x));
                else
                    Put16(out + 2 + c.fixed_offset, static_cast<uint32_t>(*x));
                break;
            }
            case kTypeDateTime: {
                const DateTime* x = std::get_if<DateTime>(&v);
                if (!x) throw mismatch(c);
                PutDouble(out + 2 + c.fixed_offset, ToJetDate(*x));
                break;
            }
            case kTypeText: {
                const std::string* x = std::get_if<std::string>(&v);
                if (!x) throw mismatch(c);
                const std::size_t start = pos;
                DecodeUtf8(*x, [&](char16_t u) {
                    if (pos + 2 <= limit) Put16(out + pos, u);
                    pos += 2;
                });
                if ((pos - start) / 2 > c.max_units)
                    throw std::runtime_error(std::string(where) + ": text longer than column '" + c.name + "' allows (" +
                                             std::to_string(c.max_units) + ")");
                break;
            }
            default: throw mismatch(c);  // OLE values are always Null here
        }
    }
    if (pos > limit) throw std::runtime_error(std::string(where) + ": row too large for a page");
    if (t.num_var) {
        Put16(out + pos, static_cast<uint32_t>(pos));  // eod
        std::size_t p = pos + 2;
        for (std::size_t k = t.num_var; k-- > 0;) {
            Put16(out + p, var_start[k]);
            p += 2;
        }
        Put16(out + p, t.num_var);
        pos = p + 2;
    }
    std::memcpy(out + pos, mask, mask_bytes);
    return pos + mask_bytes;
}

// A data page being filled: rows packed from the end downwards.
class DataPage {
public:
    explicit DataPage(uint32_t owner) : owner_(owner) { Reset(); }
    void Reset() {
        buf_.fill(0);
        buf_[0] = 0x01;
        buf_[1] = 0x01;
        Put32(&buf_[4], owner_);
        n_ = 0;
        top_ = kPage;
    }
    bool Fits(std::size_t len) const {
        return n_ < kMaxRowsPerPage && kDataHeader + 2 * (n_ + 1) + (kPage - top_) + len <= kPage;
    }
    // Returns the row number on this page.
    std::size_t Add(const uint8_t* row, std::size_t len) {
        top_ -= len;
        std::memcpy(&buf_[top_], row, len);
        Put16(&buf_[kDataHeader + 2 * n_], static_cast<uint32_t>(top_));
        return n_++;
    }
    bool Empty() const { return n_ == 0; }
    const uint8_t* Finish() {
        Put16(&buf_[0x0C], static_cast<uint32_t>(n_));
        Put16(&buf_[0x02], static_cast<uint32_t>(top_ - kDataHeader - 2 * n_));
        return buf_.data();
    }

private:
    uint32_t owner_;
    std::array<uint8_t, kPage> buf_;
    std::size_t n_ = 0;
    std::size_t top_ = kPage;
};

class File {
public:
    explicit File(const std::string& path) : path_(path) {
        f_ = std::fopen(path.c_str(), "wb");
        if (!f_) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
        std::setvbuf(f_, nullptr, _IOFBF, 1 << 20);
    }
    ~File() {
        if (f_) {
            std::fclose(f_);
            std::remove(path_.c_str());
        }
    }
    void WritePage(uint32_t page, const uint8_t* data) {
        if (page != next_) {
            if (std::fseek(f_, static_cast<long>(page) * static_cast<long>(kPage), SEEK_SET) != 0) Fail();
        }
        if (std::fwrite(data, 1, kPage, f_) != kPage) Fail();
        next_ = page + 1;
    }
    void Close() {
        std::FILE* f = f_;
        f_ = nullptr;
        if (std::fclose(f) != 0) {
            std::remove(path_.c_str());
            throw std::runtime_error("cannot write " + path_ + ": " + std::strerror(errno));
        }
    }

private:
    [[noreturn]] void Fail() { throw std::runtime_error("cannot write " + path_ + ": " + std::strerror(errno)); }
    std::string path_;
    std::FILE* f_ = nullptr;
    uint32_t next_ = 0;
};

std::array<uint8_t, kPage> HeaderPage() {
    std::array<uint8_t, kPage> p{};
    p[1] = 0x01;
    std::memcpy(&p[0x04], "Standard Jet DB", 16);  // with its NUL
    p[0x14] = 0x01;                                 // Jet 4
    Put16(&p[0x3C], 1252);                          // code page
    Put32(&p[0x3E], 0);                             // database key 0: pages are not encrypted
    Put32(&p[0x6E], 0x0409);                        // sort order
    ApplyHeaderCipher(&p[0x18], 128);
    return p;
}

uint32_t CheckedPage(uint64_t page) {
    if (page >= (1u << 24)) throw std::runtime_error("database would exceed 2^24 pages");
    return static_cast<uint32_t>(page);
}

}  // namespace

// ---- public helpers ------------------------------------------------------

std::u16string Utf8ToUcs2(const std::string& utf8) {
    std::u16string out;
    DecodeUtf8(utf8, [&](char16_t u) { out.push_back(u); });
    return out;
}

double ToJetDate(const DateTime& dt) {
    if (dt.year < 100 || dt.year > 9999 || dt.month < 1 || dt.month > 12 || dt.day < 1 ||
        dt.day > DaysInMonth(dt.year, dt.month) || dt.hour < 0 || dt.hour > 23 || dt.minute < 0 || dt.minute > 59 ||
        dt.second < 0 || dt.second > 59)
        throw std::runtime_error("invalid date/time value");
    const int64_t days = DaysFromCivil(dt.year, static_cast<unsigned>(dt.month), static_cast<unsigned>(dt.day)) -
                         DaysFromCivil(1899, 12, 30);
    const double frac = (dt.hour * 3600 + dt.minute * 60 + dt.second) / 86400.0;
    // Before the epoch the day count is negative but the time still counts forwards.
    return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

void ApplyHeaderCipher(unsigned char* data, std::size_t len) {
    static constexpr unsigned char kKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
    unsigned char s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + kKey[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t k = 0, i = 0, j = 0; k < len; ++k) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[k] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

// ---- writer ----------------------------------------------------------------

void Write(const std::string& path, const std::vector<Table>& tables) {
    std::vector<TableLayout> layouts;
    layouts.reserve(tables.size());
    for (std::size_t i = 0; i < tables.size(); ++i) {
        layouts.push_back(UserLayout(tables[i]));
        for (std::size_t j = 0; j < i; ++j)
            if (EqualsIgnoringAsciiCase(tables[i].name, tables[j].name))
                throw std::runtime_error("two tables named '" + tables[i].name + "'");
    }
    TableLayout catalog = CatalogLayout();
    catalog.tdef_page = kCatalogPage;
    catalog.tdef_pages = 1;

    uint64_t next_page = kCatalogPage + 1;
    for (TableLayout& t : layouts) {
        t.tdef_page = CheckedPage(next_page);
        t.tdef_pages = TdefPageCount(TdefStream(t).size());
        next_page += t.tdef_pages;
    }

    File file(path);
    std::array<uint8_t, kPage> scratch;

    // Catalog rows: one per user table, all known before any data is written.
    std::vector<std::array<uint8_t, kPage>> catalog_pages;
    {
        DataPage page(kCatalogPage);
        for (const TableLayout& t : layouts) {
            Row row{static_cast<int32_t>(t.tdef_page), static_cast<int32_t>(kTablesContainerId), t.name, int32_t{1},
                    int32_t{0}, std::monostate{}};
            const std::size_t len = EncodeRow(catalog, row, scratch.data(), "catalog");
            if (!page.Fits(len)) {
                catalog_pages.emplace_back();
                std::memcpy(catalog_pages.back().data(), page.Finish(), kPage);
                page.Reset();
            }
            page.Add(scratch.data(), len);
        }
        catalog_pages.emplace_back();  // the last page, possibly empty
        std::memcpy(catalog_pages.back().data(), page.Finish(), kPage);
        catalog.first_data_page = CheckedPage(next_page);
        catalog.data_pages = static_cast<uint32_t>(catalog_pages.size());
        catalog.num_rows = layouts.size();
        next_page += catalog.data_pages;
    }

    // User rows, streamed page by page.
    for (std::size_t ti = 0; ti < tables.size(); ++ti) {
        const Table& src = tables[ti];
        TableLayout& t = layouts[ti];
        t.first_data_page = CheckedPage(next_page);
        DataPage page(t.tdef_page);
        auto flush = [&] {
            file.WritePage(CheckedPage(next_page), page.Finish());
            ++next_page;
            page.Reset();
        };
        const std::string where_prefix = "table '" + src.name + "' row ";
        auto add = [&](const Row& row, std::size_t i) {
            std::size_t len;
            try {
                len = EncodeRow(t, row, scratch.data(), "row");
            } catch (const std::runtime_error& e) {
                throw std::runtime_error(where_prefix + std::to_string(i) + ": " + e.what());
            }
            if (!page.Fits(len)) flush();
            page.Add(scratch.data(), len);
        };
        if (src.generate) {
            Row row(t.columns.size());
            for (std::size_t i = 0; i < src.row_count; ++i) {
                for (Value& v : row) v = std::monostate{};
                src.generate(i, row);
                add(row, i);
            }
            t.num_rows = src.row_count;
        } else {
            for (std::size_t i = 0; i < src.rows.size(); ++i) add(src.rows[i], i);
            t.num_rows = src.rows.size();
        }
        if (t.num_rows > UINT32_MAX) throw std::runtime_error("table '" + src.name + "' has too many rows");
        flush();  // the last page; an empty table gets one empty page
        t.data_pages = static_cast<uint32_t>(next_page - t.first_data_page);
    }

    // Usage maps: one row per table on owner-0 pages. A table whose pages fit
    // an inline bitmap gets a type 0 map; larger ones point at type 0x05 pages.
    std::vector<TableLayout*> all{&catalog};
    for (TableLayout& t : layouts) all.push_back(&t);
    struct Indirect {
        TableLayout* table;
        uint32_t index;  // which range of kIndirectMapBits pages
    };
    std::vector<Indirect> indirect;
    std::vector<std::vector<uint8_t>> map_rows;
    for (TableLayout* t : all) {
        std::vector<uint8_t> r;
        if (t->data_pages <= kInlineMapBits) {
            r.assign(5 + kInlineMapBits / 8, 0);
            Put32(&r[1], t->first_data_page);
            for (uint32_t i = 0; i < t->data_pages; ++i) r[5 + i / 8] |= static_cast<uint8_t>(1u << (i % 8));
        } else {
            const uint32_t last = t->first_data_page + t->data_pages - 1;
            r.assign(1 + 4 * (last / kIndirectMapBits + 1), 0);
            r[0] = 0x01;
            for (uint32_t k = t->first_data_page / kIndirectMapBits; k <= last / kIndirectMapBits; ++k)
                indirect.push_back({t, k});
        }
        if (r.size() > kMaxRowBytes) throw std::runtime_error("database too large for its usage maps");
        map_rows.push_back(std::move(r));
    }
    {
        DataPage page(0);
        auto flush = [&] {
            file.WritePage(CheckedPage(next_page), page.Finish());
            ++next_page;
            page.Reset();
        };
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (!page.Fits(map_rows[i].size())) flush();
            const std::size_t row = page.Add(map_rows[i].data(), map_rows[i].size());
            all[i]->map_pg_row = static_cast<uint32_t>(next_page << 8 | row);
        }
        flush();
    }
    // The map row of an indirect table names its bitmap pages; fill those in
    // now that they have page numbers, and rewrite the map pages.
    if (!indirect.empty()) {
        std::array<uint8_t, kPage> bitmap;
        for (const Indirect& ind : indirect) {
            bitmap.fill(0);
            bitmap[0] = 0x05;
            bitmap[1] = 0x01;
            const uint64_t lo = uint64_t(ind.index) * kIndirectMapBits;
            for (uint64_t p = ind.table->first_data_page; p < uint64_t(ind.table->first_data_page) + ind.table->data_pages; ++p)
                if (p >= lo && p < lo + kIndirectMapBits) bitmap[4 + (p - lo) / 8] |= static_cast<uint8_t>(1u << ((p - lo) % 8));
            const uint32_t at = CheckedPage(next_page++);
            file.WritePage(at, bitmap.data());
            const std::size_t ti = static_cast<std::size_t>(std::find(all.begin(), all.end(), ind.table) - all.begin());
            Put32(&map_rows[ti][1 + 4 * ind.index], at);
        }
        DataPage page(0);
        uint32_t page_no = all.front()->map_pg_row >> 8;
        for (std::size_t i = 0; i < all.size(); ++i) {
            const uint32_t want = all[i]->map_pg_row >> 8;
            if (want != page_no) {
                file.WritePage(page_no, page.Finish());
                page.Reset();
                page_no = want;
            }
            page.Add(map_rows[i].data(), map_rows[i].size());
        }
        file.WritePage(page_no, page.Finish());
    }

    // Definitions, catalog and header, now that counts and maps are known.
    for (TableLayout* t : all) {
        const std::vector<uint8_t> s = TdefStream(*t);
        std::array<uint8_t, kPage> pg;
        std::size_t done = 0;
        for (uint32_t k = 0; k < t->tdef_pages; ++k) {
            pg.fill(0);
            std::size_t used;
            if (k == 0) {
                used = std::min(kPage, s.size());
                std::memcpy(pg.data(), s.data(), used);
            } else {
                pg[0] = 0x02;
                pg[1] = 0x01;
                const std::size_t chunk = std::min(kPage - 8, s.size() - done);
                std::memcpy(&pg[8], s.data() + done, chunk);
                used = 8 + chunk;
            }
            done += k == 0 ? used : used - 8;
            Put16(&pg[2], static_cast<uint32_t>(kPage - 8 - std::min(kPage - 8, used)));
            Put32(&pg[4], k + 1 < t->tdef_pages ? t->tdef_page + k + 1 : 0);
            file.WritePage(t->tdef_page + k, pg.data());
        }
    }
    for (std::size_t i = 0; i < catalog_pages.size(); ++i)
        file.WritePage(catalog.first_data_page + static_cast<uint32_t>(i), catalog_pages[i].data());
    std::array<uint8_t, kPage> zero{};
    file.WritePage(1, zero.data());
    file.WritePage(0, HeaderPage().data());
    file.Close();
}

}  // namespace mkmdb
