// The whole-file check through the reader child (jet/reader_check.h): the
// real samples and the files mkmdb writes come out good, with nothing to
// say; each kind of structural damage comes out damaged with its reason and
// place, also when the check is told that only the damaged pages are new;
// what Jet tolerates is a warning; files that cannot be read, or that
// make libmdb misbehave, are damaged and never hang; a check can be stopped.
#include <cstring>
#include <random>

#include "jet/db_test_support.h"
#include "jet/reader_check.h"
#include "mkmdb/contacts.h"

namespace {

using dbtest::Base;
using Bytes = std::vector<unsigned char>;
using ports::Severity;
using ports::Verdict;

ports::CheckResult CheckFile(const std::string& path, const ports::CheckProgress& progress = {}) {
    jet::ReaderCheck check([](const std::string& p) { return p; }, dbtest::ReaderPath());
    return check.Check(path, progress);
}

std::string Listed(const ports::CheckResult& r) {
    std::string text;
    for (const auto& f : r.findings) text += std::string(ports::SeverityName(f.severity)) + ": " + ports::Describe(f) + "\n";
    return text;
}

// The check of `file`, told that only the pages in which it differs from
// the good file `before` are new, finds what the whole check found.
void ExpectSameAsWhole(const std::vector<unsigned char>& before, const std::vector<unsigned char>& after,
                       const std::string& file, const ports::CheckResult& whole) {
    const size_t ps = after.size() > 0x14 && after[0x14] == 0 ? 2048 : 4096;
    std::vector<size_t> changed;
    for (size_t pg = 0; pg * ps < after.size(); ++pg)
        if (pg * ps >= before.size() || !std::equal(after.begin() + static_cast<long>(pg * ps),
                                                     after.begin() + static_cast<long>(std::min(after.size(), (pg + 1) * ps)),
                                                     before.begin() + static_cast<long>(pg * ps)))
            changed.push_back(pg);
    jet::ReaderCheck check([](const std::string& p) { return p; }, dbtest::ReaderPath());
    const ports::CheckResult told = check.CheckNew(file, changed);
    EXPECT_EQ(Listed(told), Listed(whole)) << changed.size() << " pages new";
}

// ---- the files' structures, found in their bytes -----------------------------------

size_t PageSize(const Bytes& b) { return b[0x14] == 0 ? 2048 : 4096; }
size_t RowCountAt(const Bytes& b) { return PageSize(b) == 2048 ? 8 : 12; }
uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t Get32(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
void Put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}
size_t Pages(const Bytes& b) { return b.size() / PageSize(b); }
uint8_t TypeOf(const Bytes& b, size_t pg) { return b[pg * PageSize(b)]; }
uint32_t OwnerOf(const Bytes& b, size_t pg) { return Get32(b, pg * PageSize(b) + 4); }
size_t RowsOn(const Bytes& b, size_t pg) { return Get16(b, pg * PageSize(b) + RowCountAt(b)); }
size_t OffsetAt(const Bytes& b, size_t pg, size_t row) { return pg * PageSize(b) + RowCountAt(b) + 2 + 2 * row; }
constexpr uint32_t kLval = 0x4C41564C;

// The first page for which `is` holds; throws when there is none.
size_t FirstPage(const Bytes& b, const std::function<bool(size_t)>& is) {
    for (size_t pg = 3; pg < Pages(b); ++pg)
        if (is(pg)) return pg;
    throw std::runtime_error("no such page");
}

// The data page of the table with the most rows: a user table's page.
size_t BusiestDataPage(const Bytes& b) {
    size_t best = 0;
    for (size_t pg = 3; pg < Pages(b); ++pg)
        if (TypeOf(b, pg) == 1 && OwnerOf(b, pg) > 2 && OwnerOf(b, pg) != kLval && (!best || RowsOn(b, pg) > RowsOn(b, best)))
            best = pg;
    if (!best) throw std::runtime_error("no data page");
    return best;
}

// The usage map row of the table defined on `tdef` (a type 0 map in these files).
size_t UsageMapAt(const Bytes& b, size_t tdef) {
    const size_t ps = PageSize(b);
    const uint32_t pgRow = Get32(b, tdef * ps + (ps == 2048 ? 35 : 55));
    const size_t pg = pgRow >> 8, row = pgRow & 0xff;
    return pg * ps + (Get16(b, OffsetAt(b, pg, row)) & 0x1FFF);
}

struct Damage {
    const char* name;
    std::function<void(Bytes&)> patch;
    const char* reason;  // in the first damaged finding
    Severity severity = Severity::Damaged;
};
void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

const Damage kDamages[] = {
    {"DataPageZeroed",
     [](Bytes& b) {
         const size_t pg = BusiestDataPage(b), ps = PageSize(b);
         std::fill(b.begin() + static_cast<long>(pg * ps), b.begin() + static_cast<long>((pg + 1) * ps), 0);
     },
     "is not one of its data pages but an unused page"},
    {"DataPageRandom",
     [](Bytes& b) {
         std::mt19937 rng(7);
         const size_t pg = BusiestDataPage(b), ps = PageSize(b);
         for (size_t i = pg * ps; i < (pg + 1) * ps; ++i) b[i] = static_cast<unsigned char>(rng());
     },
     ""},
    {"CutToHalf", [](Bytes& b) { b.resize(Pages(b) / 2 * PageSize(b)); }, ""},
    {"CutMidPage", [](Bytes& b) { b.resize(b.size() - 100); }, "not a whole number"},
    {"UsageMapLosesAPage",
     [](Bytes& b) {
         const size_t pg = BusiestDataPage(b), map = UsageMapAt(b, OwnerOf(b, pg));
         const size_t bit = pg - Get32(b, map + 1);
         b[map + 5 + bit / 8] &= static_cast<unsigned char>(~(1u << (bit % 8)));
     },
     "lie outside its usage map"},
    {"RowsOverlap",
     [](Bytes& b) {
         const size_t pg = BusiestDataPage(b);
         Put16(b, OffsetAt(b, pg, 1), static_cast<uint16_t>(Get16(b, OffsetAt(b, pg, 0)) + 1));
     },
     "the rows overlap"},
    {"RowOffsetUnknownFlag",
     [](Bytes& b) {
         const size_t at = OffsetAt(b, BusiestDataPage(b), 2);
         Put16(b, at, Get16(b, at) | 0x2000);
     },
     "unknown flag 0x2000"},
    {"FreeSpaceTooLarge",
     [](Bytes& b) {
         const size_t at = BusiestDataPage(b) * PageSize(b) + 2;
         Put16(b, at, static_cast<uint16_t>(Get16(b, at) + 100));
     },
     "Jet would write a new row over others", Severity::Warning},
    {"RowCountStale",
     [](Bytes& b) {
         const size_t at = OwnerOf(b, BusiestDataPage(b)) * PageSize(b) + (PageSize(b) == 2048 ? 12 : 16);
         Put32(b, at, Get32(b, at) + 1);
     },
     "its definition counts", Severity::Warning},
};

class DamagedStructures : public ::testing::TestWithParam<std::tuple<Base, Damage>> {};

TEST_P(DamagedStructures, AreFoundWithTheirReason) {
    const auto& [base, d] = GetParam();
    REQUIRE_BASE(base);
    dbtest::TempDir dir;
    const Bytes good = dbtest::ReadBytes(dbtest::BaseFile(base, dir));
    Bytes bytes = good;
    d.patch(bytes);
    const std::string file = dir.File("damaged.mdb");
    dbtest::WriteBytes(file, bytes);
    const ports::CheckResult r = CheckFile(file);
    ASSERT_EQ(r.verdict(), d.severity == Severity::Damaged ? Verdict::Damaged : Verdict::Warnings) << Listed(r);
    EXPECT_NE(r.First(d.severity)->what.find(d.reason), std::string::npos) << Listed(r);
    ExpectSameAsWhole(good, bytes, file, r);
}

INSTANTIATE_TEST_SUITE_P(Patched, DamagedStructures,
                         ::testing::Combine(::testing::Values(Base::Nwind, Base::DateTest, Base::Written),
                                            ::testing::ValuesIn(kDamages)),
                         [](const auto& info) {
                             return dbtest::BaseName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
                         });

// ---- long values, overflow rows and indexes: the files that hold them ---------------

std::string WriteContacts(const dbtest::TempDir& dir, size_t count) {
    const std::string path = dir.File("contacts.mdb");
    mkmdb::Write(path, {mkmdb::ContactsTable({count, 1, {}})});
    return path;
}

struct Structural {
    const char* name;
    bool nwind;  // else contacts written by mkmdb (memos on long-value rows and chains)
    std::function<void(Bytes&)> patch;
    const char* reason;
};
void PrintTo(const Structural& s, std::ostream* os) { *os << s.name; }

const Structural kStructures[] = {
    // A long-value row deleted under the value that lies on it.
    {"LongValueRowDeleted", false,
     [](Bytes& b) {
         const size_t pg = FirstPage(b, [&](size_t p) { return TypeOf(b, p) == 1 && OwnerOf(b, p) == kLval; });
         Put16(b, OffsetAt(b, pg, 0), Get16(b, OffsetAt(b, pg, 0)) | 0xC000);
     },
     "a deleted row"},
    // A chain's part that points back at itself.
    {"LongValueChainLoops", false,
     [](Bytes& b) {
         const size_t ps = PageSize(b);
         for (size_t pg = 3; pg < Pages(b); ++pg) {
             if (TypeOf(b, pg) != 1 || OwnerOf(b, pg) != kLval) continue;
             const size_t start = pg * ps + (Get16(b, OffsetAt(b, pg, 0)) & 0x1FFF);
             const uint32_t next = Get32(b, start);
             if (next >> 8 == 0 || next >> 8 >= Pages(b)) continue;  // not a chain's part, or its last
             Put32(b, start, static_cast<uint32_t>(pg << 8));
             return;
         }
         throw std::runtime_error("no chain");
     },
     "a loop"},
    // A long value's pointer led to a page that holds no long values.
    {"LongValueOnADataPage", false,
     [](Bytes& b) {
         const size_t ps = PageSize(b);
         const size_t data = BusiestDataPage(b);
         for (size_t pg = 3; pg < Pages(b); ++pg) {
             if (TypeOf(b, pg) != 1 || OwnerOf(b, pg) != kLval) continue;
             // Every long-value row's address, in rows of any data page, retargeted.
             const uint32_t row0 = static_cast<uint32_t>(pg << 8);
             for (size_t i = data * ps; i + 4 <= (data + 1) * ps; ++i)
                 if (Get32(b, i) == row0) {
                     Put32(b, i, static_cast<uint32_t>(data << 8));
                     return;
                 }
         }
         throw std::runtime_error("no long value on the page");
     },
     "which is not a long-value page"},
    // A row's table of variable offsets with an offset moved before the
    // one ahead of it: the column before it would end before it starts.
    {"VariableOffsetBackwards", false,
     [](Bytes& b) {
         const size_t ps = PageSize(b), pg = BusiestDataPage(b);
         const size_t start = pg * ps + (Get16(b, OffsetAt(b, pg, 0)) & 0x1FFF), end = (pg + 1) * ps;
         // Jet 4 rows end with the null mask, the count of variable columns and their offsets before it.
         const size_t cols = Get16(b, start), mask = (cols + 7) / 8, count = Get16(b, end - mask - 2);
         if (count < 3) throw std::runtime_error("too few variable columns");
         Put16(b, end - mask - 2 - 2 * 3, 0);
     },
     "lies outside its row"},
    // A variable column told to read a part of its rows that none has.
    {"VariableColumnMisplaced", false,
     [](Bytes& b) {
         const size_t ps = PageSize(b), tdef = OwnerOf(b, BusiestDataPage(b)) * ps;
         const size_t columns = tdef + 63 + Get32(b, tdef + 51) * 12;
         for (size_t c = 0; c < Get16(b, tdef + 45); ++c)
             if (!(b[columns + c * 25 + 15] & 0x01)) return Put16(b, columns + c * 25 + 7, 0xB6);
         throw std::runtime_error("no variable column");
     },
     "no row has"},
    // A column numbered past its rows' null masks: its value reads as Null.
    {"ColumnNumberedPastTheRow", false,
     [](Bytes& b) {
         const size_t ps = PageSize(b), tdef = OwnerOf(b, BusiestDataPage(b)) * ps;
         Put16(b, tdef + 63 + Get32(b, tdef + 51) * 12 + 25 + 5, 0xB6);  // the second column's number
     },
     "is numbered past the"},
    // A date no calendar holds, found only by decoding the row's values.
    {"DateOutOfRange", false,
     [](Bytes& b) {
         const size_t ps = PageSize(b), pg = BusiestDataPage(b);
         for (size_t i = pg * ps + RowCountAt(b); i + 8 <= (pg + 1) * ps; ++i) {
             double v;
             std::memcpy(&v, &b[i], sizeof v);
             if (b[i + 7] != 0x40 || !(v >= 10000 && v < 60000)) continue;
             std::fill(b.begin() + static_cast<long>(i), b.begin() + static_cast<long>(i + 8), 0xFF);
             return;
         }
         throw std::runtime_error("no date");
     },
     "date out of range"},
    // nwind's catalogue holds overflow pointers (offset flag 0x4000).
    {"OverflowPointerAstray", true,
     [](Bytes& b) {
         for (size_t pg = 3; pg < Pages(b); ++pg)
             for (size_t r = 0; TypeOf(b, pg) == 1 && r < RowsOn(b, pg); ++r)
                 if ((Get16(b, OffsetAt(b, pg, r)) & 0xE000) == 0x4000) {
                     b[pg * PageSize(b) + (Get16(b, OffsetAt(b, pg, r)) & 0x1FFF)] = 0xFE;
                     return;
                 }
         throw std::runtime_error("no overflow pointer");
     },
     "which is not a moved row"},
    // An index's leaf loses its last entry: one entry too few for the rows.
    {"IndexLeafLosesAnEntry", true,
     [](Bytes& b) {
         const size_t pg = FirstPage(b, [&](size_t p) { return TypeOf(b, p) == 4 && OwnerOf(b, p) == 415; });
         const size_t mask = pg * PageSize(b) + 0x16;
         size_t last = 0;
         for (size_t i = 0; i < (0xF8 - 0x16) * 8; ++i)
             if (b[mask + i / 8] & (1u << (i % 8))) last = i;
         b[mask + last / 8] &= static_cast<unsigned char>(~(1u << (last % 8)));
     },
     "entries for the table's"},
    {"IndexLeafZeroed", true,
     [](Bytes& b) {
         const size_t pg = FirstPage(b, [&](size_t p) { return TypeOf(b, p) == 4 && OwnerOf(b, p) == 449; });
         std::fill(b.begin() + static_cast<long>(pg * PageSize(b)), b.begin() + static_cast<long>((pg + 1) * PageSize(b)), 0);
     },
     "an unused page"},
};

class DamagedValues : public ::testing::TestWithParam<Structural> {};

TEST_P(DamagedValues, AreFoundWithTheirReason) {
    const Structural& s = GetParam();
    if (s.nwind) REQUIRE_SAMPLES();
    dbtest::TempDir dir;
    // 600 contacts: one of them (500) has notes on a chain of long-value rows.
    const std::string whole = s.nwind ? dbtest::SamplesDir() + "/nwind.mdb" : WriteContacts(dir, 600);
    const Bytes good = dbtest::ReadBytes(whole);
    Bytes bytes = good;
    s.patch(bytes);
    const std::string file = dir.File("damaged.mdb");
    dbtest::WriteBytes(file, bytes);
    const ports::CheckResult r = CheckFile(file);
    ASSERT_EQ(r.verdict(), Verdict::Damaged) << Listed(r);
    EXPECT_NE(Listed(r).find(s.reason), std::string::npos) << Listed(r);
    ExpectSameAsWhole(good, bytes, file, r);
}

INSTANTIATE_TEST_SUITE_P(Patched, DamagedValues, ::testing::ValuesIn(kStructures),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- whole files ----------------------------------------------------------------------

TEST(WholeFileCheck, HealthyFilesHaveNothingToSay) {
    dbtest::TempDir dir;
    std::vector<std::string> files{dbtest::WriteKnownTables(dir.File("known.mdb")), WriteContacts(dir, 300)};
    if (std::filesystem::exists(dbtest::SamplesDir() + "/nwind.mdb"))
        for (const char* f : {"nwind.mdb", "DateTestDatabase.mdb"}) files.push_back(dbtest::SamplesDir() + "/" + f);
    for (const std::string& f : files) {
        const ports::CheckResult r = CheckFile(f);
        EXPECT_EQ(r.verdict(), Verdict::Good) << f << "\n" << Listed(r);
        EXPECT_TRUE(r.findings.empty()) << f << "\n" << Listed(r);
    }
}

// The fuzzed files that break libmdb, as they are and padded to whole pages:
// none is good, none hangs the check, and each says why in one finding.
TEST(WholeFileCheck, FilesThatBreakLibmdbAreDamaged) {
    REQUIRE_SAMPLES();
    dbtest::TempDir dir;
    for (const auto& e : std::filesystem::directory_iterator(dbtest::SamplesDir() + "/damaged")) {
        if (e.path().extension() != ".mdb") continue;
        Bytes b = dbtest::ReadBytes(e.path().string());
        const size_t ps = b.size() > 0x14 && b[0x14] == 0 ? 2048 : 4096;
        const std::string padded = dir.File(e.path().filename().string());
        b.resize((b.size() + ps - 1) / ps * ps, 0);
        dbtest::WriteBytes(padded, b);
        for (const std::string& f : {e.path().string(), padded}) {
            const ports::CheckResult r = CheckFile(f);
            EXPECT_EQ(r.verdict(), Verdict::Damaged) << f << "\n" << Listed(r);
            EXPECT_FALSE(r.First(Severity::Damaged) == nullptr || r.First(Severity::Damaged)->what.empty()) << f;
        }
    }
}

TEST(WholeFileCheck, FilesThatCannotBeReadAreDamagedWithTheReason) {
    dbtest::TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {dir.File("missing.mdb"), "it cannot be read: Could not find file"},
        {dir.File(""), "not a regular file"},
    };
    for (const auto& [file, why] : cases) {
        const ports::CheckResult r = CheckFile(file);
        ASSERT_EQ(r.findings.size(), 1u) << Listed(r);
        EXPECT_EQ(r.verdict(), Verdict::Damaged);
        EXPECT_EQ(r.findings[0].what.rfind(why, 0), 0u) << Listed(r);
    }
}

// A file of many batches tells its progress, rising to its total; stopped
// after the first, the check ends there, and the next one runs as ever.
TEST(WholeFileCheck, TellsItsProgressAndCanBeStopped) {
    dbtest::TempDir dir;
    mkmdb::Table roof{"roof", {{"ID", mkmdb::ColumnType::Long}, {"Name", mkmdb::ColumnType::Text, 20}}, {}, 60000,
                      [](size_t i, mkmdb::Row& row) {
                          row[0] = static_cast<int32_t>(i);
                          row[1] = "contact " + std::to_string(i);
                      }};
    const std::string file = dir.File("many.mdb");
    mkmdb::Write(file, {roof});
    jet::ReaderCheck check([](const std::string& p) { return p; }, dbtest::ReaderPath());
    std::vector<std::pair<uint64_t, uint64_t>> told;
    const ports::CheckResult whole = check.Check(file, [&](uint64_t done, uint64_t total) {
        told.emplace_back(done, total);
        return true;
    });
    EXPECT_EQ(whole.verdict(), Verdict::Good) << Listed(whole);
    ASSERT_GE(told.size(), 2u);
    for (size_t i = 0; i < told.size(); ++i) {
        EXPECT_LE(told[i].first, told[i].second);
        if (i) {
            EXPECT_GT(told[i].first, told[i - 1].first);
        }
    }
    int calls = 0;
    const ports::CheckResult stopped = check.Check(file, [&](uint64_t, uint64_t) { return ++calls < 1; });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(check.Check(file).cancelled);
}

}  // namespace
