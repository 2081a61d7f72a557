// The page-by-page search of the history store's versions against the
// search it stands for: every version rebuilt whole and searched in the
// reader. Versions made from mkmdb's contacts, changed byte by byte where a
// test needs a page to differ and the rest to stay shared.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/version_pages.h"
#include "app/version_search.h"
#include "history/history_support.h"
#include "jet/libmdb_engine.h"
#include "mkmdb/contacts.h"
#include "support/temp_folder.h"

namespace {

constexpr int64_t kPage = 4096;

std::string Contacts(size_t count) {
    platform_test::TempFolder folder;
    const std::string path = folder.path() + "/bsrv.mdb";
    mkmdb::Write(path, {mkmdb::ContactsTable({count, 1, {}, 0})});
    return platform_test::ReadFile(path);
}

// Whether the page at `at` is a long-value page, else one of roof's data
// pages (of the table most data pages belong to).
bool IsLongValues(const std::string& file, size_t at) { return file[at] == 1 && file.compare(at + 4, 4, "LVAL") == 0; }
bool IsRows(const std::string& file, size_t at) {
    std::map<std::string, size_t> owners;
    for (size_t pg = kPage; pg + kPage <= file.size(); pg += kPage)
        if (file[pg] == 1 && !IsLongValues(file, pg)) ++owners[file.substr(pg + 4, 4)];
    const auto most = std::max_element(owners.begin(), owners.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    return file[at] == 1 && !IsLongValues(file, at) && file.compare(at + 4, 4, most->first) == 0;
}

// The file with one lower-case letter of a row of its first long-value page
// (else of its first data page) changed into another, so that that page
// alone differs.
std::string WithLetterChanged(std::string file, bool longValues) {
    for (size_t at = kPage; at + kPage <= file.size(); at += kPage) {
        if (longValues ? !IsLongValues(file, at) : !IsRows(file, at)) continue;
        for (size_t i = at + kPage - 1; i > at + 64; --i)
            if (file[i] >= 'c' && file[i] <= 'y' && file[i - 2] >= 'a' && file[i - 2] <= 'z') {
                file[i] = file[i] == 'x' ? 'y' : 'x';
                return file;
            }
    }
    ADD_FAILURE() << "no page with a letter to change";
    return file;
}

// The file with bytes of the free space of the catalogue's first data page
// (the rows of the table whose definition is page 2) changed: a page that
// differs where no reader reads.
std::string WithCatalogueFreeSpaceStamped(std::string file) {
    const auto u16 = [&file](size_t at) { return size_t(uint8_t(file[at]) | uint8_t(file[at + 1]) << 8); };
    for (size_t at = kPage; at + kPage <= file.size(); at += kPage) {
        if (file[at] != 1 || file.compare(at + 4, 4, std::string("\x02\0\0\0", 4)) != 0) continue;
        const size_t rows = u16(at + 12), table = 14 + 2 * rows;
        size_t lowest = kPage;
        for (size_t r = 0; r < rows; ++r) lowest = std::min(lowest, u16(at + 14 + 2 * r) & 0x1fff);
        if (lowest < table + 8) continue;
        file.replace(at + table + 2, 6, "stamp!");
        return file;
    }
    ADD_FAILURE() << "no catalogue page with free space";
    return file;
}

// Each version's records as a search of it rebuilt whole finds them, or
// the error that ended it.
std::vector<app::VersionFound> SearchedWhole(history::Store& store, const std::vector<history::Version>& versions,
                                             const std::string& text) {
    std::vector<app::VersionFound> found;
    jet::LibmdbEngine engine([](const std::string& path) { return path; }, ROLVANE_READER_PATH);
    for (const history::Version& version : versions) {
        app::VersionFound one{version, {}, {}, {}};
        history::VersionFile file(store.Folder());
        try {
            store.Rebuild(version, file.Fd(), "version");
            auto db = engine.OpenDatabase(file.Path());
            auto rows = db->FindRecords("roof", text);
            for (std::vector<ports::Value> row; rows->Next(row);) one.table.records.push_back(row);
        } catch (const vb::Error& error) {
            one.error = error;
        }
        found.push_back(std::move(one));
    }
    return found;
}

class VersionSearch : public ::testing::Test {
protected:
    history::Version Add(const std::string& content) {
        return history_test::AddFile(store, content, {"Business", "C:\\bsrv.mdb"}, taken += 60);
    }
    std::vector<app::VersionFound> Searched(const std::string& text) {
        return app::SearchVersions(store, store.Versions({"Business", "C:\\bsrv.mdb"}), "Business", text,
                                   ROLVANE_READER_PATH, 2, {});
    }
    // Both searches agree on every version: the same records in the same
    // order, and an error where, and only where, the whole search failed.
    void ExpectAsWhole(const std::string& text) {
        const std::vector<history::Version> versions = store.Versions({"Business", "C:\\bsrv.mdb"});
        const std::vector<app::VersionFound> whole = SearchedWhole(store, versions, text);
        const std::vector<app::VersionFound> paged = Searched(text);
        ASSERT_EQ(paged.size(), whole.size());
        for (size_t v = 0; v < whole.size(); ++v) {
            SCOPED_TRACE("version " + std::to_string(versions[v].number) + ", text " + text);
            EXPECT_EQ(paged[v].version.number, versions[v].number);
            EXPECT_EQ(paged[v].error.has_value(), whole[v].error.has_value())
                << (paged[v].error ? paged[v].error->what() : "") << (whole[v].error ? whole[v].error->what() : "");
            if (!whole[v].error) {
                EXPECT_EQ(paged[v].table.records, whole[v].table.records);
            }
        }
    }

    platform_test::TempFolder folder;
    history::Store store{folder.path(), true};
    int64_t taken = 1767225600;
};

TEST_F(VersionSearch, FindsWhatEachVersionSearchedWholeFinds) {
    // Versions that share most pages: a data page changed, a long value's
    // page changed under data pages that did not (whose rows then read
    // another memo), one back as it was, one of another layout, and ones
    // whose catalogue differs only in its free space (searched beside those
    // it otherwise equals).
    const std::string first = Contacts(300);
    const std::string data = WithLetterChanged(first, false);
    const std::string memo = WithLetterChanged(data, true);
    const std::string stamped = WithCatalogueFreeSpaceStamped(memo);
    ASSERT_NE(memo, data);
    ASSERT_NE(stamped, memo);
    for (const std::string& content : {first, data, stamped, memo, first, Contacts(120), memo,
                                       WithCatalogueFreeSpaceStamped(first)})
        Add(content);
    for (const std::string text : {"a", "example", "x", "no such text anywhere"}) ExpectAsWhole(text);
}

// A search stopped before it reached a version says so of it, rather than
// giving it as searched with nothing found.
TEST_F(VersionSearch, AStoppedSearchSaysSoOfEveryVersionItDidNotSearch) {
    for (const std::string& content : {Contacts(50), Contacts(40)}) Add(content);
    const std::vector<history::Version> versions = store.Versions({"Business", "C:\\bsrv.mdb"});
    const std::vector<app::VersionFound> found =
        app::SearchVersions(store, versions, "Business", "a", ROLVANE_READER_PATH, 2, [] { return true; });
    ASSERT_EQ(found.size(), 2u);
    for (const app::VersionFound& one : found) {
        ASSERT_TRUE(one.error.has_value());
        EXPECT_EQ(one.error->Number(), vb::kUserInterrupt);
    }
}

TEST_F(VersionSearch, AVersionWithAPageThatFailsItsHashIsToldDamagedAndTheOthersAreSearched) {
    const std::string first = Contacts(60);
    const std::string second = WithLetterChanged(first, false);
    Add(first);
    const history::Version damaged = Add(second);
    Add(first);
    // The page only the second version holds, overwritten in the store.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder.path() + "/history.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE pages SET packed = 0, data = zeroblob(size) WHERE id = (SELECT MAX(id) FROM pages)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    const std::vector<app::VersionFound> found = Searched("example");
    ASSERT_EQ(found.size(), 3u);
    for (const app::VersionFound& one : found) {
        SCOPED_TRACE(one.version.number);
        if (one.version.number == damaged.number) {
            EXPECT_EQ(one.unbuilt, "Version 2 of the Business edition is damaged in the history store (it fails its "
                                   "hash); it is never put back.");
            EXPECT_TRUE(one.error);
        } else {
            EXPECT_FALSE(one.error) << one.error->what();
            EXPECT_EQ(one.table.records.size(), 60u);
        }
    }
}

TEST_F(VersionSearch, ADamagedDataPageFailsTheVersionsHoldingItAfterTheRecordsBeforeIt) {
    std::string broken = Contacts(300);
    // The table's last data page no data page any more, which libmdb
    // reports when its usage map leads it there.
    size_t last = 0;
    for (size_t at = kPage; at + kPage <= broken.size(); at += kPage)
        if (IsRows(broken, at)) last = at;
    ASSERT_NE(last, 0u);
    broken[last] = 2;
    Add(Contacts(300));
    Add(broken);
    ExpectAsWhole("example");
    const std::vector<app::VersionFound> found = Searched("example");
    ASSERT_TRUE(found[0].error);  // newest first: the broken one
    EXPECT_EQ(found[0].error->Number(), vb::kUnrecognizedFormat);
    EXPECT_FALSE(found[0].table.records.empty());
    EXPECT_FALSE(found[1].error);
}

}  // namespace

namespace {

// Whether a row of long values reads as it did, told without copying the
// row: only the row whose bytes changed, or every row when the page's count
// or offsets changed, reads otherwise; free space changes nothing.
TEST(RowReads, ARowReadsAsItDidUnlessItsPlaceOrItsBytesChanged) {
    const std::string file = Contacts(50);
    size_t at = kPage;
    while (at + kPage <= file.size() && !IsLongValues(file, at)) at += kPage;
    ASSERT_LT(at + kPage, file.size() + 1);
    const std::string page = file.substr(at, kPage);
    const unsigned count = uint8_t(page[12]) | uint8_t(page[13]) << 8;
    ASSERT_GT(count, 1u);
    const auto rowOf = [&](size_t byte) {  // the row whose bytes hold `byte`
        for (unsigned r = 0; r < count; ++r) {
            const size_t start = (uint8_t(page[14 + 2 * r]) | uint8_t(page[15 + 2 * r]) << 8) & 0x1fff;
            const size_t end = r == 0 ? kPage : (uint8_t(page[12 + 2 * r]) | uint8_t(page[13 + 2 * r]) << 8) & 0x1fff;
            if (byte >= start && byte < end) return int(r);
        }
        return -1;
    };
    const std::string letter = WithLetterChanged(file, true).substr(at, kPage);
    const size_t changed = std::mismatch(page.begin(), page.end(), letter.begin()).first - page.begin();
    ASSERT_GE(rowOf(changed), 0);
    std::string moved = page, freeSpace = page;
    moved[14] ^= 1;  // row 0 starts a byte elsewhere
    freeSpace[14 + 2 * count + 1] ^= 0x55;
    ASSERT_EQ(app::PageRead(freeSpace, 12), app::PageRead(page, 12));
    const struct {
        const char* name;
        const std::string& other;
        int differs;  // the row that reads otherwise; -1 none, -2 row 0 and row 1 (whose end row 0's start is)
    } cases[] = {{"same", page, -1}, {"a letter", letter, rowOf(changed)}, {"free space", freeSpace, -1},
                 {"an offset", moved, -2}};
    for (const auto& c : cases)
        for (unsigned r = 0; r < count; ++r) {
            const bool same = c.differs == -1 || (c.differs >= 0 && int(r) != c.differs) || (c.differs == -2 && r > 1);
            EXPECT_EQ(app::ReadsAs(c.other, r, 12, app::RowRead(page, r, 12)), same) << c.name << ", row " << r;
            EXPECT_EQ(app::RowRead(c.other, r, 12) == app::RowRead(page, r, 12), same) << c.name << ", row " << r;
        }
}

}  // namespace
