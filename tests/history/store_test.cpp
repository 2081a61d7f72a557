#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <numeric>
#include <set>

#include "history/store.h"
#include "history_support.h"
#include "support/temp_folder.h"

namespace {

using history::Store;
using history::StoreRefused;
using history::Version;
using history_test::AddFile;
using history_test::File;
using history_test::Rebuilt;
using platform_test::ReadFile;
using platform_test::TempFolder;
using platform_test::WriteFile;

// Runs sql on the store's file behind the store's back.
void Tamper(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

TEST(Store, VersionsComeBackByteForByteAndCostOnlyTheirNewPages) {
    TempFolder tmp;
    Store store(tmp / "store", true);
    struct Step {
        std::string content;
        int64_t newPages;
    };
    const std::vector<Step> steps = {
        {File(40), 40},
        {File(40, {3, 17, 39}), 3},
        {File(40), 0},                   // back to the first: no page written
        {File(40, {3, 17, 39}), 0},      // the second again
        {File(40).substr(0, 4096 * 12 + 100), 1},  // cut short part way through a page
        {"", 0},
    };
    std::vector<Version> added;
    int64_t pages = 0;
    for (const Step& step : steps) {
        added.push_back(AddFile(store, step.content, {"Business", "C:\\bsrv.mdb"}, 1000 + added.size()));
        const int64_t now = store.Summarize().pages;
        EXPECT_EQ(now - pages, step.newPages) << added.size();
        pages = now;
    }
    for (size_t n = 0; n < steps.size(); ++n) {
        EXPECT_EQ(added[n].number, static_cast<int64_t>(n + 1));
        EXPECT_EQ(Rebuilt(store, added[n]), steps[n].content) << n;
        std::string pages;  // as a search of versions reads them, each checked
        store.ReadPages(store.PageIds(added[n], "version"), [&](size_t, std::string_view page, bool whole) {
            EXPECT_TRUE(whole) << n;
            pages += page;
        });
        EXPECT_EQ(pages, steps[n].content) << n;
    }
    const std::vector<Version> listed = store.Versions({"Business", "C:\\bsrv.mdb"});
    ASSERT_EQ(listed.size(), steps.size());
    EXPECT_EQ(listed.front().number, 6);  // newest first
    EXPECT_EQ(listed.back().records, 7);
    EXPECT_TRUE(store.Versions({"Personal", "C:\\bsrv.mdb"}).empty());
}

TEST(Store, AFileNotItsOwnIsRefusedAndLeftUntouched) {
    struct Case {
        const char* name;
        std::string sql;      // laid out with sqlite3; empty: the bytes below
        std::string bytes;
        StoreRefused::Why why;
    };
    const std::vector<Case> cases = {
        {"not a database", "", std::string(5000, 'x'), StoreRefused::Why::Damaged},
        {"another program's database", "CREATE TABLE t(x);", "", StoreRefused::Why::NotOurs},
        {"a newer release's layout",
         "PRAGMA application_id=" + std::to_string(history::kApplicationId) + "; PRAGMA user_version=2; CREATE TABLE t(x);",
         "", StoreRefused::Why::Newer},
    };
    for (const Case& c : cases) {
        TempFolder tmp;
        const std::string path = tmp / history::kStoreFileName;
        if (c.sql.empty()) WriteFile(path, c.bytes);
        else Tamper(path, c.sql);
        const std::string before = ReadFile(path);
        try {
            Store store(tmp.path(), true);
            ADD_FAILURE() << c.name << ": opened";
        } catch (const StoreRefused& refused) {
            EXPECT_EQ(refused.Reason(), c.why) << c.name;
            EXPECT_EQ(refused.Number(), 3343) << c.name;
        }
        EXPECT_EQ(ReadFile(path), before) << c.name;
    }
}

TEST(Store, APageThatFailsItsHashMakesItsVersionDamaged) {
    const std::vector<std::pair<const char*, std::string>> damages = {
        {"bytes that are no frame", "UPDATE pages SET data = x'00112233' WHERE id = 2"},
        {"another page's bytes", "UPDATE pages SET data = (SELECT data FROM pages WHERE id = 3), "
                                 "size = (SELECT size FROM pages WHERE id = 3), "
                                 "packed = (SELECT packed FROM pages WHERE id = 3) WHERE id = 2"},
        {"a page gone", "DELETE FROM pages WHERE id = 2"},
        {"a list that is no list", "UPDATE versions SET pages = x'01'"},
    };
    for (const auto& [name, sql] : damages) {
        TempFolder tmp;
        Version version;
        {
            Store store(tmp.path(), true);
            version = AddFile(store, File(8));
        }
        Tamper(tmp / history::kStoreFileName, sql);
        Store store(tmp.path(), false);
        try {
            Rebuilt(store, version);
            ADD_FAILURE() << name << ": rebuilt";
        } catch (const vb::Error& error) {
            EXPECT_EQ(error.Number(), 3343) << name;
        }
        // Read page by page, as a search of versions reads them, it is found as well.
        bool found = false;
        try {
            store.ReadPages(store.PageIds(version, "version"),
                            [&](size_t, std::string_view, bool whole) { found = found || !whole; });
        } catch (const vb::Error& error) {
            found = error.Number() == 3343;
        }
        EXPECT_TRUE(found) << name;
    }
}

// Starts `add` in a child process on its own connection to the store.
pid_t StartChild(const std::string& folder, const std::function<void(Store&)>& add) {
    const pid_t child = fork();
    if (child == 0) {
        int status = 0;
        try {
            Store store(folder, false);
            add(store);
        } catch (const vb::Error& error) {
            status = error.Number();
        }
        _exit(status);
    }
    return child;
}

// The child's exit status; 128 + the signal that ended it.
int WaitFor(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Store, AVersionCutOffPartWayLeavesTheStoreAsItWas) {
    struct Case {
        const char* name;
        std::function<void(Store&)> add;
        std::set<int> statuses;
    };
    const std::vector<Case> cases = {
        // The process dies inside the transaction, as in a power cut or a kill -9.
        {"ended mid-version",
         [](Store& store) {
             history::NewVersion v;
             v.facts.database = {"Business", "C:\\bsrv.mdb"};
             history::Sha256 sha;
             for (int n = 0; n < 50; ++n) v.pages.push_back(sha.Of(history_test::Page(n, 9)));
             std::string page;
             v.page = [&](size_t n) -> std::string_view {
                 if (n == 30) _exit(99);
                 return page = history_test::Page(n, 9);
             };
             store.Add(v);
         },
         {99}},
        // The file may grow no further, as on a full disk.
        {"no room to grow",
         [](Store& store) {
             signal(SIGXFSZ, SIG_IGN);
             const rlimit limit{static_cast<rlim_t>(store.Summarize().fileBytes + 8192),
                                static_cast<rlim_t>(store.Summarize().fileBytes + 8192)};
             setrlimit(RLIMIT_FSIZE, &limit);
             AddFile(store, File(200, {}, 0) + File(200, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 3), {"Business", "C:\\bsrv.mdb"}, 2000);
         },
         {57, 61}},
    };
    for (const Case& c : cases) {
        TempFolder tmp;
        Version first;
        {
            Store store(tmp.path(), true);
            first = AddFile(store, File(20));
        }
        EXPECT_TRUE(c.statuses.count(WaitFor(StartChild(tmp.path(), c.add)))) << c.name;
        Store store(tmp.path(), false);
        EXPECT_TRUE(store.Whole()) << c.name;
        const auto versions = store.Versions({"Business", "C:\\bsrv.mdb"});
        ASSERT_EQ(versions.size(), 1u) << c.name;
        EXPECT_EQ(store.Summarize().pages, 20) << c.name;
        EXPECT_EQ(Rebuilt(store, versions[0]), File(20)) << c.name;
    }
}

TEST(Store, TwoRunsAddingAtOnceBothKeepEveryVersion) {
    TempFolder tmp;
    { Store store(tmp.path(), true); }
    std::vector<pid_t> children;
    for (const char* edition : {"Business", "Personal"})
        children.push_back(StartChild(tmp.path(), [edition](Store& store) {
            for (int n = 0; n < 6; ++n) AddFile(store, File(30, {size_t(n)}, n + 1), {edition, "C:\\bsrv.mdb"});
        }));
    for (pid_t child : children) EXPECT_EQ(WaitFor(child), 0);
    Store store(tmp.path(), false);
    for (const char* edition : {"Business", "Personal"}) {
        const auto versions = store.Versions({edition, "C:\\bsrv.mdb"});
        ASSERT_EQ(versions.size(), 6u) << edition;
        for (const Version& v : versions) EXPECT_EQ(Rebuilt(store, v), File(30, {size_t(v.number - 1)}, v.number));
    }
    EXPECT_EQ(store.Summarize().pages, 30 + 6);  // the changed pages of both are the same pages
}

TEST(Store, TheCapThinsTheOldestFirstButNeverTheNewestGoodVersion) {
    using history::Verdict;
    struct Case {
        const char* name;
        int64_t cap;
        std::vector<Verdict> verdicts;  // oldest first
        std::vector<int64_t> kept;      // numbers, newest first
    };
    const std::vector<Case> cases = {
        {"under the cap", int64_t{1} << 30, {Verdict::Good, Verdict::Good, Verdict::Good}, {3, 2, 1}},
        {"over any cap", 0, {Verdict::Good, Verdict::Good, Verdict::Good}, {3}},
        {"the newest damaged", 0, {Verdict::Good, Verdict::Good, Verdict::Damaged}, {2}},
    };
    for (const Case& c : cases) {
        TempFolder tmp;
        Store store(tmp.path(), true);
        for (size_t n = 0; n < c.verdicts.size(); ++n)
            AddFile(store, File(30, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, int(n) + 1), {"Business", "C:\\bsrv.mdb"},
                    1000 + int64_t(n), c.verdicts[n]);
        const history::Thinned thinned = store.Thin(2000, history::UtcPeriods(), c.cap);
        EXPECT_EQ(thinned.bySize.size(), c.verdicts.size() - c.kept.size()) << c.name;
        std::vector<int64_t> kept;
        for (const Version& v : store.Versions({"Business", "C:\\bsrv.mdb"})) {
            kept.push_back(v.number);
            EXPECT_EQ(Rebuilt(store, v), File(30, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, int(v.number)));
        }
        EXPECT_EQ(kept, c.kept) << c.name;
        // The pages no version lists any more are gone with their versions.
        EXPECT_EQ(store.Summarize().pages, 20 + 10 * int64_t(c.kept.size())) << c.name;
        EXPECT_TRUE(store.Whole()) << c.name;
    }
}

}  // namespace

namespace {

// What a Lookup found is used by the Add after it only while no other run
// changed the store in between: pages it found may have been thinned away,
// and pages it did not may have been added.
TEST(Store, AnAddAfterALookupSeesWhatAnotherRunChangedInBetween) {
    using history::Known;
    const std::string first = File(30, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1);
    const std::string next = first.substr(0, 4096 * 20) + File(30, {20, 21, 22, 23, 24}, 2).substr(4096 * 20, 4096 * 5) +
                             first.substr(4096 * 25);
    const history::DatabaseRef business{"Business", "C:\\bsrv.mdb"}, personal{"Personal", "C:\\bsrv.mdb"};
    struct Case {
        const char* name;
        std::function<void(Store& other)> between;
    };
    const std::vector<Case> cases = {
        {"nothing", [](Store&) {}},
        {"the pages found thinned away",
         [&](Store& other) {
             std::vector<size_t> every(30);
             std::iota(every.begin(), every.end(), 0);
             AddFile(other, File(30, every, 3), business, 1500);
             other.Thin(2000, history::UtcPeriods(), 0);
         }},
        {"the new pages added", [&](Store& other) { AddFile(other, next, personal, 1500); }},
    };
    for (const Case& c : cases) {
        TempFolder tmp;
        Store store(tmp.path(), true), other(tmp.path(), false);
        AddFile(store, first, business, 1000);
        history::Sha256 sha;
        std::vector<history::Digest> pages;
        for (size_t at = 0; at < next.size(); at += 4096) pages.push_back(sha.Of(next.substr(at, 4096)));
        const std::vector<Known> known = store.Lookup(pages);
        ASSERT_EQ(std::count(known.begin(), known.end(), Known::New), 5) << c.name;
        c.between(other);
        const Version added = AddFile(store, next, business, 1600);
        EXPECT_EQ(Rebuilt(store, added), next) << c.name;
        EXPECT_TRUE(store.Whole()) << c.name;
        const std::vector<Known> after = store.Lookup(pages);
        EXPECT_EQ(std::count(after.begin(), after.end(), Known::Checked), 30) << c.name;
    }
}

// Where a Lookup is told the pages likely are is a hint: right, shifted,
// stale or none, it finds the same.
TEST(Store, ALookupFindsTheSameWhereverThePagesAreSaidToBe) {
    TempFolder tmp;
    Store store(tmp.path(), true);
    const std::string first = File(30, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1);
    const Version taken = AddFile(store, first, {"Business", "C:\\bsrv.mdb"}, 1000);
    const std::string next = first.substr(0, 4096 * 20) + File(30, {20, 21}, 2).substr(4096 * 20, 4096 * 2) +
                             first.substr(4096 * 22);
    history::Sha256 sha;
    std::vector<history::Digest> pages;
    for (size_t at = 0; at < next.size(); at += 4096) pages.push_back(sha.Of(next.substr(at, 4096)));
    std::vector<int64_t> ids;
    const std::vector<history::Known> known = store.Lookup(pages, &ids);
    const std::vector<int64_t> held = store.PagesOf(taken);
    const std::vector<std::vector<int64_t>> hints = {held, {held.begin() + 1, held.end()}, {held.rbegin(), held.rend()},
                                                     std::vector<int64_t>(held.size(), 1 << 30)};
    for (const std::vector<int64_t>& likely : hints) {
        std::vector<int64_t> hinted;
        EXPECT_EQ(store.Lookup(pages, &hinted, likely), known);
        EXPECT_EQ(hinted, ids);
    }
    EXPECT_EQ(std::count(known.begin(), known.end(), history::Known::New), 2);
}

}  // namespace
