// What the whole-file check (check.h) keeps between its batches, shared by
// its parts: check.cpp (the file, the definitions, the order of the parts
// and the findings), check_pages.cpp (the pages), check_rows.cpp (rows,
// long values, overflow pointers) and check_indexes.cpp (indexes).
#pragma once

// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <mdbtools.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/reader/check.h"
#include "jet/reader/check_layout.h"
#include "jet/reader/page_checks.h"
#include "jet/reader/tables.h"
#include "jet/reader_protocol.h"

namespace jet::reader {

enum class Severity : uint8_t { Damaged = 0, Warning = 1, Note = 2 };

// Sends findings as 'F' frames. Only the first kMostFindings are sent; the
// rest are counted, and said in one finding at the end.
class Findings {
public:
    static constexpr uint32_t kMostFindings = 200;

    explicit Findings(Output& out) : out_(out) {}
    void Add(Severity severity, const std::string& what, const std::string& table = {}, uint32_t page = kNoPlace,
             uint32_t row = kNoPlace);
    // Findings sent, and their bytes, since the last call.
    uint32_t TakeSent();
    uint64_t BytesSent() const { return bytes_; }
    // The finding that counts those not sent, when there are any.
    void SayUnsent();

private:
    Output& out_;
    uint32_t sent_ = 0, batch_ = 0;
    uint64_t bytes_ = 0;
    uint64_t unsent_ = 0;
    bool unsentDamage_ = false;
};

// What claims a page: the definition of a table, or one of its usage maps.
enum class Claim : uint8_t { None = 0, Definition, Data, Index, LongValue, Bitmap };

// Rows as an index names them, counted and summed by a hash of their
// addresses: two sets of rows with the same count and sum are, but for a
// chance of one in 2^64, the same set.
struct RowTally {
    uint64_t count = 0, sum = 0;
    void Add(uint32_t pgRow);
    bool operator==(const RowTally&) const = default;
};

struct CheckedTable {
    std::string name;
    uint32_t tdefPage = 0;
    bool usable = false;  // its definition was read: its pages, rows and indexes are checked
    bool newDefinition = false;  // a page of its definition is new: every row's values are decoded
    TableLayout layout;
    TablePtr def;                     // libmdb's reading, columns too
    std::vector<MdbField> fields;
    std::vector<int> columnOfNumber;  // column number -> libmdb's index, -1 when none
    RowTally rows;                    // rows and overflow pointers, as an index names them
    // Per index that leaves out Nulls: the rows whose key columns all hold
    // a value, and those where any does (which of the two Jet means is not
    // told by the flag).
    std::vector<RowTally> allKeys, anyKey;
    bool keysKnown = true;            // every row's key columns were read
    uint32_t rowFindings = 0;         // rows found damaged
    // Its data pages with rows that its usage map does not name: said
    // once, at the end, with the first.
    uint64_t strayPages = 0, strayRows = 0;
    uint32_t firstStray = 0;
};

// An overflow pointer (a row whose offset has 0x4000): the row it points
// at must be a moved row (0x8000) of the same table.
struct Pointer {
    uint32_t table, from, to;
};
struct MovedRow {
    uint32_t table;
    uint32_t pointedAt = 0;
    uint32_t allKeys = 0, anyKey = 0;  // per index that leaves out Nulls (bit i: index i)
};

// Damaged rows said for one table; the rest are counted.
inline constexpr uint32_t kMostRowFindings = 100;

// A row of a data page as its row-offset table gives it: [start, end) and
// the flags of its offset. 0x4000 alone: an overflow pointer (the row's
// first four bytes name the row that holds its data); 0x8000 alone: that
// moved row, read in its place by libmdb and through its pointer by Jet;
// both: deleted.
struct RowSpan {
    unsigned start = 0, end = 0;
    uint16_t flags = 0;
};
inline constexpr uint16_t kOverflowRow = 0x4000, kMovedRow = 0x8000, kDeletedRow = 0xC000;

enum class Part { Definitions, Pages, Rows, Indexes, Rest, Done };

// One index being walked, level by level from its root: each level is a
// chain of pages (next pointers); the pages a level's entries point at
// are the next level's chain, which may go on past them with the tail
// page that Jet adds at the end before it updates the tree.
struct IndexWalk {
    size_t table = 0, index = 0;
    bool started = false;
    uint32_t page = 0, previous = 0;  // the page to read next in the level, and the one before it
    bool leaf = false;
    int level = 0;
    std::vector<uint32_t> children, nextChildren;
    size_t childAt = 0;               // how many of `children` the level has met so far
    uint32_t tail = 0, nextTail = 0;
    std::string last;                 // the last entry of the level so far
    bool orderNoted = false;
    RowTally entries;
    uint64_t pages = 0;
};

class CheckState {
public:
    CheckState(const std::string& path, Output& out, Noise& noise, size_t valueBytes,
               std::optional<std::string> newPages);

    // Whether page pg is new (check.h): its rows' values are decoded.
    bool IsNew(uint64_t pg) const {
        return !newPages || (pg / 8 < newPages->size() && (static_cast<uint8_t>((*newPages)[pg / 8]) >> (pg % 8) & 1));
    }

    // check.cpp
    void Batch(uint32_t bytes);
    void Definitions();
    void ClaimPage(uint64_t page, Claim claim, size_t table, const std::string& what);
    // What the pages told once they are all read: the overflow pointers,
    // and the rows no usage map names.
    void AfterPages();
    void Rest();
    void Damage(const std::string& what, const std::string& table = {}, uint32_t page = kNoPlace,
                uint32_t row = kNoPlace) {
        findings.Add(Severity::Damaged, what, table, page, row);
    }
    void Warn(const std::string& what, const std::string& table = {}, uint32_t page = kNoPlace,
              uint32_t row = kNoPlace) {
        findings.Add(Severity::Warning, what, table, page, row);
    }
    std::string TypeName(uint8_t type) const;

    // check_pages.cpp: up to `budget` units of work; false once every page is done.
    bool ScanPages(uint64_t& budget);
    void CheckPage(uint32_t pg, const unsigned char* page, uint64_t& budget);
    // The rows of data page `pg`; findings (under `table`, empty for none)
    // for a row-offset table that does not hold together. False when its
    // rows cannot be told apart.
    bool RowTable(uint32_t pg, const unsigned char* page, const std::string& table, std::vector<RowSpan>& rows);
    // check_rows.cpp
    void CheckRows(size_t table, uint32_t pg, const unsigned char* page, const std::vector<RowSpan>& rows);
    // Follows the long value of `field` (column `col`, a Memo or OLE Object)
    // to its end; Damaged when it does not hold what its header says.
    // Its text is decoded when `decode`, or when a part lies on a new page.
    void CheckLongValue(size_t table, const MdbColumn& col, const MdbField& field, bool decode);
    void CheckPointers();
    // check_indexes.cpp: up to `budget` units of work; false once every index is done.
    bool WalkIndexes(uint64_t& budget);

    Output& out;
    Noise& noise;
    size_t valueBytes;
    std::optional<std::string> newPages;  // none: every page is new
    Findings findings;
    std::optional<RawFile> file;
    std::unique_ptr<Reader> reader;
    const MdbFormatConstants* fmt = nullptr;
    Part part = Part::Definitions;

    // The catalogue's own entry where the catalogue holds none for itself
    // (libmdb's reading of a table keeps a pointer to its entry).
    MdbCatalogEntry catalogueEntry{};
    std::vector<CheckedTable> tables;
    std::unordered_map<uint32_t, size_t> tableAt;  // first definition page -> table
    // Per page: what claims it (a Claim and the table's index + 1), whether
    // the file's map marks it free, whether it is an index page, whether
    // an index walk reached it, and whether it is a bitmap page of the
    // file's map.
    std::vector<uint8_t> claim;
    std::vector<uint32_t> claimedBy;
    std::vector<uint8_t> marks;
    static constexpr uint8_t kFree = 1, kIndexPage = 2, kReached = 4, kFileMap = 8;
    bool haveFreeMap = false;

    uint64_t nextPage = 0;  // the scan's position
    uint64_t workDone = 0, workTotal = 0;

    // Data pages with rows whose owner is no table: said once, at the end.
    uint64_t orphanPages = 0, orphanRows = 0;
    uint32_t firstOrphan = 0;

    std::vector<Pointer> pointers;
    std::unordered_map<uint32_t, MovedRow> moved;
    // Long-value rows that a value has been found on, by page: a row met
    // twice belongs to two values.
    std::unordered_map<uint32_t, std::array<uint64_t, 4>> longValueRows;
    // Long-value rows followed so far: work that a batch counts too.
    uint64_t longValueRowsRead = 0;
    // The last long-value pages read, so that a chain on one page costs one read.
    std::unordered_map<uint32_t, std::vector<unsigned char>> pageCache;

    IndexWalk walk;
};

}  // namespace jet::reader
