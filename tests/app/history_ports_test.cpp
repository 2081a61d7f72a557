// The verdict a version is kept with: the whole-file check's, on the
// services of the run (fakes here), with roof's count beside a good one.
#include <gtest/gtest.h>

#include "app/history_ports.h"
#include "fakes/fakes.h"

namespace {

struct Case {
    const char* name;
    std::vector<ports::Finding> findings;  // what the check finds
    bool stopped;                          // the check is stopped
    history::Verdict verdict;
    std::optional<int64_t> records;
    const char* reason;
};

TEST(ExamineVersion, TakesTheWholeFileChecksVerdict) {
    using ports::Severity;
    const std::string path = "/home/ann/bsrv.mdb";
    const std::vector<Case> cases = {
        {"good", {}, false, history::Verdict::Good, 3, ""},
        {"warnings are what Jet tolerates", {{Severity::Warning, "a stale count", "roof", {}, {}}}, false,
         history::Verdict::Good, 3, ""},
        // The reader still counts it: only the check finds the damage.
        {"damaged", {{Severity::Note, "keys", {}, {}, {}}, {Severity::Damaged, "the rows overlap", "roof", 87, 3}}, false,
         history::Verdict::Damaged, std::nullopt, "roof, page 87, row 3: the rows overlap"},
        {"stopped", {}, true, history::Verdict::Unchecked, std::nullopt, "its check was stopped"},
    };
    for (const Case& c : cases) {
        fakes::World world;
        world.files.Put(path, "JET roof=3");
        world.check.Tell(path, c.findings);
        world.check.userStops = c.stopped;
        const history::Examination found = app::ExamineVersion(world.sys, path, {});
        EXPECT_EQ(found.verdict, c.verdict) << c.name;
        EXPECT_EQ(found.records, c.records) << c.name;
        EXPECT_EQ(found.reason, c.reason) << c.name;
        EXPECT_EQ(world.check.checked, std::vector<std::string>{path}) << c.name;
    }
}

}  // namespace
