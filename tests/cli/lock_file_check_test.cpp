// The lock file beside a database (app/lock_file_check.h): a stale .ldb
// beside a live .mdb is a warning added to the file's check; one that
// Rolvane holds open, or beside a file that is no .mdb, is none.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/lock_file_check.h"
#include "support/temp_folder.h"

namespace {

// The reader's part of the check: nothing to say, or what it was told.
struct Told : ports::FileCheck {
    ports::CheckResult result;
    ports::CheckResult Check(const std::string&, const ports::CheckProgress&) override { return result; }
};

struct Case {
    const char* name;
    std::vector<std::string> files;  // in the folder; the first is checked
    bool heldOpen;                   // another open file description locks it (as Wine does for Rolvane)
    const char* warning;             // in the warning added; empty: none
};

const Case kCases[] = {
    {"StaleLockFile", {"bsrv.mdb", "bsrv.ldb"}, false, "a lock file, bsrv.ldb, lies beside it"},
    {"InAnyCase", {"bsrv.mdb", "BSRV.LDB"}, false, "BSRV.LDB"},
    {"NoLockFile", {"bsrv.mdb", "bsrv.1"}, false, ""},
    {"HeldOpen", {"bsrv.mdb", "bsrv.ldb"}, true, ""},
    {"NotADatabaseName", {"bsrv.3", "bsrv.ldb"}, false, ""},
    {"OtherDatabasesLock", {"bsrv.mdb", "options.ldb"}, false, ""},
};

class LockFiles : public ::testing::TestWithParam<Case> {};

TEST_P(LockFiles, WarnOnlyWhereStale) {
    const Case& c = GetParam();
    platform_test::TempFolder folder;
    for (const std::string& f : c.files) platform_test::WriteFile(folder / f, "x");
    const std::string file = folder / c.files.front();
    int holder = -1;
    if (c.heldOpen) {
        holder = open(file.c_str(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_len = 1;
        ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &lock), 0);
    }
    auto inner = std::make_unique<Told>();
    inner->result.findings.push_back({ports::Severity::Note, "from the reader", {}, {}, {}});
    app::LockFileCheck check(std::move(inner), [](const std::string& p) { return p; });
    const ports::CheckResult r = check.Check(file);
    if (holder >= 0) close(holder);
    ASSERT_GE(r.findings.size(), 1u);
    EXPECT_EQ(r.findings.front().what, "from the reader");
    if (std::string(c.warning).empty()) {
        EXPECT_EQ(r.findings.size(), 1u) << r.findings.back().what;
    } else {
        ASSERT_EQ(r.findings.size(), 2u);
        EXPECT_EQ(r.findings.back().severity, ports::Severity::Warning);
        EXPECT_NE(r.findings.back().what.find(c.warning), std::string::npos) << r.findings.back().what;
    }
}

INSTANTIATE_TEST_SUITE_P(Beside, LockFiles, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
