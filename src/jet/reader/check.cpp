// The whole-file check: the file and its catalogue, the table definitions
// and what their usage maps claim, the order of the parts and the findings.
#include "jet/reader/check.h"

#include <algorithm>

#include "jet/reader/check_state.h"
#include "jet/reader/failure.h"

namespace jet::reader {
namespace {

// The work of one batch: a page read, a row decoded or an index page
// walked is one unit. A few milliseconds to a few hundred, far within the
// reader's CPU seconds and wall-clock deadline for one request.
constexpr uint64_t kBatchWork = 20000;

const char* ClaimName(Claim c) {
    switch (c) {
    case Claim::Definition: return "definition";
    case Claim::Data: return "usage map";
    case Claim::Index: return "index usage map";
    case Claim::LongValue: return "long-value usage map";
    case Claim::Bitmap: return "usage map's bitmap";
    case Claim::None: break;
    }
    return "nothing";
}

}  // namespace

void RowTally::Add(uint32_t pgRow) {
    // splitmix64's finaliser: every bit of the address moves every bit of the sum.
    uint64_t z = pgRow + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    sum += z ^ (z >> 31);
    ++count;
}

void Findings::Add(Severity severity, const std::string& what, const std::string& table, uint32_t page, uint32_t row) {
    if (sent_ >= kMostFindings) {
        ++unsent_;
        unsentDamage_ = unsentDamage_ || severity == Severity::Damaged;
        return;
    }
    std::string p;
    p.push_back(static_cast<char>(severity));
    PutText(p, what.substr(0, 1000));
    PutText(p, table);
    PutU32(p, page);
    PutU32(p, row);
    out_.Frame('F', p);
    ++sent_;
    ++batch_;
    bytes_ += p.size() + 5;
}

uint32_t Findings::TakeSent() {
    const uint32_t n = batch_;
    batch_ = 0;
    return n;
}

void Findings::SayUnsent() {
    if (unsent_ == 0) return;
    const uint64_t n = unsent_;
    unsent_ = 0;
    sent_ = 0;  // room for this one
    Add(unsentDamage_ ? Severity::Damaged : Severity::Warning,
        std::to_string(n) + " more findings, not listed");
    sent_ = kMostFindings;
}

CheckState::CheckState(const std::string& path, Output& o, Noise& n, size_t bytes,
                       std::optional<std::string> changed)
    : out(o), noise(n), valueBytes(bytes), newPages(std::move(changed)), findings(o) {
    if (IsNew(0)) newPages.reset();
    noise.Begin();
    try {
        reader = std::make_unique<Reader>(path, out, noise, valueBytes);
    } catch (const Failure& f) {
        // A file that cannot be opened at all is the request's error.
        if (f.number != vb::kUnrecognizedFormat && !noise.Grew()) throw;
        Damage(f.number == vb::kUnrecognizedFormat ? f.description : "libmdb reported an error");
        part = Part::Done;
        return;
    }
    fmt = reader->Handle()->fmt;
    const uint64_t pages = reader->File().Pages();
    claim.assign(pages, 0);
    claimedBy.assign(pages, 0);
    marks.assign(pages, 0);
    workTotal = pages;
}

std::string CheckState::TypeName(uint8_t type) const {
    switch (type) {
    case MDB_PAGE_DB: return "an unused page";
    case MDB_PAGE_DATA: return "a data page";
    case MDB_PAGE_TABLE: return "a table definition";
    case MDB_PAGE_INDEX: return "an index page";
    case MDB_PAGE_LEAF: return "an index leaf page";
    case MDB_PAGE_MAP: return "a bitmap page";
    default: return "a page of unknown type " + std::to_string(type);
    }
}

void CheckState::ClaimPage(uint64_t page, Claim kind, size_t table, const std::string& what) {
    const CheckedTable& t = tables[table];
    if (page >= claim.size()) {
        Damage("its " + what + " names page " + std::to_string(page) + ", past the file's " +
                   std::to_string(claim.size()) + " pages",
               t.name);
        return;
    }
    auto& c = claim[page];
    if (c == static_cast<uint8_t>(Claim::None)) {
        c = static_cast<uint8_t>(kind);
        claimedBy[page] = static_cast<uint32_t>(table + 1);
        return;
    }
    if (c == static_cast<uint8_t>(kind) && claimedBy[page] == table + 1) return;
    const CheckedTable& other = tables[claimedBy[page] - 1];
    Damage("page " + std::to_string(page) + " is claimed by its " + what + " and by the " +
               ClaimName(static_cast<Claim>(c)) + " of " + other.name,
           t.name, static_cast<uint32_t>(page));
}

void CheckState::Definitions() {
    const RawFile& f = reader->File();
    MdbHandle* mdb = reader->Handle();

    // Page 1: the file's map of free pages, in its first row. A page it
    // marks free may hold anything (a dropped table's old rows). A file
    // without one (all zeros) has no pages marked free.
    const auto first = f.Page(1);
    if (first[0] == MDB_PAGE_DATA) {
        // Its rows (two in the files Jet writes) each map free pages; a
        // map kept on bitmap pages claims those for the file.
        const unsigned rows = std::min<unsigned>(U16(first, fmt->row_count_offset), 2);
        for (unsigned row = 0; row < rows; ++row) {
            try {
                ForEachMapped(
                    f, MapRow(f, *fmt, 1u << 8 | row),
                    [&](uint64_t pg) {
                        if (pg < marks.size()) marks[pg] |= kFree;
                    },
                    [&](uint32_t bitmap) { marks[bitmap] |= kFileMap; });
            } catch (const Failure& e) {
                Warn("the file's map of free pages cannot be read: " + e.description, {}, 1);
            }
        }
    } else if (std::any_of(first.begin(), first.end(), [](unsigned char b) { return b != 0; })) {
        Warn("page 1, where the file keeps its map of free pages, is " + TypeName(first[0]), {}, 1);
    }

    // Every table of the catalogue, the system tables too; the catalogue's
    // own (on page 2) even where it names no row for itself.
    std::vector<MdbCatalogEntry*> entries;
    MdbCatalogEntry& catalogue = catalogueEntry;
    for (unsigned i = 0; mdb->catalog && i < mdb->catalog->len; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type == MDB_TABLE) entries.push_back(e);
    }
    if (std::none_of(entries.begin(), entries.end(), [](const MdbCatalogEntry* e) { return e->table_pg == 2; })) {
        catalogue.mdb = mdb;
        snprintf(catalogue.object_name, sizeof catalogue.object_name, "%s", "MSysObjects");
        catalogue.object_type = MDB_TABLE;
        catalogue.table_pg = 2;
        entries.insert(entries.begin(), &catalogue);
    }
    for (MdbCatalogEntry* e : entries) {
        CheckedTable t;
        t.name = e->object_name;
        t.tdefPage = static_cast<uint32_t>(e->table_pg);
        if (const auto seen = tableAt.find(t.tdefPage); seen != tableAt.end()) {
            Damage("the catalogue gives its definition page to " + tables[seen->second].name + " too", t.name,
                   t.tdefPage);
            tables.push_back(std::move(t));
            continue;
        }
        try {
            t.layout = ReadTableLayout(f, *fmt, t.tdefPage);
            noise.Begin();
            t.def.reset(mdb_read_table(e));
            if (!t.def) Damaged("libmdb cannot read its definition");
            if (!mdb_read_columns(t.def.get())) Damaged("libmdb cannot read its columns");
            noise.Check();
            if (t.def->num_cols != t.layout.columns.size())
                Damaged("libmdb reads " + std::to_string(t.def->num_cols) + " of its " +
                        std::to_string(t.layout.columns.size()) + " columns");
            t.fields.resize(t.def->num_cols);
            for (unsigned c = 0; c < t.def->num_cols; ++c) {
                const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(t.def->columns, c));
                const auto number = static_cast<size_t>(col->col_num);
                if (number >= t.columnOfNumber.size()) t.columnOfNumber.resize(number + 1, -1);
                t.columnOfNumber[number] = static_cast<int>(c);
            }
            for (const std::string& what : t.layout.unclear) findings.Add(Severity::Note, what, t.name, t.tdefPage);
            t.allKeys.resize(t.layout.indexes.size());
            t.anyKey.resize(t.layout.indexes.size());
            t.usable = true;
            t.newDefinition = IsNew(t.tdefPage) || std::any_of(t.layout.pages.begin(), t.layout.pages.end(),
                                                               [this](uint32_t pg) { return IsNew(pg); });
        } catch (const Failure& e) {
            Damage(e.description, t.name, t.tdefPage);
            t.def.reset();
            noise.Begin();
        }
        tableAt[t.tdefPage] = tables.size();
        tables.push_back(std::move(t));
    }

    // What each usable table claims: its definition's pages, the data
    // pages its usage map names, its indexes' pages and its long values'.
    for (size_t i = 0; i < tables.size(); ++i) {
        CheckedTable& t = tables[i];
        if (!t.usable) {
            // Said already; its first page is its own all the same.
            if (t.tdefPage < claim.size() && claim[t.tdefPage] == static_cast<uint8_t>(Claim::None)) {
                claim[t.tdefPage] = static_cast<uint8_t>(Claim::Definition);
                claimedBy[t.tdefPage] = static_cast<uint32_t>(i + 1);
            }
            continue;
        }
        for (uint32_t pg : t.layout.pages) ClaimPage(pg, Claim::Definition, i, "definition");
        auto claimMap = [&](uint32_t pgRow, Claim kind, const std::string& what) {
            try {
                ForEachMapped(
                    f, MapRow(f, *fmt, pgRow), [&](uint64_t pg) { ClaimPage(pg, kind, i, what); },
                    [&](uint32_t bitmap) { ClaimPage(bitmap, Claim::Bitmap, i, what + "'s bitmap"); });
            } catch (const Failure& e) {
                Damage("its " + what + " cannot be read: " + e.description, t.name, pgRow >> 8);
                if (kind == Claim::Data) t.usable = false;
            }
        };
        claimMap(t.layout.usageMap, Claim::Data, "usage map");
        for (const IndexLayout& x : t.layout.indexes) claimMap(x.usageMap, Claim::Index, "usage map of " + x.name);
        for (const LongValueMap& m : t.layout.longValueMaps)
            claimMap(m.usageMap, Claim::LongValue, "long-value usage map of column " + std::to_string(m.column));
    }
    // The free-space maps name pages of the table with room for a row.
    for (size_t i = 0; i < tables.size(); ++i) {
        CheckedTable& t = tables[i];
        if (!t.usable || t.layout.freeMap == t.layout.usageMap) continue;
        uint64_t stray = 0, at = 0;
        try {
            ForEachMapped(f, MapRow(f, *fmt, t.layout.freeMap), [&](uint64_t pg) {
                if (pg < claim.size() && claim[pg] == static_cast<uint8_t>(Claim::Data) && claimedBy[pg] == i + 1) return;
                if (stray++ == 0) at = pg;
            });
        } catch (const Failure& e) {
            Warn("its free-space map cannot be read: " + e.description, t.name, t.layout.freeMap >> 8);
        }
        if (stray)
            Warn("its free-space map names " + std::to_string(stray) + " pages that are not its own, the first " +
                     std::to_string(at),
                 t.name, static_cast<uint32_t>(at));
    }
    for (uint64_t pg = 0; pg < claim.size(); ++pg)
        if (claim[pg] == static_cast<uint8_t>(Claim::Index)) ++workTotal;
}

void CheckState::AfterPages() {
    CheckPointers();
    if (orphanPages)
        Warn(std::to_string(orphanRows) + " rows on " + std::to_string(orphanPages) +
                 " data pages of no table, the first on page " + std::to_string(firstOrphan),
             {}, firstOrphan);
    for (const CheckedTable& t : tables)
        if (t.usable && t.strayPages)
            Damage(std::to_string(t.strayRows) + " of its rows on " + std::to_string(t.strayPages) +
                       " pages lie outside its usage map, the first on page " + std::to_string(t.firstStray) +
                       ": no reader finds them",
                   t.name, t.firstStray);
}

void CheckState::Rest() {
    // Index pages that no index reached: stale, or lost from an index.
    for (uint64_t pg = 0; pg < marks.size(); ++pg) {
        if ((marks[pg] & (kIndexPage | kReached | kFree)) != kIndexPage) continue;
        if (claim[pg] == static_cast<uint8_t>(Claim::Index) && claimedBy[pg] > 0)
            Warn("an index page on the usage map of its indexes that no index reaches",
                 tables[claimedBy[pg] - 1].name, static_cast<uint32_t>(pg));
    }
    for (const CheckedTable& t : tables) {
        if (!t.usable) continue;
        if (t.rowFindings > kMostRowFindings)
            Damage(std::to_string(t.rowFindings - kMostRowFindings) + " more damaged rows, not listed", t.name);
        if (t.rows.count != t.layout.rows)
            Warn("its definition counts " + std::to_string(t.layout.rows) + " rows; " +
                     std::to_string(t.rows.count) + " were found",
                 t.name, t.tdefPage);
    }
    findings.SayUnsent();
}

void CheckState::Batch(uint32_t bytes) {
    noise.Begin();
    uint64_t budget = kBatchWork;
    const uint64_t startBytes = findings.BytesSent();
    while (part != Part::Done && budget > 0 && findings.BytesSent() - startBytes < bytes) {
        switch (part) {
        case Part::Definitions:
            Definitions();
            part = Part::Pages;
            break;
        case Part::Pages:
            if (!ScanPages(budget)) part = Part::Rows;
            break;
        case Part::Rows:
            AfterPages();
            part = Part::Indexes;
            break;
        case Part::Indexes:
            if (!WalkIndexes(budget)) part = Part::Rest;
            break;
        case Part::Rest:
            Rest();
            part = Part::Done;
            break;
        case Part::Done: break;
        }
    }
    std::string end;
    if (part == Part::Done) {
        PutU32(end, findings.TakeSent());
        out.Frame('Z', end);
    } else {
        PutU32(end, findings.TakeSent());
        PutU64(end, std::min(workDone, workTotal));
        PutU64(end, workTotal);
        out.Frame('W', end);
    }
}

FileCheck::FileCheck(const std::string& path, Output& out, Noise& noise, size_t valueBytes,
                     std::optional<std::string> newPages)
    : state_(std::make_unique<CheckState>(path, out, noise, valueBytes, std::move(newPages))) {}

FileCheck::~FileCheck() = default;

void FileCheck::Batch(uint32_t bytes) { state_->Batch(bytes); }

bool FileCheck::Ended() const { return state_->part == Part::Done; }

}  // namespace jet::reader
