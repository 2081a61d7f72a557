// Memo values through the reader, whole: in the row, on one long-value row
// and on chains of them, past libmdb's 16 KiB bind size, in any script; a
// value longer than the reader may hold is an error of the query, and a
// chain that does not hold what its header announces is damage (3343),
// never a shorter value.
#include <cstring>

#include "jet/db_test_support.h"
#include "mkmdb/contacts.h"

namespace {

using mkmdb::ColumnType;
using ports::Value;

std::string Repeat(const std::vector<std::string>& alphabet, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += alphabet[i % alphabet.size()];
    return s;
}

struct Memo {
    const char* name;
    size_t characters;
    std::vector<std::string> alphabet;
};
void PrintTo(const Memo& m, std::ostream* os) { *os << m.name; }

const Memo kMemos[] = {
    {"Empty", 0, {"a"}},
    {"InTheRow", 256, {"r", "o", "w"}},
    {"OneLongValueRow", 2040, {"é", "è"}},
    {"ChainOfTwo", 2041, {"c", "h"}},
    {"PastTheBindSize", 16384, {"b", "i", "n", "d"}},               // came back as 16,383 bytes
    {"TheLongMemoSeen", 63377, {"L", "o", "n", "g", " "}},          // came back as 16,383 bytes
    {"Chinese", 27000, {"中", "文", "备", "注", "内", "容"}},        // lost four fifths
    {"MixedScripts", 9000, {"Grüße ", "Привет ", "こんにちは ", "\r\n"}},
};

mkmdb::Table Notes(const std::vector<Memo>& memos) {
    mkmdb::Table t{"notes", {{"ID", ColumnType::Long}, {"Note", ColumnType::Memo}, {"Tail", ColumnType::Text, 10}}, {}, 0, {}};
    int32_t id = 0;
    for (const Memo& m : memos) t.rows.push_back({++id, Repeat(m.alphabet, m.characters), std::string("tail")});
    t.rows.push_back({++id, std::monostate{}, std::string("null")});
    return t;
}

class Memos : public ::testing::TestWithParam<Memo> {};

TEST_P(Memos, ComeBackWhole) {
    const Memo& m = GetParam();
    dbtest::TempDir dir;
    const std::string file = dir.File("notes.mdb");
    mkmdb::Write(file, {Notes({m})});
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(file);
    auto rs = db->OpenRecordset("select Note, Tail from notes where ID = 1", ports::dbOpenDynaset);
    ASSERT_FALSE(rs->IsEOF());
    const Value got = rs->Field("Note");
    ASSERT_TRUE(std::holds_alternative<std::string>(got));
    const std::string want = Repeat(m.alphabet, m.characters);
    EXPECT_EQ(std::get<std::string>(got).size(), want.size());
    EXPECT_EQ(got, Value(want));
    EXPECT_EQ(rs->Field("Tail"), Value(std::string("tail")));
    // Null stays Null, apart from the empty memo.
    auto null = db->OpenRecordset("select Note from notes where ID = 2", ports::dbOpenDynaset);
    EXPECT_EQ(null->Field("Note"), Value(ports::Null{}));
}

INSTANTIATE_TEST_SUITE_P(Lengths, Memos, ::testing::ValuesIn(kMemos), [](const auto& info) { return std::string(info.param.name); });

TEST(LongMemos, AllInOneTableReadInOneQuery) {
    dbtest::TempDir dir;
    const std::string file = dir.File("notes.mdb");
    mkmdb::Write(file, {Notes(std::vector<Memo>(std::begin(kMemos), std::end(kMemos)))});
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(file);
    auto rs = db->OpenRecordset("select * from notes", ports::dbOpenDynaset);
    for (const Memo& m : kMemos) {
        SCOPED_TRACE(m.name);
        ASSERT_FALSE(rs->IsEOF());
        EXPECT_EQ(rs->Field("Note"), Value(Repeat(m.alphabet, m.characters)));
        rs->MoveNext();
    }
    // A WHERE compares a memo as text.
    auto where = db->OpenRecordset("select count(*) as n from notes where Note = '" + Repeat({"R", "O", "W"}, 256) + "'",
                                   ports::dbOpenDynaset);
    EXPECT_EQ(where->Field("n"), Value(int64_t{1}));
}

// ---- values of any size ---------------------------------------------------------

// A memo and an OLE Object of 5 MB come back whole under a reader's cap of
// 32 MiB and an answer's of 1 MiB, in a table's rows, in a search (a text
// longer than a piece is found across pieces; one that is not there finds
// nothing) and in a query; the rows after them come as ever. (bench/ reads
// 100 MB ones.)
TEST(LongMemos, ValuesOfAnySizeComeBackWholeInPieces) {
    constexpr size_t kBig = 5'000'000;
    dbtest::TempDir dir;
    const std::string file = dir.File("big.mdb");
    mkmdb::ContactList list;
    list.count = 3;
    list.bigValues = kBig;
    mkmdb::Write(file, {mkmdb::ContactsTable(list)});
    const std::string notes = mkmdb::BigNotes(kBig);
    const std::string photo = mkmdb::BigPhoto(1, kBig).data;

    auto engine = dbtest::Engine();
    jet::ReaderLimits limits = engine.Limits();
    limits.memoryBytes = 32ull << 20;
    limits.outputBytes = 1ull << 20;
    engine.SetLimits(limits);
    auto db = engine.OpenDatabase(file);

    auto rows = db->OpenTable("roof");
    std::vector<Value> row;
    ASSERT_TRUE(rows->Next(row));
    EXPECT_TRUE(row[18] == Value(notes)) << "the notes came back with " << std::get<std::string>(row[18]).size() << " bytes";
    EXPECT_TRUE(row[19] == Value(ports::Bytes{photo}));
    ASSERT_TRUE(rows->Next(row));
    EXPECT_EQ(row[0], Value(int64_t{2}));
    ASSERT_TRUE(rows->Next(row));
    EXPECT_FALSE(rows->Next(row));

    // Whole lines: 40,000 bytes from the middle, and the last line to the end.
    const size_t middle = notes.find("Line ", notes.size() / 2);
    const std::string across = notes.substr(middle, notes.find("Line ", middle + 40'000) - middle);
    for (const auto& [text, found] : std::vector<std::pair<std::string, size_t>>{
             {across, 1}, {notes.substr(notes.rfind("Line ")), 1}, {"Line 999999999", 0}}) {
        auto matches = db->FindRecords("roof", text);
        size_t n = 0;
        while (matches->Next(row)) {
            ++n;
            EXPECT_EQ(row[0], Value(int64_t{1}));
            EXPECT_EQ(std::get<std::string>(row[18]).size(), kBig);
        }
        EXPECT_EQ(n, found) << text.substr(0, 40);
    }

    auto rs = db->OpenRecordset("select Notes, ID, Notes from roof where ID = 1", ports::dbOpenDynaset);
    EXPECT_TRUE(rs->Field("Notes") == Value(notes));
    EXPECT_EQ(rs->Field("ID"), Value(int64_t{1}));
}

// ---- damaged long values --------------------------------------------------------

using Bytes = std::vector<unsigned char>;
constexpr size_t kPage = 4096;

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

// The long-value pages of a file, in page order: data pages owned by "LVAL".
std::vector<size_t> LongValuePages(const Bytes& b) {
    std::vector<size_t> pages;
    for (size_t pg = 3; (pg + 1) * kPage <= b.size(); ++pg)
        if (b[pg * kPage] == 0x01 && std::memcmp(&b[pg * kPage + 4], "LVAL", 4) == 0) pages.push_back(pg);
    return pages;
}

// Where row 0 of page `pg` begins.
size_t Row0(const Bytes& b, size_t pg) { return pg * kPage + (b[pg * kPage + 14] | (b[pg * kPage + 15] & 0x1f) << 8); }

struct Damage {
    const char* name;
    const char* reason;  // what the refusal says
    void (*patch)(Bytes&);
};
void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

// A memo of 10,000 characters is a chain of five rows, one on each of the
// file's long-value pages, its first part on the last of them; one of
// 40,000 characters comes in pieces, and a loop near its end shows only
// after some of them have gone.
const Damage kDamage[] = {
    {"ChainEndsEarly", "bytes early", [](Bytes& b) { Put32(b, Row0(b, LongValuePages(b).back()), 0); }},
    {"ChainLoops", "comes back to it",
     [](Bytes& b) {
         const auto pages = LongValuePages(b);
         Put32(b, Row0(b, pages[1]), static_cast<uint32_t>(pages.back() << 8));
     }},
    {"ChainLeavesTheFile", "past the end of the file",
     [](Bytes& b) { Put32(b, Row0(b, LongValuePages(b).back()), 0xFFFFF0u << 8); }},
    {"ChainNamesAMissingRow", "no such row",
     [](Bytes& b) { Put32(b, Row0(b, LongValuePages(b).back()), static_cast<uint32_t>(LongValuePages(b)[2] << 8 | 7)); }},
    {"ChainOntoAnotherKindOfPage", "not a data page", [](Bytes& b) { Put32(b, Row0(b, LongValuePages(b).back()), 3u << 8); }},
};

class DamagedMemos : public ::testing::TestWithParam<std::tuple<Damage, size_t>> {};

TEST_P(DamagedMemos, Are3343NeverAShorterValue) {
    const Damage& damage = std::get<0>(GetParam());
    dbtest::TempDir dir;
    const std::string whole = dir.File("whole.mdb");
    mkmdb::Write(whole, {Notes({{"Chained", std::get<1>(GetParam()), {"z"}}})});
    Bytes b = dbtest::ReadBytes(whole);
    ASSERT_GE(LongValuePages(b).size(), 5u);
    damage.patch(b);
    const std::string file = dir.File("damaged.mdb");
    dbtest::WriteBytes(file, b);
    auto engine = dbtest::Engine();
    dbtest::TerminalCapture capture(dir.File("terminal.txt"));
    int number = 0;
    std::string detail;
    try {
        auto db = engine.OpenDatabase(file);
        auto rs = db->OpenRecordset("select Note from notes where ID = 1", ports::dbOpenDynaset);
        rs->Field("Note");
    } catch (const vb::Error& e) {
        number = e.Number();
        detail = e.Detail();
    }
    const std::string printed = capture.Restore();
    EXPECT_EQ(number, 3343);
    EXPECT_NE(detail.find(damage.reason), std::string::npos) << "the error carries why, for the window to say";
    EXPECT_TRUE(dbtest::RefusalsOf(printed, {file}));
    EXPECT_NE(printed.find(damage.reason), std::string::npos) << printed;
    // The count does not read the memo, and stays as stored.
    auto db = engine.OpenDatabase(file);
    EXPECT_EQ(db->OpenRecordset("select count(*) as n from notes", ports::dbOpenDynaset)->Field("n"), Value(int64_t{2}));
}

INSTANTIATE_TEST_SUITE_P(Chains, DamagedMemos, ::testing::Combine(::testing::ValuesIn(kDamage), ::testing::Values(10000, 40000)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + std::to_string(std::get<1>(info.param));
                         });

}  // namespace
