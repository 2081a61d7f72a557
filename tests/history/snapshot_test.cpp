#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "history/snapshot.h"
#include "history_support.h"
#include "support/temp_folder.h"

namespace {

using history::Outcome;
using history::Verdict;
using history_test::File;
using Kind = Outcome::Kind;

// The folder's lock, which another command may hold.
struct Lock : ports::FolderLock {
    bool heldByOther = false;
    std::unique_ptr<Held> Take(const std::string&, const std::function<void()>& waiting) override {
        if (heldByOther) {
            waiting();
            throw vb::HeldByCommand();
        }
        return std::make_unique<Held>();
    }
};

// Stop signals; `asked` runs each time the snapshot asks (between chunks
// of its read), as a writer or a Ctrl-C that comes while it reads.
struct Stops : ports::StopSignals {
    std::function<void()> asked;
    int signal = 0;
    std::unique_ptr<Span> Catch() override { return std::make_unique<Span>(); }
    bool Requested() override {
        if (asked) asked();
        return signal != 0;
    }
    void EndIfRequested() override {}
};

class Snapshot : public ::testing::Test {
protected:
    void Live(const std::string& content, int64_t date) {
        platform_test::WriteFile(live_, content);
        const timespec times[2] = {{date, 0}, {date, 0}};
        utimensat(AT_FDCWD, live_.c_str(), times, 0);
    }

    Outcome Take() {
        history::SnapshotPorts ports(lock_, stops_);
        ports.heldByAnother = [this](int) { return held_; };
        ports.examine = [this](const std::string& path, const std::vector<size_t>& pages) {
            // Read as the reader child reads it: through the path.
            std::ifstream in(path, std::ios::binary);
            examined_.push_back(std::string(std::istreambuf_iterator<char>(in), {}));
            toldPages_ = pages;
            return history::Examination{verdict_, 5, verdict_ == Verdict::Damaged ? "page 3" : ""};
        };
        ports.now = [] { return int64_t{1780315200}; };
        ports.waiting = [this](const history::LiveDatabase&) { ++waited_; };
        const history::SnapshotReport report = history::TakeSnapshots(store_, {{db_, live_}}, ports);
        stopped_ = report.stopped;
        return report.outcomes.at(0);
    }

    size_t Versions() { return store_.Versions(db_).size(); }

    platform_test::TempFolder tmp_;
    std::string live_ = tmp_ / "drive_c/bsrv.mdb";
    history::DatabaseRef db_{"Business", "C:\\bsrv.mdb"};
    history::Store store_{tmp_ / "store", true};
    Lock lock_;
    Stops stops_;
    bool held_ = false;
    bool stopped_ = false;
    int waited_ = 0;
    Verdict verdict_ = Verdict::Good;
    std::vector<std::string> examined_;
    std::vector<size_t> toldPages_;
};

TEST_F(Snapshot, TakesWhatChangedAndChecksOnlyItsNewPages) {
    struct Step {
        const char* name;
        std::string content;
        int64_t date;
        Kind kind;
        size_t newPages;
        std::vector<size_t> checked;  // the pages the check was told of; "-": not examined
        bool examined;
    };
    const std::vector<Step> steps = {
        {"the first", File(10), 100, Kind::Taken, 10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, true},
        {"unchanged", File(10), 100, Kind::Unchanged, 0, {}, false},
        {"two pages changed", File(10, {2, 7}), 200, Kind::Taken, 2, {2, 7}, true},
        {"a new date alone", File(10, {2, 7}), 300, Kind::Taken, 0, {}, false},
        // Pages a good version held, but not in the place the newest good one did.
        {"the first again", File(10), 400, Kind::Taken, 0, {2, 7}, true},
        {"grown by a page", File(11), 500, Kind::Taken, 1, {10}, true},
    };
    size_t versions = 0;
    for (const Step& step : steps) {
        Live(step.content, step.date);
        examined_.clear();
        toldPages_.clear();
        const Outcome outcome = Take();
        EXPECT_EQ(outcome.kind, step.kind) << step.name;
        EXPECT_EQ(outcome.newPages, step.newPages) << step.name;
        ASSERT_EQ(examined_.size(), step.examined ? 1u : 0u) << step.name;
        if (step.examined) {
            EXPECT_EQ(examined_[0], step.content) << step.name;
            EXPECT_EQ(toldPages_, step.checked) << step.name;
        }
        versions += step.kind == Kind::Taken;
        ASSERT_EQ(Versions(), versions) << step.name;
        const history::Version newest = *store_.Newest(db_);
        EXPECT_EQ(newest.modifiedNs, step.date * 1000000000) << step.name;
        EXPECT_EQ(newest.verdict, Verdict::Good) << step.name;
        EXPECT_EQ(history_test::Rebuilt(store_, newest), step.content) << step.name;
    }
}

TEST_F(Snapshot, LeavesAloneWhatIsHeldOrChangesWhileRead) {
    Live(File(10), 100);
    ASSERT_EQ(Take().kind, Kind::Taken);
    const std::string changed = File(300, {1});  // more than one chunk of the read
    struct Case {
        const char* name;
        std::function<void()> arrange;
        Kind kind;
        int error;  // 0: none
    };
    int writes = 0;
    const std::vector<Case> cases = {
        {"held by another program", [&] { held_ = true; }, Kind::InUse, 70},
        {"another command holds the folder", [&] { lock_.heldByOther = true; }, Kind::InUse, 70},
        {"written to during each read",
         [&] {
             stops_.asked = [&] {
                 if (++writes % 2 == 0) Live(changed, 300 + writes);
             };
         },
         Kind::ChangedWhileRead, 0},
        {"stopped while read",
         [&] {
             stops_.asked = [&] {
                 if (++writes == 2) stops_.signal = 2;
             };
         },
         Kind::Failed, 18},
    };
    for (const Case& c : cases) {
        Live(changed, 200);
        held_ = lock_.heldByOther = false;
        stops_.asked = nullptr;
        stops_.signal = 0;
        writes = 0;
        c.arrange();
        const Outcome outcome = Take();
        EXPECT_EQ(outcome.kind, c.kind) << c.name;
        EXPECT_EQ(outcome.error ? outcome.error->Number() : 0, c.error) << c.name;
        EXPECT_EQ(Versions(), 1u) << c.name;
    }
    EXPECT_EQ(waited_, 1);
    EXPECT_TRUE(stopped_);

    // Written to during the first read only: the second read is kept.
    writes = 0;
    stops_.signal = 0;
    stops_.asked = [&] {
        if (++writes == 2) Live(changed, 900);
    };
    Live(changed, 800);
    const Outcome outcome = Take();
    EXPECT_EQ(outcome.kind, Kind::Taken);
    EXPECT_EQ(outcome.version->modifiedNs, int64_t{900} * 1000000000);
}

TEST_F(Snapshot, ADamagedDatabaseIsKeptAndMarked) {
    verdict_ = Verdict::Damaged;
    Live(File(6, {1}), 100);
    const Outcome outcome = Take();
    ASSERT_EQ(outcome.kind, Kind::Taken);
    EXPECT_EQ(outcome.version->verdict, Verdict::Damaged);
    EXPECT_EQ(outcome.reason, "page 3");
    // Its pages count as unchecked: the next version checks them all again.
    verdict_ = Verdict::Good;
    Live(File(6, {1}, 2), 200);
    Take();
    EXPECT_EQ(toldPages_.size(), 6u);
}

}  // namespace
