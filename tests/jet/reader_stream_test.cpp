// A table's stream (OpenTable, FindRecords) against mdbtools' own reading
// of the same files, and the stream's batches under the reader's limits.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <regex>
#include <thread>

#include "vb/casefold.h"
#include "jet/db_test_support.h"
#include "jet/reader_client.h"
#include "mkmdb/contacts.h"
#include "mkmdb/support.h"
#include "support/temp_folder.h"

namespace {

using dbtest::TempDir;
using mkmdb_test::Cell;
using mkmdb_test::CsvRows;
using ports::ColumnType;

std::string JetqPath() { return std::string(ROLVANE_BINARY_DIR) + "/tools/jetq/jetq"; }

// A contact-shaped table that holds every kind of value the stream sends.
std::string WriteContacts(const TempDir& dir, std::size_t count = 1200) {
    const std::string path = dir.File("contacts.mdb");
    mkmdb::Write(path, {mkmdb::ContactsTable({count, 1, {7}})});
    return path;
}

struct Table {
    std::string file, name;
};

std::vector<Table> AllTables(const std::string& contacts) {
    std::vector<Table> tables{{contacts, "roof"}};
    if (!std::filesystem::exists(dbtest::SamplesDir() + "/nwind.mdb")) return tables;
    for (const char* t : {"Order Details", "Orders", "Products", "Shippers", "Categories", "Customers", "Employees",
                          "Suppliers", "Umsätze"})
        tables.push_back({dbtest::SamplesDir() + "/nwind.mdb", t});
    tables.push_back({dbtest::SamplesDir() + "/DateTestDatabase.mdb", "DateTest"});
    return tables;
}

CsvRows Csv(const std::vector<std::string>& argv) {
    const auto r = mkmdb_test::Run(argv);
    EXPECT_EQ(r.status, 0) << argv[0] << ": " << r.err;
    EXPECT_EQ(r.err, "") << argv[0];
    return mkmdb_test::ParseCsv(r.out);
}

double Number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// Whether jetq's cell equals mdb-export's, normalising only what mdb-export
// writes differently: a Double to 16 significant digits (jetq: the
// shortest text that reads back exactly), a Single as the nearest double's
// digits, and a date it cannot convert (before 1899-12-30 or more than a
// million days after) as "1900-01-00 00:00:00".
bool SameCell(const Cell& ours, const Cell& theirs, ColumnType type) {
    if (ours == theirs) return true;
    if (!ours || !theirs) return false;
    switch (type) {
    case ColumnType::Single: return static_cast<float>(Number(*ours)) == static_cast<float>(Number(*theirs));
    case ColumnType::Double:
    case ColumnType::Decimal: {
        const double a = Number(*ours), b = Number(*theirs);
        return std::fabs(a - b) <= 1e-15 * std::fabs(a);
    }
    case ColumnType::DateTime:
        return *theirs == "1900-01-00 00:00:00" &&
               (*ours < "1899-12-30" || std::atoi(ours->substr(0, 4).c_str()) > 4637);
    default: return false;
    }
}

// Every table of the real samples and of an mkmdb file, through jetq and
// the stream, equals mdb-export's reading: the same columns and records in
// the same order, every value whole (memos over 64 KB, OLE Objects as their
// bytes, Null apart from empty text).
TEST(TableStream, EqualsMdbExportOnEveryTable) {
    TempDir dir;
    const std::string contacts = WriteContacts(dir);
    if (!std::filesystem::exists(dbtest::SamplesDir() + "/nwind.mdb"))
        std::cerr << "Jet samples not found at " << dbtest::SamplesDir() << "; only mkmdb files are compared\n";
    auto engine = dbtest::Engine();
    for (const Table& t : AllTables(contacts)) {
        SCOPED_TRACE(t.file + " " + t.name);
        const CsvRows ours = Csv({JetqPath(), t.file, "--table", t.name, "--csv"});
        const CsvRows theirs = Csv({"mdb-export", "-T", "%Y-%m-%d %H:%M:%S", "-b", "hex", t.file, t.name});
        auto db = engine.OpenDatabase(t.file);
        const auto columns = db->OpenTable(t.name)->Columns();
        ASSERT_FALSE(theirs.empty());
        ASSERT_EQ(ours.size(), theirs.size());
        ASSERT_EQ(ours[0], theirs[0]);  // the header: the names in table order
        ASSERT_EQ(ours[0].size(), columns.size());
        for (size_t r = 1; r < ours.size(); ++r) {
            ASSERT_EQ(ours[r].size(), columns.size()) << "row " << r;
            for (size_t c = 0; c < columns.size(); ++c)
                ASSERT_TRUE(SameCell(ours[r][c], theirs[r][c], columns[c].type))
                    << "row " << r << " column " << columns[c].name << ": " << ours[r][c].value_or("Null") << " / "
                    << theirs[r][c].value_or("Null");
        }
    }
}

// The types and keys the stream reports: the contacts' types as mkmdb wrote
// them (it writes no indexes), and each nwind table's primary key as
// mdb-schema reads it from the indexes.
TEST(TableStream, ReportsColumnTypesAndPrimaryKeys) {
    TempDir dir;
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(WriteContacts(dir, 10));
    auto rows = db->OpenTable("ROOF");
    std::vector<ColumnType> got;
    for (const auto& c : rows->Columns()) got.push_back(c.type);
    using T = ColumnType;
    EXPECT_EQ(got, (std::vector<T>{T::Long, T::Text, T::Text, T::Text, T::Text, T::Text, T::Text, T::Text, T::Text,
                                   T::Text, T::Text, T::DateTime, T::DateTime, T::DateTime, T::Currency, T::Double,
                                   T::Long, T::YesNo, T::Memo, T::OLE}));
    EXPECT_TRUE(rows->PrimaryKey().empty());

    REQUIRE_SAMPLES();
    const std::string nwind = dbtest::SamplesDir() + "/nwind.mdb";
    const std::string schema = mkmdb_test::Run({"mdb-schema", "--indexes", nwind, "postgres"}).out;
    std::map<std::string, std::string> keys;  // table -> "col, col" as mdb-schema writes them (lower case)
    const std::regex pk(R"re(ALTER TABLE "([^"]+)" ADD CONSTRAINT "[^"]+" PRIMARY KEY \(([^)]*)\))re");
    for (std::sregex_iterator m(schema.begin(), schema.end(), pk), end; m != end; ++m) keys[(*m)[1]] = (*m)[2];
    ASSERT_GE(keys.size(), 5u);
    auto ndb = engine.OpenDatabase(nwind);
    for (const char* name : {"Order Details", "Orders", "Products", "Shippers", "Categories", "Customers",
                             "Employees", "Suppliers", "Umsätze"}) {
        std::string key;
        const auto rows = ndb->OpenTable(name);
        for (const auto& k : rows->PrimaryKey()) key += (key.empty() ? "\"" : ", \"") + k + "\"";
        std::string lower;
        for (char ch : std::string(name)) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        std::string want = keys.count(lower) ? keys[lower] : "";
        EXPECT_TRUE(vb::EqualsIgnoringCase(key, want)) << name << ": " << key << " / " << want;
    }
}

std::vector<std::vector<ports::Value>> ReadAll(ports::RowStream& rows);

// The stream gives the count the table's definition holds beside the
// records it reads, so that a copy whose count disagrees (rows lost to
// damage) can say so: here the count is made 1,300 for 1,200 rows.
TEST(TableStream, GivesTheCountTheTableDefinitionHolds) {
    TempDir dir;
    const std::string path = WriteContacts(dir);
    auto engine = dbtest::Engine();
    EXPECT_EQ(engine.OpenDatabase(path)->OpenTable("roof")->StoredCount(), std::optional<uint64_t>(1200));
    auto bytes = dbtest::ReadBytes(path);
    int patched = 0;
    for (size_t page = 3 * 4096; page + 4096 <= bytes.size(); page += 4096) {
        const auto at = [&](size_t off) { return bytes[page + off] | bytes[page + off + 1] << 8 | bytes[page + off + 2] << 16; };
        if (bytes[page] == 0x02 && at(16) == 1200) {  // the table definition's count of rows
            bytes[page + 16] = 1300 & 0xff;
            bytes[page + 17] = 1300 >> 8;
            ++patched;
        }
    }
    ASSERT_EQ(patched, 1);
    dbtest::WriteBytes(path, bytes);
    auto db = engine.OpenDatabase(path);
    auto rows = db->OpenTable("roof");
    EXPECT_EQ(rows->StoredCount(), std::optional<uint64_t>(1300));
    EXPECT_EQ(ReadAll(*rows).size(), 1200u);
}

std::vector<std::vector<ports::Value>> ReadAll(ports::RowStream& rows) {
    std::vector<std::vector<ports::Value>> all;
    std::vector<ports::Value> row;
    while (rows.Next(row)) all.push_back(row);
    return all;
}

// The reader's search gives exactly the rows whose Text or Memo columns
// hold the text by the utility's comparison, whole, in table order.
TEST(TableStream, FindRecordsGivesTheRowsWhoseTextHoldsIt) {
    TempDir dir;
    auto engine = dbtest::Engine();
    std::vector<Table> tables = AllTables(WriteContacts(dir));
    for (const Table& t : tables) {
        auto db = engine.OpenDatabase(t.file);
        auto everything = db->OpenTable(t.name);
        const auto columns = everything->Columns();
        const auto all = ReadAll(*everything);
        for (const char* text : {"MÜLLER", "ı", "\x1b[31m", "straße 1", "a", "no such text at all"}) {
            SCOPED_TRACE(t.name + " / " + text);
            const vb::TextFinder finder(text);
            std::vector<std::vector<ports::Value>> want;
            for (const auto& row : all)
                for (size_t c = 0; c < columns.size(); ++c) {
                    const auto* s = std::get_if<std::string>(&row[c]);
                    if (s && (columns[c].type == ColumnType::Text || columns[c].type == ColumnType::Memo) &&
                        finder.In(*s)) {
                        want.push_back(row);
                        break;
                    }
                }
            auto found = db->FindRecords(t.name, text);
            EXPECT_EQ(found->Columns(), columns);
            EXPECT_EQ(ReadAll(*found), want);
        }
    }
}

// Batches much smaller than the table give the same rows, and so does an
// answer's cap smaller than a value: contact 500's notes (140 KB as UTF-8)
// come in pieces past a cap of 64 KiB.
TEST(TableStream, BatchesAndCapsSmallerThanAValueGiveTheWholeTable) {
    TempDir dir;
    const std::string path = WriteContacts(dir);
    auto engine = dbtest::Engine();
    const auto whole = ReadAll(*engine.OpenDatabase(path)->OpenTable("roof"));
    ASSERT_EQ(whole.size(), 1200u);

    jet::ReaderLimits small;
    small.firstBatchRows = 1;
    small.batchRows = 7;
    small.batchBytes = 3000;
    engine.SetLimits(small);
    EXPECT_EQ(ReadAll(*engine.OpenDatabase(path)->OpenTable("roof")), whole);

    small.outputBytes = 64 << 10;
    engine.SetLimits(small);
    EXPECT_EQ(ReadAll(*engine.OpenDatabase(path)->OpenTable("roof")), whole);
}

// Jet 3 text is code page 1252: the five bytes it leaves undefined come
// back as the control characters of the same number, never as "?".
TEST(TableStream, Jet3TextKeepsEveryByteOfCodePage1252) {
    REQUIRE_SAMPLES();
    TempDir dir;
    std::vector<unsigned char> bytes = dbtest::ReadBytes(dbtest::SamplesDir() + "/nwind.mdb");
    const std::string name = "Alfreds Futterkiste";
    for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), name.begin(), name.end())) != bytes.end();) {
        at[0] = 0x81;  // the A
        at[7] = 0x9D;  // the blank
        at += static_cast<long>(name.size());
    }
    const std::string path = dir.File("nwind.mdb");
    dbtest::WriteBytes(path, bytes);
    auto engine = dbtest::Engine();
    const auto customers = ReadAll(*engine.OpenDatabase(path)->OpenTable("Customers"));
    const auto alfki = std::find_if(customers.begin(), customers.end(),
                                    [](const auto& row) { return row[0] == ports::Value(std::string("ALFKI")); });
    ASSERT_NE(alfki, customers.end());
    EXPECT_EQ((*alfki)[1], ports::Value(std::string("\xC2\x81lfreds\xC2\x9D" "Futterkiste")));
}

// A stream ends in an error, never in a false end, when its reader goes or
// the engine reads something else; other engines, in other threads, run on.
TEST(TableStream, EndsInAnErrorWhenItsReaderIsGoneOrBusyElsewhere) {
    TempDir dir;
    const std::string path = WriteContacts(dir);
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(path);
    std::vector<ports::Value> row;

    auto killed = db->OpenTable("roof");
    ASSERT_TRUE(killed->Next(row));  // the first batch is here; the rest is not
    kill(engine.ReaderPid(), SIGKILL);
    {
        dbtest::TerminalCapture said(dir.File("said"));
        try {
            while (killed->Next(row)) {
            }
            ADD_FAILURE() << "the table was reported whole";
        } catch (const vb::Error& e) {
            EXPECT_EQ(e.Number(), vb::kUnrecognizedFormat);
        }
        EXPECT_NE(said.Restore().find(path), std::string::npos);  // the refusal names the file
    }

    auto interrupted = db->OpenTable("roof");
    ASSERT_TRUE(interrupted->Next(row));
    db->OpenRecordset("select count(*) as n from roof", ports::dbOpenDynaset);
    try {
        while (interrupted->Next(row)) {
        }
        FAIL() << "the table was reported whole";
    } catch (const vb::Error& e) {
        EXPECT_EQ(e.Number(), vb::kObjectInvalid);
    }
}

TEST(TableStream, EnginesInThreadsReadAtOnce) {
    TempDir dir;
    const std::string path = WriteContacts(dir);
    auto one = dbtest::Engine();
    const auto want = ReadAll(*one.OpenDatabase(path)->FindRecords("roof", "ü"));
    ASSERT_FALSE(want.empty());
    std::vector<std::vector<std::vector<ports::Value>>> got(4);
    std::vector<std::thread> threads;
    for (auto& g : got)
        threads.emplace_back([&] {
            try {
                auto engine = dbtest::Engine();
                g = ReadAll(*engine.OpenDatabase(path)->FindRecords("roof", "ü"));
            } catch (const vb::Error& e) {
                ADD_FAILURE() << e.Number() << " " << e.Description();
            }
        });
    for (auto& t : threads) t.join();
    for (const auto& g : got) EXPECT_EQ(g, want);
}

}  // namespace

// A page search: the file's data pages searched one at a time give, joined
// in the order the reader names them, what the whole stream finds; a long
// value's page moved elsewhere in the file is read from there; and a page
// search ends as a stream does when another request comes.
TEST(TableStream, APageSearchGivesPageByPageWhatTheWholeStreamFinds) {
    TempDir dir;
    const std::string path = WriteContacts(dir, 300);
    std::string file = platform_test::ReadFile(path);
    const auto pages = static_cast<uint32_t>(file.size() / 4096);
    // A copy of the first long-value page after the file's end, one letter
    // of a row changed.
    size_t lval = 0;
    for (size_t at = 4096; at < file.size() && !lval; at += 4096)
        if (file[at] == 1 && file.compare(at + 4, 4, "LVAL") == 0) lval = at / 4096;
    ASSERT_NE(lval, 0u);
    std::string copy = file.substr(lval * 4096, 4096);
    for (size_t i = 4095; i > 64; --i)
        if (copy[i] >= 'c' && copy[i] <= 'y' && copy[i - 2] >= 'a' && copy[i - 2] <= 'z') {
            copy[i] = copy[i] == 'x' ? 'y' : 'x';
            break;
        }
    platform_test::WriteFile(path, file + copy);

    jet::ReaderProcess reader(ROLVANE_READER_PATH, jet::ReaderLimits{});
    const jet::PagesLayout layout = reader.OpenPages(path, path, pages, "roof", "a");
    EXPECT_EQ(layout.head.columns.size(), 20u);
    EXPECT_FALSE(layout.structure.empty());
    ASSERT_FALSE(layout.dataPages.empty());
    std::vector<jet::PageTask> tasks;
    for (uint32_t pg : layout.dataPages) tasks.push_back({pg, pg, {}});
    std::vector<std::vector<ports::Value>> paged;
    std::vector<uint32_t> readingLval;  // the data pages whose rows read it
    for (size_t done = 0; done < tasks.size();) {
        for (jet::PageFound& page : reader.SearchPages({tasks.begin() + long(done), tasks.end()}, path, path)) {
            EXPECT_FALSE(page.error) << page.error->what();
            paged.insert(paged.end(), page.rows.begin(), page.rows.end());
            for (uint32_t pgRow : page.valueRows)
                if (pgRow >> 8 == lval) readingLval.push_back(tasks[done].versionPage);
            ++done;
        }
    }
    auto engine = dbtest::Engine();
    auto db = engine.OpenDatabase(path);
    auto whole = db->FindRecords("roof", "a");
    EXPECT_EQ(paged, ReadAll(*whole));

    // The same data page with the long-value page taken from the copy: one
    // of its rows reads the changed letter.
    ASSERT_FALSE(readingLval.empty());
    const uint32_t pg = readingLval.front();
    reader.OpenPages(path, path, pages, "roof", "");
    const auto asIs = reader.SearchPages({{pg, pg, {}}}, path, path).at(0);
    const auto moved = reader.SearchPages({{pg, pg, {{uint32_t(lval), pages}}}}, path, path).at(0);
    EXPECT_EQ(asIs.rows.size(), moved.rows.size());
    EXPECT_NE(asIs.rows, moved.rows);

    reader.Run(path, path, "SELECT count(*) FROM roof");
    try {
        reader.SearchPages({{pg, pg, {}}}, path, path);
        ADD_FAILURE() << "a page search outlived another request";
    } catch (const vb::Error& e) {
        EXPECT_EQ(e.Number(), vb::kObjectInvalid);
    }
}
