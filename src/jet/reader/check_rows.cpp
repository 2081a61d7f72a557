// The whole-file check's rows: each row of a table's data page decoded in
// every column as libmdb decodes it (mdb_crack_row, then values.h), each
// long value followed to its end, and the overflow pointers matched with
// the rows they move to.
#include <algorithm>
#include <cstring>

#include "jet/reader/check_state.h"
#include "jet/reader/failure.h"
#include "jet/reader/long_values.h"
#include "jet/reader/values.h"

namespace jet::reader {
namespace {

constexpr uint32_t kInline = 0x80000000u, kSinglePage = 0x40000000u, kLengthMask = 0x3FFFFFFFu;
constexpr uint32_t kLongValueOwner = 0x4C41564C;
// Long-value pages kept read at once.
constexpr size_t kCachedPages = 64;

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

std::string RowAt(uint32_t pgRow) {
    return "row " + std::to_string(pgRow & 0xff) + " of page " + std::to_string(pgRow >> 8);
}

MdbColumn* Column(const MdbTableDef& t, unsigned i) { return static_cast<MdbColumn*>(g_ptr_array_index(t.columns, i)); }

}  // namespace

void CheckState::CheckLongValue(size_t table, const MdbColumn& col, const MdbField& field, bool decode) {
    if (field.is_null) return;
    MdbHandle* mdb = reader->Handle();
    const RawFile& f = reader->File();
    const int size = field.siz;
    if (field.start < 0 || size < 0 || field.start + size > static_cast<int>(f.PageSize()))
        Damaged("column " + std::string(col.name) + ": its value lies outside its page");
    if (size < MDB_MEMO_OVERHEAD) Damaged("column " + std::string(col.name) + ": a long value shorter than its header");
    const unsigned char* head = mdb->pg_buf + field.start;
    const uint32_t word = Get32(head);
    const size_t length = word & kLengthMask;
    const std::string what = "column " + std::string(col.name) + ": its long value";
    if ((word & (kInline | kSinglePage)) == (kInline | kSinglePage)) Damaged(what + " is of an unknown kind");
    // Text is converted to see that it decodes; only as much as the
    // reader may hold of one value is kept for that.
    const bool text = col.col_type == MDB_MEMO;
    const bool keep = text && length <= valueBytes;
    bool onNewPage = decode;
    std::string bytes;
    if (word & kInline) {
        // The row keeps the header and the value, nothing more.
        if (length != static_cast<size_t>(size - MDB_MEMO_OVERHEAD))
            Damaged(what + " of " + std::to_string(length) + " bytes takes " + std::to_string(size - MDB_MEMO_OVERHEAD) +
                    " bytes of its row");
        if (keep) bytes.assign(reinterpret_cast<const char*>(head + MDB_MEMO_OVERHEAD), length);
    } else {
        // One long-value row, or a chain of them each beginning with the
        // address of the next. Every row is a live row of a long-value
        // page, belongs to this value alone, and is met once.
        std::vector<uint32_t> chain;
        size_t got = 0;
        uint32_t at = Get32(head + 4);
        const bool single = word & kSinglePage;
        while (true) {
            if (at == 0)
                Damaged(what + " of " + std::to_string(length) + " bytes ends " + std::to_string(length - got) +
                        " bytes early");
            if (std::find(chain.begin(), chain.end(), at) != chain.end())
                Damaged(what + " comes back to " + RowAt(at) + ": a loop");
            chain.push_back(at);
            ++longValueRowsRead;
            const uint32_t pg = at >> 8, row = at & 0xff;
            if (pg == 0 || pg >= claim.size())
                Damaged(what + " points at page " + std::to_string(pg) + ", outside the file");
            onNewPage = onNewPage || IsNew(pg);
            auto cached = pageCache.find(pg);
            if (cached == pageCache.end()) {
                if (pageCache.size() >= kCachedPages) pageCache.clear();
                cached = pageCache.emplace(pg, f.Page(pg)).first;
            }
            const unsigned char* p = cached->second.data();
            if (p[0] != MDB_PAGE_DATA || Get32(p + 4) != kLongValueOwner)
                Damaged(what + " points at page " + std::to_string(pg) + ", which is " +
                        (p[0] == MDB_PAGE_DATA ? std::string("not a long-value page") : TypeName(p[0])));
            if (claim[pg] == static_cast<uint8_t>(Claim::LongValue) && claimedBy[pg] != table + 1)
                Damaged(what + " lies on page " + std::to_string(pg) + ", which holds the long values of " +
                        tables[claimedBy[pg] - 1].name);
            const unsigned rco = fmt->row_count_offset, rows = Get16(p + rco);
            if (row >= rows || rco + 2 + 2 * rows > f.PageSize())
                Damaged(what + " points at " + RowAt(at) + ", which the page does not hold");
            const uint16_t raw = Get16(p + rco + 2 + 2 * row);
            const unsigned start = raw & 0x1FFF;
            const unsigned end = row == 0 ? f.PageSize() : (Get16(p + rco + 2 * row) & 0x1FFF);
            if (raw & 0xE000) Damaged(what + " points at " + RowAt(at) + ", a deleted row");
            if (start > end || end > f.PageSize()) Damaged(what + " points at " + RowAt(at) + ", outside its page");
            auto& seen = longValueRows[pg];
            if (seen[row / 64] & (uint64_t{1} << (row % 64)))
                Damaged(what + " lies on " + RowAt(at) + ", which holds a part of another value");
            seen[row / 64] |= uint64_t{1} << (row % 64);
            const unsigned char* data = p + start;
            size_t partLength = end - start;
            if (single) {
                if (partLength != length)
                    Damaged(what + " of " + std::to_string(length) + " bytes lies on " + RowAt(at) + " of " +
                            std::to_string(partLength) + " bytes");
                if (keep) bytes.assign(reinterpret_cast<const char*>(data), length);
                break;
            }
            if (partLength < 4) Damaged(what + " continues on " + RowAt(at) + ", too short for the next address");
            const uint32_t next = Get32(data);
            data += 4;
            partLength -= 4;
            if (got + partLength > length)
                Damaged(what + " of " + std::to_string(length) + " bytes runs on past its length on " + RowAt(at));
            if (keep) bytes.append(reinterpret_cast<const char*>(data), partLength);
            got += partLength;
            if (got == length) {
                if (next != 0) Damaged(what + " is whole on " + RowAt(at) + ", but the chain goes on");
                break;
            }
            at = next;
        }
    }
    if (keep && onNewPage) JetText(mdb, bytes.data(), bytes.size());
}

void CheckState::CheckRows(size_t table, uint32_t pg, const unsigned char* page, const std::vector<RowSpan>& rows) {
    CheckedTable& t = tables[table];
    MdbHandle* mdb = reader->Handle();
    const RawFile& f = reader->File();
    std::memcpy(mdb->pg_buf, page, f.PageSize());
    std::vector<bool> hasValue(t.def->num_cols);
    // A page a good file held decodes as it did then: its values are
    // converted again only when it, or its table's definition, is new.
    const bool decode = t.newDefinition || IsNew(pg);
    for (uint32_t i = 0; i < rows.size(); ++i) {
        const RowSpan& r = rows[i];
        const uint32_t id = pg << 8 | i;
        if ((r.flags & kDeletedRow) == kDeletedRow) continue;
        if (r.flags == kOverflowRow) {
            // Its data is elsewhere; indexes name it here.
            t.rows.Add(id);
            if (r.end - r.start < 4) {
                if (++t.rowFindings <= kMostRowFindings)
                    Damage("its overflow pointer is " + std::to_string(r.end - r.start) + " bytes long", t.name, pg, i);
                continue;
            }
            pointers.push_back({static_cast<uint32_t>(table), id, Get32(page + r.start)});
            continue;
        }
        uint32_t allKeys = 0, anyKey = 0;
        try {
            if (mdb_crack_row(t.def.get(), static_cast<int>(r.start), r.end - r.start, t.fields.data()) < 0)
                Damaged("the row cannot be decoded");
            // Every value lies inside its row: a row whose table of
            // variable offsets was damaged decodes, without a word from
            // libmdb, as bytes of other columns or from outside the row.
            for (unsigned c = 0; c < t.def->num_cols; ++c) {
                const MdbField& field = t.fields[c];
                if (!field.is_null && !field.is_fixed &&
                    (field.siz < 0 || field.start < static_cast<int>(r.start) ||
                     field.start + field.siz > static_cast<int>(r.end)))
                    Damaged("a value of " + std::to_string(field.siz) + " bytes at " + std::to_string(field.start) +
                            " lies outside its row");
            }
            ValueSource source{mdb, f, valueBytes, true};
            std::fill(hasValue.begin(), hasValue.end(), false);
            for (unsigned c = 0; c < t.def->num_cols; ++c) {
                const MdbField& field = t.fields[c];
                if (field.colnum < 0 || static_cast<unsigned>(field.colnum) >= t.def->num_cols)
                    Damaged("the row names a column the table lacks");
                const MdbColumn& col = *Column(*t.def, static_cast<unsigned>(field.colnum));
                hasValue[static_cast<size_t>(field.colnum)] = col.col_type == MDB_BOOL || !field.is_null;
                if (col.col_type == MDB_MEMO || col.col_type == MDB_OLE) CheckLongValue(table, col, field, decode);
                else if (decode) Convert(source, col, field);
            }
            // Which of the indexes that leave out Nulls would hold it.
            for (size_t k = 0; k < t.layout.indexes.size() && k < 32; ++k) {
                const IndexLayout& x = t.layout.indexes[k];
                if (!x.IgnoresNulls()) continue;
                bool all = !x.keys.empty(), any = false;
                for (uint16_t number : x.keys) {
                    const int c = number < t.columnOfNumber.size() ? t.columnOfNumber[number] : -1;
                    const bool has = c >= 0 && hasValue[static_cast<size_t>(c)];
                    all = all && has;
                    any = any || has;
                }
                if (all) allKeys |= 1u << k;
                if (any) anyKey |= 1u << k;
            }
        } catch (const Failure& e) {
            t.keysKnown = false;
            if (e.number == kSystemResourceExceeded) {
                findings.Add(Severity::Note, "a value is too long for the check to read it whole", t.name, pg, i);
            } else if (++t.rowFindings <= kMostRowFindings) {
                Damage(e.description, t.name, pg, i);
            }
        }
        if (r.flags == kMovedRow) {
            moved[id] = MovedRow{static_cast<uint32_t>(table), 0, allKeys, anyKey};
            continue;
        }
        t.rows.Add(id);
        for (size_t k = 0; k < t.layout.indexes.size() && k < 32; ++k) {
            if (allKeys & (1u << k)) t.allKeys[k].Add(id);
            if (anyKey & (1u << k)) t.anyKey[k].Add(id);
        }
    }
    if (t.layout.indexes.size() > 32) t.keysKnown = false;
    if (noise.Grew()) {
        try {
            noise.Check();
        } catch (const Failure& e) {
            Damage(e.description, t.name, pg);
        }
        noise.Begin();
    }
}

void CheckState::CheckPointers() {
    for (const Pointer& p : pointers) {
        CheckedTable& t = tables[p.table];
        const auto target = moved.find(p.to);
        if (target == moved.end() || target->second.table != p.table) {
            Damage("its overflow pointer leads to " + RowAt(p.to) + ", which is not a moved row of the table", t.name,
                   p.from >> 8, p.from & 0xff);
            continue;
        }
        if (target->second.pointedAt++ > 0) {
            Damage("its overflow pointer leads to " + RowAt(p.to) + ", to which another row points too", t.name,
                   p.from >> 8, p.from & 0xff);
            continue;
        }
        for (size_t k = 0; k < t.layout.indexes.size() && k < 32; ++k) {
            if (target->second.allKeys & (1u << k)) t.allKeys[k].Add(p.from);
            if (target->second.anyKey & (1u << k)) t.anyKey[k].Add(p.from);
        }
    }
    for (const auto& [id, row] : moved)
        if (row.pointedAt == 0)
            Damage("a moved row that no overflow pointer leads to: Jet does not find it", tables[row.table].name,
                   id >> 8, id & 0xff);
    pointers.clear();
    moved.clear();
    pageCache.clear();
}

}  // namespace jet::reader
