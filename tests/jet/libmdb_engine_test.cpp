// LibmdbEngine on the real Jet 3 and Jet 4 samples, and every error number
// the layer raises, on the Jet 3 sample and on a Jet 4 file written by mkmdb.
#include <sys/stat.h>
#include <optional>
#include <tuple>
#include <unistd.h>

#include "jet/db_test_support.h"

namespace {

using dbtest::Base;
using dbtest::ErrorOf;
using ports::Value;

std::string Nwind() { return dbtest::SamplesDir() + "/nwind.mdb"; }
std::string DateTest() { return dbtest::SamplesDir() + "/DateTestDatabase.mdb"; }

Value FirstValue(const std::string& file, const std::string& query, const std::string& field) {
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(file);
    auto rs = db->OpenRecordset(query, ports::dbOpenDynaset);
    EXPECT_FALSE(rs->IsEOF()) << query;
    return rs->Field(field);
}

struct CountCase {
    const char* table;
    int64_t rows;
};

class NwindCounts : public ::testing::TestWithParam<CountCase> {};

// Counted from the stored row count and, through WHERE on a column no row
// matches the negation of, by reading every row: both must agree with the
// samples' README.
TEST_P(NwindCounts, StoredAndReadCountsMatchTheKnownContents) {
    REQUIRE_SAMPLES();
    const auto& c = GetParam();
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(Nwind());
    auto rs = db->OpenRecordset(std::string("select count(*) as counter from [") + c.table + "] ", ports::dbOpenDynaset);
    ASSERT_FALSE(rs->IsEOF());
    EXPECT_EQ(rs->Field("Counter"), Value(c.rows));
    auto all = db->OpenRecordset(std::string("select * from [") + c.table + "]", ports::dbOpenDynaset);
    int64_t read = 0;
    for (; !all->IsEOF(); all->MoveNext()) ++read;
    EXPECT_EQ(read, c.rows);
}

INSTANTIATE_TEST_SUITE_P(Jet3, NwindCounts,
                         ::testing::Values(CountCase{"Order Details", 2155}, CountCase{"Orders", 830},
                                           CountCase{"Products", 77}, CountCase{"Shippers", 3},
                                           CountCase{"Categories", 8}, CountCase{"Customers", 91},
                                           CountCase{"Employees", 9}, CountCase{"Suppliers", 29},
                                           CountCase{"Umsätze", 830}),
                         [](const auto& info) {
                             std::string n = info.param.table;
                             std::string out;
                             for (char ch : n) out += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return out;
                         });

TEST(LibmdbEngine, ReadsKnownValuesThroughWhere) {
    REQUIRE_SAMPLES();
    EXPECT_EQ(FirstValue(Nwind(), "select CompanyName from Customers where CustomerID = 'ALFKI'", "companyname"),
              Value(std::string("Alfreds Futterkiste")));
    // Text comparison ignores case, as Jet's does.
    EXPECT_EQ(FirstValue(Nwind(), "select CompanyName from Customers where CustomerID = \"alfki\"", "CompanyName"),
              Value(std::string("Alfreds Futterkiste")));
    EXPECT_EQ(FirstValue(Nwind(), "Select ProductName from Products where ProductID = 12", "PRODUCTNAME"),
              Value(std::string("Queso Manchego La Pastora")));
    EXPECT_EQ(FirstValue(Nwind(), "select count(*) as n from Products where CategoryID = 1", "n"), Value(int64_t{12}));
    EXPECT_EQ(FirstValue(Nwind(), "select count(*) as n from Products where ProductID = 9999", "n"), Value(int64_t{0}));
}

TEST(LibmdbEngine, Jet4DatesTextAndMemo) {
    REQUIRE_SAMPLES();
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(DateTest());
    EXPECT_EQ(FirstValue(DateTest(), "select count(*) from DateTest", "Expr1000"), Value(int64_t{6}));
    auto rs = db->OpenRecordset("select * from DateTest where IDCol = 1", ports::dbOpenDynaset);
    ASSERT_FALSE(rs->IsEOF());
    EXPECT_EQ(rs->Field("IDCol"), Value(int64_t{1}));
    EXPECT_EQ(rs->Field("DateTimeCol"), Value(vb::DateTime{2021, 12, 2, 0, 0, 0}));
    EXPECT_EQ(rs->Field("LongTextCol"), Value(std::string("Hello")));
    EXPECT_EQ(rs->Field("ShortTextCol"), Value(std::string("Hello")));
    rs->MoveNext();
    EXPECT_TRUE(rs->IsEOF());
    // Dates before 1900 and before the year 1000 (negative day counts).
    auto old = db->OpenRecordset("select DateTimeCol, DateCol from DateTest where IDCol = 4", ports::dbOpenDynaset);
    ASSERT_FALSE(old->IsEOF());
    EXPECT_EQ(old->Field("DateTimeCol"), Value(vb::DateTime{632, 1, 1, 0, 0, 0}));
    // A memo holding a line break comes back whole.
    EXPECT_EQ(FirstValue(DateTest(), "select LongTextCol from DateTest where IDCol = 6", "LongTextCol"),
              Value(std::string("New line\r\nin field")));
}

// A Single is the number its digits show (0.15), not the Double nearest its
// binary value (0.150000005960464).
TEST(LibmdbEngine, SinglesAreTheNumbersJetShows) {
    REQUIRE_SAMPLES();
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(Nwind());
    auto rs = db->OpenRecordset("select ProductID, Discount from [Order Details] where OrderID = 10250", ports::dbOpenDynaset);
    std::vector<std::pair<Value, Value>> got;
    for (; !rs->IsEOF(); rs->MoveNext()) got.emplace_back(rs->Field("ProductID"), rs->Field("Discount"));
    EXPECT_EQ(got, (std::vector<std::pair<Value, Value>>{
                       {Value(int64_t{41}), Value(0.0)}, {Value(int64_t{51}), Value(0.15)}, {Value(int64_t{65}), Value(0.15)}}));
}

TEST(LibmdbEngine, NullsAreNull) {
    REQUIRE_SAMPLES();
    // Order 10248 has no ShipRegion.
    EXPECT_EQ(FirstValue(Nwind(), "select ShipRegion from Orders where OrderID = 10248", "ShipRegion"), Value(ports::Null{}));
}

// ---- errors -------------------------------------------------------------------

TEST(LibmdbEngine, MissingFileIs3024WithTheCallersPath) {
    dbtest::TempDir dir;
    auto engine = jet::LibmdbEngine([&](const std::string&) { return dir.File("absent.mdb"); }, dbtest::ReaderPath());
    try {
        engine.OpenDatabase("C:\\Data\\absent.mdb");
        FAIL();
    } catch (const vb::Error& e) {
        EXPECT_EQ(e.Number(), 3024);
        EXPECT_EQ(e.Description(), "Could not find file 'C:\\Data\\absent.mdb'.");
    }
}

TEST(LibmdbEngine, UnreadableFileIs3051) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    dbtest::TempDir dir;
    std::string copy = dbtest::WriteKnownTables(dir.File("locked.mdb"));
    chmod(copy.c_str(), 0);
    auto engine = dbtest::Engine();
    EXPECT_EQ(ErrorOf([&] { engine.OpenDatabase(copy); }), 3051);
}

TEST(LibmdbEngine, NotAJetFileIs3343WithTheCallersPath) {
    // A text file two Jet 4 pages long, so that its length alone does not give it away.
    dbtest::TempDir dir;
    std::string text;
    while (text.size() < 2 * 4096) text += "# Notes\n\nThese files are not databases. ";
    text.resize(2 * 4096);
    std::string readme = dir.File("README.md");
    dbtest::WriteBytes(readme, std::vector<unsigned char>(text.begin(), text.end()));
    auto engine = jet::LibmdbEngine([&](const std::string&) { return readme; }, dbtest::ReaderPath());
    try {
        engine.OpenDatabase("C:\\x.mdb");
        FAIL();
    } catch (const vb::Error& e) {
        EXPECT_EQ(e.Number(), 3343);
        EXPECT_EQ(e.Description(), "Unrecognized database format 'C:\\x.mdb'.");
    }
}

struct QueryError {
    const char* name;
    const char* query;
    int number;
};

// Each on the Jet 3 sample and on the written Jet 4 file (dbtest::KnownTables).
class QueryErrors : public ::testing::TestWithParam<std::tuple<Base, QueryError>> {};

TEST_P(QueryErrors, RaiseTheirNumber) {
    const auto& [base, error] = GetParam();
    REQUIRE_BASE(base);
    dbtest::TempDir dir;
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(dbtest::BaseFile(base, dir));
    EXPECT_EQ(ErrorOf([&] { db->OpenRecordset(error.query, ports::dbOpenDynaset); }), error.number);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, QueryErrors,
    ::testing::Combine(
        ::testing::Values(Base::Nwind, Base::Written),
        ::testing::Values(QueryError{"NoSuchTable", "select count(*) as counter from roof ", 3078},
                          QueryError{"NoSuchTableWithWhere", "Select option from stringoptions where optionnumber = 12", 3078},
                          QueryError{"SyntaxError", "select count(*) from", 3131},
                          QueryError{"UnknownSelectedField", "select Nope from Customers", 3061},
                          QueryError{"UnknownWhereField", "select CompanyName from Customers where Nope = 1", 3061},
                          QueryError{"TextComparedWithNumber", "select CompanyName from Customers where CustomerID = 1", 3464})),
    [](const auto& info) { return dbtest::BaseName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name; });

// Recordset and database life cycle, on the Jet 3 sample and the written Jet 4 file.
class LibmdbEngineOn : public ::testing::TestWithParam<Base> {
protected:
    void SetUp() override { REQUIRE_BASE(GetParam()); }
    std::string File() { return dbtest::BaseFile(GetParam(), dir_); }
    dbtest::TempDir dir_;
};

TEST_P(LibmdbEngineOn, RecordsetErrors) {
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(File());
    auto rs = db->OpenRecordset("select ShipperID, CompanyName from Shippers where ShipperID = 1", ports::dbOpenDynaset);
    EXPECT_EQ(ErrorOf([&] { rs->Field("Phone"); }), 3265);  // in the table, not in the SELECT list
    rs->MoveNext();
    ASSERT_TRUE(rs->IsEOF());
    EXPECT_EQ(ErrorOf([&] { rs->Field("CompanyName"); }), 3021);
    EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), 3021);
    EXPECT_EQ(ErrorOf([&] { rs->Field("Nope"); }), 3265);
    rs->Close();
    EXPECT_EQ(ErrorOf([&] { rs->IsEOF(); }), 3420);
    EXPECT_EQ(ErrorOf([&] { rs->Field("CompanyName"); }), 3420);
}

TEST_P(LibmdbEngineOn, ClosingTheDatabaseInvalidatesItsRecordsets) {
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(File());
    auto rs = db->OpenRecordset("select * from Shippers", ports::dbOpenDynaset);
    db->Close();
    EXPECT_EQ(ErrorOf([&] { rs->IsEOF(); }), 3420);
    EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), 3420);
    EXPECT_EQ(ErrorOf([&] { db->OpenRecordset("select * from Shippers", ports::dbOpenDynaset); }), 3420);
}

INSTANTIATE_TEST_SUITE_P(Bases, LibmdbEngineOn, ::testing::Values(Base::Nwind, Base::Written),
                         [](const auto& info) { return dbtest::BaseName(info.param); });

class LibmdbEnvironment : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = getenv("MDBPATH");
        if (old) saved_ = old;
        setenv("MDBPATH", ":", 1);  // an empty entry: libmdb loops on a missing file
    }
    void TearDown() override {
        if (saved_) setenv("MDBPATH", saved_->c_str(), 1);
        else unsetenv("MDBPATH");
    }
    std::optional<std::string> saved_;
};

// The file disappears between OpenDatabase and the query: the reader must
// answer "not found", not hang, whatever MDBPATH says.
TEST_F(LibmdbEnvironment, FileRemovedAfterOpenIs3024) {
    dbtest::TempDir dir;
    std::string copy = dbtest::WriteKnownTables(dir.File("gone.mdb"));
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(copy);
    std::filesystem::remove(copy);
    EXPECT_EQ(ErrorOf([&] { db->OpenRecordset("select * from DateTest", ports::dbOpenDynaset); }), 3024);
}

// The program looks for its reader beside itself (the build tree), then in
// the libexec folder relative to its own (an installation, wherever it was
// put); never in the current folder.
TEST(LibmdbEngine, TheReaderIsFoundBesideTheProgramOrInItsLibexec) {
    dbtest::TempDir root;
    const std::string bin = root.File("usr/bin"), libexec = root.File("usr/libexec/restore-rolvane-data");
    const std::string fromBin = "../libexec/restore-rolvane-data";
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(libexec);
    const std::string program = bin + "/restore-rolvane-data";
    auto putReader = [](const std::string& path, bool executable) {
        dbtest::WriteBytes(path, {'#', '!'});
        chmod(path.c_str(), executable ? 0755 : 0644);
    };

    // Installed: only libexec holds the reader.
    putReader(libexec + "/rolvane-mdb-reader", true);
    EXPECT_EQ(jet::ReaderPathFor(program, fromBin), bin + "/" + fromBin + "/rolvane-mdb-reader");

    // A file beside the program that cannot be run is passed over.
    putReader(bin + "/rolvane-mdb-reader", false);
    EXPECT_EQ(jet::ReaderPathFor(program, fromBin), bin + "/" + fromBin + "/rolvane-mdb-reader");

    // The build tree: the reader beside the program wins.
    chmod((bin + "/rolvane-mdb-reader").c_str(), 0755);
    EXPECT_EQ(jet::ReaderPathFor(program, fromBin), bin + "/rolvane-mdb-reader");

    // Without an absolute location of the program there is no reader.
    EXPECT_EQ(jet::ReaderPathFor("restore-rolvane-data", fromBin), "");
    EXPECT_EQ(jet::ReaderPathFor("", fromBin), "");
}

}  // namespace
