// The whole-file check's pass over the pages, first to last, a few dozen
// at a time: each page's type, the row-offset table of each data page, and
// whether a page is what the maps that claim it say it is.
#include <algorithm>

#include "jet/reader/check_state.h"
#include "jet/reader/failure.h"

namespace jet::reader {
namespace {

// Pages read at once.
constexpr size_t kPagesAtOnce = 64;

// The owner a long-value page names instead of a definition page: "LVAL".
constexpr uint32_t kLongValueOwner = 0x4C41564C;

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool CheckState::RowTable(uint32_t pg, const unsigned char* b, const std::string& table, std::vector<RowSpan>& rows) {
    const unsigned size = reader->File().PageSize();
    const unsigned rco = fmt->row_count_offset;
    const unsigned n = Get16(b + rco);
    const unsigned head = rco + 2 + 2 * n;
    rows.clear();
    if (head > size) {
        Damage("its row-offset table of " + std::to_string(n) + " rows runs past the page", table, pg);
        return false;
    }
    // Rows are stored from the page's end downwards: each begins at or
    // before the one before it, and none inside the offset table.
    unsigned end = size, lowest = size;
    bool whole = true;
    for (unsigned i = 0; i < n; ++i) {
        const uint16_t raw = Get16(b + rco + 2 + 2 * i);
        RowSpan r{raw & 0x1FFFu, end, static_cast<uint16_t>(raw & 0xE000)};
        const bool live = (r.flags & kDeletedRow) != kDeletedRow;
        auto say = [&](const std::string& what) {
            // A deleted row out of place harms no reader.
            if (live) Damage(what, table, pg, i);
            else Warn(what + " (a deleted row)", table, pg, i);
            if (live) whole = false;
        };
        if (r.flags & 0x2000) {
            // Never set by Jet, deleted row or not: a damaged offset.
            Damage("its offset has the unknown flag 0x2000", table, pg, i);
            whole = false;
        } else if (r.start < head) {
            say("it begins at byte " + std::to_string(r.start) + ", inside the row-offset table");
        } else if (r.start > end) {
            say("it begins at byte " + std::to_string(r.start) + ", after the row before it (at byte " +
                std::to_string(end) + "): the rows overlap");
        }
        if (r.start > end || r.start < head) r.start = r.end = end;
        rows.push_back(r);
        end = r.start;
        lowest = std::min(lowest, r.start);
    }
    // The free-space field: the room between the offset table and the
    // lowest row. Readers do not use it: a warning, but one worth having,
    // as Jet would write a new row over others where it says more.
    const unsigned free = Get16(b + 2), room = lowest - head;
    if (free != room)
        Warn("its free-space field says " + std::to_string(free) + " bytes are free where " + std::to_string(room) +
                 " are" + (free > room ? ": Jet would write a new row over others" : ""),
             table, pg);
    return whole;
}

void CheckState::CheckPage(uint32_t pg, const unsigned char* b, uint64_t& budget) {
    const unsigned size = reader->File().PageSize();
    const uint8_t type = b[0];
    const Claim c = static_cast<Claim>(claim[pg]);
    const size_t by = claimedBy[pg];
    const bool free = marks[pg] & kFree;
    if (pg == 0) return;  // the header, checked when the file was opened
    if (type == MDB_PAGE_INDEX || type == MDB_PAGE_LEAF) marks[pg] |= kIndexPage;
    std::vector<RowSpan> rows;
    if (pg == 1) {
        if (type == MDB_PAGE_DATA) RowTable(pg, b, {}, rows);
        return;
    }
    if (free && c == Claim::None) return;  // a free page may hold anything
    if (marks[pg] & kFileMap) return;      // checked as the file's map was read
    const std::string claimer = by ? tables[by - 1].name : std::string();
    const uint32_t owner = Get32(b + 4);
    const auto ownerTable = tableAt.find(owner);
    switch (c) {
    case Claim::Definition:
    case Claim::Bitmap:
        return;  // their types were checked as the definitions were read
    case Claim::Index:
        if (type != MDB_PAGE_INDEX && type != MDB_PAGE_LEAF)
            Damage("named by the usage map of its indexes, it is " + TypeName(type), claimer, pg);
        return;  // checked as its index is walked
    case Claim::LongValue:
        if (type != MDB_PAGE_DATA || owner != kLongValueOwner)
            Damage("named by the usage map of its long values, it is " + TypeName(type), claimer, pg);
        else
            RowTable(pg, b, claimer, rows);
        return;
    case Claim::Data: {
        if (type != MDB_PAGE_DATA || owner != tables[by - 1].tdefPage) {
            std::string is = TypeName(type);
            if (type == MDB_PAGE_DATA && owner == kLongValueOwner) is = "a long-value page";
            else if (type == MDB_PAGE_DATA && ownerTable != tableAt.end()) is = "a data page of " + tables[ownerTable->second].name;
            Damage("named by its usage map, it is not one of its data pages but " + is, claimer, pg);
            return;
        }
        const bool whole = RowTable(pg, b, claimer, rows);
        if (free) {
            const bool live = std::any_of(rows.begin(), rows.end(), [](const RowSpan& r) { return (r.flags & kDeletedRow) != kDeletedRow; });
            if (live)
                Damage("it is on its usage map and holds rows, but the file's map marks it free: Jet may give it to "
                       "another table",
                       claimer, pg);
            else
                Warn("it is on its usage map but marked free in the file's map", claimer, pg);
        }
        if (whole && tables[by - 1].usable) {
            const uint64_t before = longValueRowsRead;
            CheckRows(by - 1, pg, b, rows);
            budget -= std::min<uint64_t>(budget, rows.size() + (longValueRowsRead - before));
        }
        return;
    }
    case Claim::None: break;
    }
    // A page no map claims.
    switch (type) {
    case MDB_PAGE_DB:
        if (std::any_of(b, b + size, [](unsigned char x) { return x != 0; }))
            Warn("it is of type 0, which only the file's first page is", {}, pg);
        return;
    case MDB_PAGE_DATA: {
        if (owner == kLongValueOwner || owner == 0) {
            // Long values without a map of their own (some writers keep
            // none), and the pages that hold usage maps.
            RowTable(pg, b, {}, rows);
            return;
        }
        const std::string name = ownerTable != tableAt.end() ? tables[ownerTable->second].name : std::string();
        if (!RowTable(pg, b, name, rows)) return;
        const auto live = std::count_if(rows.begin(), rows.end(), [](const RowSpan& r) { return (r.flags & kDeletedRow) != kDeletedRow; });
        if (live == 0) return;
        // Told once for each table, at the end (CheckState::Rest); a table
        // whose definition is damaged has said so already.
        if (ownerTable != tableAt.end()) {
            CheckedTable& t = tables[ownerTable->second];
            if (!t.usable) return;
            if (t.strayPages++ == 0) t.firstStray = pg;
            t.strayRows += static_cast<uint64_t>(live);
        } else {
            if (orphanPages++ == 0) firstOrphan = pg;
            orphanRows += static_cast<uint64_t>(live);
        }
        return;
    }
    case MDB_PAGE_TABLE:
        Warn("a table definition that the catalogue does not name", {}, pg);
        return;
    case MDB_PAGE_INDEX:
    case MDB_PAGE_LEAF:
        if (ownerTable == tableAt.end())
            Warn("an index page of no table (its owner is page " + std::to_string(owner) + ")", {}, pg);
        return;  // one of a table's: whether an index reaches it is seen as they are walked
    case MDB_PAGE_MAP:
        Warn("a bitmap page that no usage map names", {}, pg);
        return;
    default:
        Warn("a page of unknown type " + std::to_string(type), {}, pg);
        return;
    }
}

bool CheckState::ScanPages(uint64_t& budget) {
    const RawFile& f = reader->File();
    std::vector<unsigned char> buffer;
    while (nextPage < f.Pages() && budget > 0) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(kPagesAtOnce, f.Pages() - nextPage));
        buffer.resize(count * f.PageSize());
        f.ReadPages(nextPage, count, buffer.data());
        for (size_t i = 0; i < count; ++i) {
            CheckPage(static_cast<uint32_t>(nextPage), buffer.data() + i * f.PageSize(), budget);
            ++nextPage;
            ++workDone;
            if (budget > 0) --budget;
            if (budget == 0) break;
        }
    }
    return nextPage < f.Pages();
}

}  // namespace jet::reader
