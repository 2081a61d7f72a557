#include <gtest/gtest.h>

#include "cli/scheduled.h"

namespace {

// Which outcomes of a scheduled snapshot are problems told to the user:
// a damaged version, a version not kept, a database held for over a day.
TEST(ScheduledProblems, AreTheDamagedTheFailedAndTheLongHeld) {
    using Kind = history::Outcome::Kind;
    const int64_t now = 10 * 86400;
    const auto outcome = [](Kind kind, history::Verdict verdict) {
        history::Outcome o;
        o.database.ref = {"Business", "C:\\bsrv.mdb"};
        o.kind = kind;
        if (kind == Kind::Taken) {
            o.version = history::Version{};
            o.version->verdict = verdict;
        }
        if (kind == Kind::Failed) o.error = vb::DiskFull();
        o.reason = "page 3: a row outside its page";
        return o;
    };
    struct Case {
        const char* name;
        history::Outcome outcome;
        std::optional<int64_t> newestTaken;
        const char* key;  // "" for none
        const char* bodyHas;
    };
    const std::vector<Case> cases = {
        {"damaged", outcome(Kind::Taken, history::Verdict::Damaged), now, "damaged Business",
         "/h/bsrv.mdb is damaged (page 3: a row outside its page); Rolvane may fail to open it. The newest good "
         "version is version @4, taken 2026-12-10 08:00."},
        {"not kept", outcome(Kind::Failed, history::Verdict::Good), now, "failed Business", "/h/bsrv.mdb: Disk full."},
        {"held an hour", outcome(Kind::InUse, history::Verdict::Good), now - 3600, "", ""},
        {"held two days", outcome(Kind::InUse, history::Verdict::Good), now - 2 * 86400, "held Business",
         "has been held by another program since before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto problem =
            cli::ProblemOf(c.outcome, "/h/bsrv.mdb", "version @4, taken 2026-12-10 08:00", c.newestTaken, now);
        ASSERT_EQ(problem.has_value(), *c.key != 0);
        if (!problem) continue;
        EXPECT_EQ(problem->key, c.key);
        EXPECT_EQ(problem->edition, "Business");
        EXPECT_NE(problem->body.find(c.bodyHas), std::string::npos) << problem->body;
    }
}

}  // namespace
