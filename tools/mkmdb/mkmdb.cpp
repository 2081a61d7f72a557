#include "mkmdb/mkmdb.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "mkmdb/format.h"
#include "mkmdb/layout.h"
#include "mkmdb/pages.h"
#include "vb/casefold.h"

// File layout written here:
//   page 0            database definition page (header area RC4-encrypted)
//   page 1            zeros
//   page 2            table definition of MSysObjects (readers look for it there)
//   pages 3..         table definitions of the user tables, in order; a table's
//                     catalog Id is the first page of its definition
//   then              catalog data pages (owner 2), one row per user table
//   then              each table's data pages, in table order, with the
//                     long-value pages of its memos among them; a table with
//                     no rows still gets one empty data page
//   then              usage-map pages (data pages with owner 0), one map row per table
//   then              type 0x05 bitmap pages for tables whose map is indirect
// Data pages are streamed to the file as rows are produced; everything that
// depends on the final page counts (maps, definitions) is written at the end.

namespace mkmdb {
namespace {

using namespace detail;

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
            if (vb::EqualsIgnoringCase(tables[i].name, tables[j].name))
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
            const std::size_t len = EncodeRow(catalog, row, scratch.data(), "catalog", nullptr);
            if (!page.Fits(len)) {
                catalog_pages.emplace_back();
                std::memcpy(catalog_pages.back().data(), page.Finish(), kPage);
                page.Reset();
            }
            page.Add(scratch.data(), len);
        }
        catalog_pages.emplace_back();  // the last page, possibly empty
        std::memcpy(catalog_pages.back().data(), page.Finish(), kPage);
        for (std::size_t i = 0; i < catalog_pages.size(); ++i) catalog.data_pages.push_back(CheckedPage(next_page++));
        catalog.num_rows = layouts.size();
    }

    // User rows, streamed page by page. Every page takes the next number
    // when it is begun, so that the long-value pages a row's memos go to
    // can lie between a table's data pages.
    auto allocate = [&] { return CheckedPage(next_page++); };
    for (std::size_t ti = 0; ti < tables.size(); ++ti) {
        const Table& src = tables[ti];
        TableLayout& t = layouts[ti];
        LongValuePages long_values(file, allocate);
        DataPage page(t.tdef_page);
        t.data_pages.push_back(allocate());
        auto flush = [&] {
            file.WritePage(t.data_pages.back(), page.Finish());
            page.Reset();
        };
        const std::string where_prefix = "table '" + src.name + "' row ";
        auto add = [&](const Row& row, std::size_t i) {
            std::size_t len;
            try {
                len = EncodeRow(t, row, scratch.data(), "row", &long_values);
            } catch (const std::runtime_error& e) {
                throw std::runtime_error(where_prefix + std::to_string(i) + ": " + e.what());
            }
            if (!page.Fits(len)) {
                flush();
                t.data_pages.push_back(allocate());
            }
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
        long_values.Finish();
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
        const uint32_t first = t->data_pages.front(), last = t->data_pages.back();
        if (last - first < kInlineMapBits) {
            r.assign(5 + kInlineMapBits / 8, 0);
            Put32(&r[1], first);
            for (uint32_t p : t->data_pages) r[5 + (p - first) / 8] |= static_cast<uint8_t>(1u << ((p - first) % 8));
        } else {
            r.assign(1 + 4 * (last / kIndirectMapBits + 1), 0);
            r[0] = 0x01;
            for (uint32_t k = first / kIndirectMapBits; k <= last / kIndirectMapBits; ++k) indirect.push_back({t, k});
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
            for (uint64_t p : ind.table->data_pages)
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
    for (std::size_t i = 0; i < catalog_pages.size(); ++i) file.WritePage(catalog.data_pages[i], catalog_pages[i].data());
    std::array<uint8_t, kPage> zero{};
    file.WritePage(1, zero.data());
    file.WritePage(0, HeaderPage().data());
    file.Close();
}

}  // namespace mkmdb
