// Damaged and truncated files: each must end in an ordinary error (3343),
// whatever libmdb would do with it, with nothing on the terminal but one
// line that names the file and the reason.
// Every patch is applied to a sample (Jet 3 nwind or Jet 4 DateTestDatabase,
// as Access wrote them) and to the Jet 4 file mkmdb writes (page 0 header,
// page 2 the catalogue's definition, page 3 the usage maps, then one
// definition page per table and the data pages), which needs no samples.
#include <random>
#include <tuple>

#include "jet/db_test_support.h"

namespace {

using dbtest::Base;
using dbtest::ErrorOf;
using Bytes = std::vector<unsigned char>;

// The first page of `kind` 0x02 (table definition) holding `needle`.
size_t FindDefinitionPage(const Bytes& file, size_t pageSize, const std::string& needle) {
    for (size_t pg = 0; (pg + 1) * pageSize <= file.size(); ++pg) {
        auto begin = file.begin() + static_cast<long>(pg * pageSize);
        if (*begin != 0x02) continue;
        if (std::search(begin, begin + static_cast<long>(pageSize), needle.begin(), needle.end()) != begin + static_cast<long>(pageSize))
            return pg;
    }
    throw std::runtime_error("definition page not found");
}

std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

void Put32(Bytes& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + static_cast<size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

// Opens `file` and runs `query`; the error number, 0 when both succeed.
int OpenAndQuery(const std::string& file, const std::string& query) {
    auto engine = dbtest::Engine();
    return ErrorOf([&] {
        auto db = engine.OpenDatabase(file);
        auto rs = db->OpenRecordset(query, ports::dbOpenDynaset);
        while (!rs->IsEOF()) rs->MoveNext();
    });
}

struct Damage {
    const char* name;
    const char* query;  // a query the undamaged file answers
    std::function<void(Bytes&)> patch;
    const char* reason = "";  // what the refusal names: the check and its page
};

constexpr size_t kJet4 = 4096;
const std::string kDateTestDef = Utf16("ShortTextCol");

void PatchDateTestDefinition(Bytes& b, size_t offset, uint32_t value) {
    Put32(b, FindDefinitionPage(b, kJet4, kDateTestDef) * kJet4 + offset, value);
}

class DamagedFiles : public ::testing::TestWithParam<std::tuple<Base, Damage>> {};

TEST_P(DamagedFiles, Are3343WithTheirReason) {
    const auto& [base, d] = GetParam();
    REQUIRE_BASE(base);
    dbtest::TempDir dir;
    std::string whole = dbtest::BaseFile(base, dir);
    // The query works on the file as it is, so the 3343 comes from the damage.
    ASSERT_EQ(OpenAndQuery(whole, d.query), 0) << whole;
    Bytes bytes = dbtest::ReadBytes(whole);
    ASSERT_FALSE(bytes.empty());
    d.patch(bytes);
    std::string file = dir.File("damaged.mdb");
    dbtest::WriteBytes(file, bytes);
    dbtest::TerminalCapture capture(dir.File("terminal.txt"));
    int number = OpenAndQuery(file, d.query);
    std::string printed = capture.Restore();
    EXPECT_EQ(number, 3343);
    EXPECT_TRUE(dbtest::RefusalsOf(printed, {file}));
    EXPECT_NE(printed.find(d.reason), std::string::npos) << printed;
}

const char* kCountDateTest = "select count(*) as counter from DateTest";
const char* kReadDateTest = "select * from DateTest where IDCol = 1";
const char* kCountOrderDetails = "select count(*) as counter from [Order Details]";

// Cuts, first made on the Jet 3 sample (2 KiB pages), and on the written file.
const Damage kCuts[] = {
    Damage{"Empty", kCountOrderDetails, [](Bytes& b) { b.clear(); }, "shorter than a header"},
    Damage{"Cut100", kCountOrderDetails, [](Bytes& b) { b.resize(100); }, "its length, 100 bytes"},
    Damage{"CutOnePage", kCountOrderDetails, [](Bytes& b) { b.resize(2048); }},
    Damage{"CutTwoPages", kCountOrderDetails, [](Bytes& b) { b.resize(4096); }, "pages that hold its system catalogue"},
    Damage{"CutToHalf", kCountOrderDetails, [](Bytes& b) { b.resize(b.size() / 2); }},
    Damage{"CutMidPage", kCountOrderDetails, [](Bytes& b) { b.resize(b.size() / 2 + 1000); }},
};

// Damage to Jet 4 structures: the DateTest table's definition is the page
// naming the column ShortTextCol, the catalogue's is page 2.
const Damage kJet4Damage[] = {
    Damage{"Jet4CutToHalf", kCountDateTest, [](Bytes& b) { b.resize(b.size() / kJet4 / 2 * kJet4); }},
    Damage{"RandomAfterFirstPage", kCountDateTest,
           [](Bytes& b) {
               std::mt19937 rng(20240607);
               for (size_t i = kJet4; i < b.size(); ++i) b[i] = static_cast<unsigned char>(rng());
           }},
    Damage{"ZeroedCatalogDefinition", kCountDateTest, [](Bytes& b) { std::fill(b.begin() + 2 * kJet4, b.begin() + 3 * kJet4, 0); },
           "table definition on page 2 is a page of type 0"},
    Damage{"CatalogUsageMapPastEnd", kCountDateTest, [](Bytes& b) { Put32(b, 2 * kJet4 + 0x37, 0xFFFFF0u << 8); },
           "page 16777200 lies past the end"},
    Damage{"ZeroedTableDefinition", kCountDateTest,
           [](Bytes& b) {
               size_t pg = FindDefinitionPage(b, kJet4, kDateTestDef);
               std::fill(b.begin() + static_cast<long>(pg * kJet4), b.begin() + static_cast<long>((pg + 1) * kJet4), 0);
           },
           "is a page of type 0"},
    Damage{"AbsurdRowCount", kCountDateTest, [](Bytes& b) { PatchDateTestDefinition(b, 0x10, 0x7FFFFFFF); },
           "2147483647 rows cannot fit"},
    Damage{"AbsurdColumnCount", kReadDateTest,
           [](Bytes& b) {
               size_t pg = FindDefinitionPage(b, kJet4, kDateTestDef);
               b[pg * kJet4 + 0x2D] = 0xFF;
               b[pg * kJet4 + 0x2E] = 0xFF;
           },
           ": 65535 columns"},
    Damage{"UsageMapPastEnd", kCountDateTest, [](Bytes& b) { PatchDateTestDefinition(b, 0x37, 0xFFFFF0u << 8); },
           "page 16777200 lies past the end"},
    Damage{"NextDefinitionPagePastEnd", kReadDateTest, [](Bytes& b) { PatchDateTestDefinition(b, 0x04, 0x00FFFFF0); },
           "page 16777200 lies past the end"},
    Damage{"DefinitionLoopsToItself", kReadDateTest,
           [](Bytes& b) {
               const size_t pg = FindDefinitionPage(b, kJet4, kDateTestDef);
               Put32(b, pg * kJet4 + 0x04, static_cast<uint32_t>(pg));
           },
           "its pages form a loop"},
    Damage{"AbsurdIndexCount", kReadDateTest, [](Bytes& b) { PatchDateTestDefinition(b, 0x33, 0x7FFFFFFF); },
           "2147483647 indexes and"},
    // The first column name's length (after the real indexes' 12-byte and
    // the columns' 25-byte entries) made to reach past the definition.
    Damage{"ColumnNamePastItsPages", kReadDateTest,
           [](Bytes& b) {
               const size_t at = FindDefinitionPage(b, kJet4, kDateTestDef) * kJet4;
               const size_t names = at + 0x3F + 12 * (b[at + 0x33] | b[at + 0x34] << 8) + 25 * (b[at + 0x2D] | b[at + 0x2E] << 8);
               b[names] = 0xF0;
               b[names + 1] = 0xFF;
           },
           "the name of column 0 runs past its pages"},
};

std::string DamageName(const ::testing::TestParamInfo<std::tuple<Base, Damage>>& info) {
    return dbtest::BaseName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Patched, DamagedFiles,
                         ::testing::Combine(::testing::Values(Base::Nwind, Base::Written), ::testing::ValuesIn(kCuts)),
                         DamageName);
INSTANTIATE_TEST_SUITE_P(PatchedJet4, DamagedFiles,
                         ::testing::Combine(::testing::Values(Base::DateTest, Base::Written), ::testing::ValuesIn(kJet4Damage)),
                         DamageName);

// The fuzzed reproducers, as they are and padded to whole pages so that they
// get past the length check and reach libmdb inside the reader child.
class DamagedCorpus : public ::testing::TestWithParam<bool> {};

TEST_P(DamagedCorpus, EveryReproducerIs3343WithItsReason) {
    REQUIRE_SAMPLES();
    const bool padded = GetParam();
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dbtest::SamplesDir() + "/damaged"))
        if (e.path().extension() == ".mdb") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    dbtest::TempDir dir;
    for (const auto& f : files) {
        SCOPED_TRACE(f);
        Bytes b = dbtest::ReadBytes(f);
        if (padded) {
            size_t page = b.size() > 0x14 && b[0x14] == 0 ? 2048 : kJet4;
            b.resize((b.size() + page - 1) / page * page, 0);
        }
        std::string copy = dir.File("copy.mdb");
        dbtest::WriteBytes(copy, b);
        dbtest::TerminalCapture capture(dir.File("terminal.txt"));
        int number = OpenAndQuery(copy, "select count(*) as counter from roof ");
        std::string printed = capture.Restore();
        EXPECT_EQ(number, 3343);
        EXPECT_TRUE(dbtest::RefusalsOf(printed, {copy}));
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedCorpus, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PaddedToWholePages" : "AsGiven"; });

}  // namespace
