// The whole-file check's indexes, each walked level by level from its
// root. An index page (0x03 between the root and the leaves, 0x04 a leaf)
// holds a bitmap of where its entries begin and, from a fixed offset,
// the entries: the first whole, the others without the prefix they share
// with it. An entry is the key's bytes (built so that they sort as the
// index does), then the row's page (three bytes, big-endian) and number;
// above the leaves, then the page of the level below where that entry's
// part of the index is. Entries rise from the first leaf to the last.
#include <algorithm>

#include "jet/reader/check_state.h"
#include "jet/reader/failure.h"

namespace jet::reader {
namespace {

struct PageLayout {
    unsigned prev, next, tail, prefix, mask, entries;
};
constexpr PageLayout kJet3{8, 12, 16, 20, 0x16, 0xF8};
constexpr PageLayout kJet4{12, 16, 20, 24, 0x1B, 0x1E0};

// An index more levels deep than this holds more entries than any file.
constexpr int kMostLevels = 16;

uint32_t Get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t BigEndian(const std::string& s, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

// The entries of an index page, whole (the shared prefix, whose length is
// one byte of the header, put back), and where the last one ends.
std::vector<std::string> Entries(const std::vector<unsigned char>& b, const PageLayout& l, unsigned& used) {
    const unsigned prefix = b[l.prefix];
    std::vector<std::string> out;
    unsigned begin = l.entries;
    for (unsigned i = 0; i < (l.entries - l.mask) * 8; ++i) {
        if (!(b[l.mask + i / 8] & (1u << (i % 8)))) continue;
        const unsigned end = l.entries + i;
        if (end > b.size()) Damaged("an entry runs past the page");
        std::string raw(reinterpret_cast<const char*>(b.data() + begin), end - begin);
        if (out.empty()) {
            if (prefix > raw.size()) Damaged("its shared prefix is longer than its first entry");
            out.push_back(std::move(raw));
        } else {
            out.push_back(out.front().substr(0, prefix) + raw);
        }
        begin = end;
    }
    used = begin;
    return out;
}

}  // namespace

bool CheckState::WalkIndexes(uint64_t& budget) {
    const RawFile& f = reader->File();
    const PageLayout& l = f.PageSize() == 2048 ? kJet3 : kJet4;
    IndexWalk& w = walk;
    while (budget > 0) {
        if (!w.started) {
            // The next index of a usable table.
            while (w.table < tables.size() &&
                   (!tables[w.table].usable || w.index >= tables[w.table].layout.indexes.size())) {
                ++w.table;
                w.index = 0;
            }
            if (w.table >= tables.size()) return false;
            const size_t table = w.table, index = w.index;
            w = IndexWalk{};
            w.table = table;
            w.index = index;
            w.started = true;
            w.page = tables[table].layout.indexes[index].root;
        }
        CheckedTable& t = tables[w.table];
        const IndexLayout& x = t.layout.indexes[w.index];
        auto done = [&] {
            w.started = false;
            ++w.index;
        };
        auto fail = [&](const std::string& what, uint32_t pg = kNoPlace) {
            Damage(x.name + ": " + what, t.name, pg);
            done();
        };
        if (w.page == 0) {
            if (w.level == 0 && w.previous == 0) {
                fail("it has no root page");
                continue;
            }
            if (w.leaf) {
                // The leaves are all walked: do they name the table's rows?
                if (!x.IgnoresNulls()) {
                    if (!(w.entries == t.rows))
                        fail(std::to_string(w.entries.count) + " entries for the table's " +
                             std::to_string(t.rows.count) + " rows" +
                             (w.entries.count == t.rows.count ? ", not one for each" : ""));
                    else
                        done();
                } else if (t.keysKnown && w.index < 32 && !(w.entries == t.allKeys[w.index]) &&
                           !(w.entries == t.anyKey[w.index])) {
                    fail(std::to_string(w.entries.count) + " entries that are not the rows with keys (" +
                         std::to_string(t.anyKey[w.index].count) + ")");
                } else {
                    done();
                }
                continue;
            }
            // The next level down begins where this one's first entry points.
            if (w.nextChildren.empty()) {
                fail("a level above its leaves has no entries");
                continue;
            }
            if (++w.level > kMostLevels) {
                fail("it is more than " + std::to_string(kMostLevels) + " levels deep");
                continue;
            }
            w.children = std::move(w.nextChildren);
            w.nextChildren.clear();
            w.tail = w.nextTail;
            w.nextTail = 0;
            w.childAt = 0;
            w.page = w.children.front();
            w.previous = 0;
            w.last.clear();
            continue;
        }
        const uint32_t pg = w.page;
        if (pg >= claim.size()) {
            fail("it goes on at page " + std::to_string(pg) + ", past the file's end");
            continue;
        }
        --budget;
        ++workDone;
        if (marks[pg] & kReached) {
            fail("it reaches page " + std::to_string(pg) + " a second time", pg);
            continue;
        }
        marks[pg] |= kReached;
        const auto b = f.Page(pg);
        const bool first = w.previous == 0;  // the first page of its level
        if (b[0] != MDB_PAGE_INDEX && b[0] != MDB_PAGE_LEAF) {
            fail("it goes on at page " + std::to_string(pg) + ", which is " + TypeName(b[0]), pg);
            continue;
        }
        if (first) w.leaf = b[0] == MDB_PAGE_LEAF;
        if ((b[0] == MDB_PAGE_LEAF) != w.leaf) {
            fail("page " + std::to_string(pg) + " is " + TypeName(b[0]) + " among the pages of another level", pg);
            continue;
        }
        if (Get32(b.data() + 4) != t.tdefPage) {
            fail("page " + std::to_string(pg) + " names page " + std::to_string(Get32(b.data() + 4)) +
                     " as its table's definition",
                 pg);
            continue;
        }
        if (Get32(b.data() + l.prev) != w.previous) {
            fail("page " + std::to_string(pg) + " says page " + std::to_string(Get32(b.data() + l.prev)) +
                     " comes before it, where page " + std::to_string(w.previous) + " does",
                 pg);
            continue;
        }
        // Below the root, a level's pages are those its parent level names,
        // in order, and then perhaps the tail page Jet added after them.
        if (w.level > 0) {
            if (w.childAt < w.children.size()) {
                if (pg != w.children[w.childAt]) {
                    fail("its pages go on at page " + std::to_string(pg) + " where the level above names page " +
                             std::to_string(w.children[w.childAt]),
                         pg);
                    continue;
                }
            } else if (w.childAt == w.children.size() && pg != w.tail) {
                fail("its pages go on at page " + std::to_string(pg) + ", which the level above does not name", pg);
                continue;
            }
            ++w.childAt;
        }
        if (claim[pg] != static_cast<uint8_t>(Claim::Index) || claimedBy[pg] != w.table + 1) {
            if (claim[pg] == static_cast<uint8_t>(Claim::None))
                Warn(x.name + ": page " + std::to_string(pg) + " is not on the usage map of its indexes", t.name, pg);
            else
                Damage(x.name + ": page " + std::to_string(pg) + " is claimed by the " +
                           (claimedBy[pg] ? tables[claimedBy[pg] - 1].name : std::string("file")) + " too",
                       t.name, pg);
        }
        unsigned used = 0;
        std::vector<std::string> entries;
        try {
            entries = Entries(b, l, used);
        } catch (const Failure& e) {
            fail("page " + std::to_string(pg) + ": " + e.description, pg);
            continue;
        }
        const unsigned freeField = static_cast<unsigned>(b[2] | (b[3] << 8));
        if (freeField != f.PageSize() - used)
            Warn(x.name + ": page " + std::to_string(pg) + " says " + std::to_string(freeField) +
                     " bytes are free where " + std::to_string(f.PageSize() - used) + " are",
                 t.name, pg);
        bool broken = false;
        const size_t tailBytes = w.leaf ? 4 : 8;
        for (const std::string& entry : entries) {
            if (entry.size() < tailBytes + 1) {
                fail("page " + std::to_string(pg) + " holds an entry of " + std::to_string(entry.size()) + " bytes", pg);
                broken = true;
                break;
            }
            // Above the leaves, the page it points at is not part of the order.
            std::string key = w.leaf ? entry : entry.substr(0, entry.size() - 4);
            if (!w.last.empty() && !(w.last < key)) {
                if (!x.textKey) {
                    fail("its entries are out of order on page " + std::to_string(pg), pg);
                    broken = true;
                    break;
                }
                if (!w.orderNoted)
                    findings.Add(Severity::Note,
                                 x.name + ": the order of its text keys cannot be judged (Jet sorts them by its "
                                          "collation)",
                                 t.name, pg);
                w.orderNoted = true;
            }
            w.last = std::move(key);
            if (w.leaf) {
                const size_t at = entry.size() - 4;
                w.entries.Add(BigEndian(entry, at, 3) << 8 | static_cast<unsigned char>(entry[at + 3]));
            } else {
                w.nextChildren.push_back(BigEndian(entry, entry.size() - 4, 4));
            }
        }
        if (broken) continue;
        if (!w.leaf) w.nextTail = Get32(b.data() + l.tail);
        w.previous = pg;
        w.page = Get32(b.data() + l.next);
    }
    return true;
}

}  // namespace jet::reader
