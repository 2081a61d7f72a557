// The notices of scheduled runs: their rate, and the last one kept.
#include <gtest/gtest.h>

#include "cli/notices.h"
#include "support/temp_folder.h"

namespace {

TEST(Notices, OnePerProblemPerDayAndTheLastIsKept) {
    platform_test::TempFolder folder;
    std::vector<std::string> shown;
    cli::Notices notices(folder / "state/restore-rolvane-data/notices", [&shown](const cli::Problem& problem) {
        shown.push_back(problem.key);
        return false;  // no notification service: still counted as told
    });
    const cli::Problem damaged{"damaged Business", "Rolvane Business contacts: damaged", "x.", "Business"};
    const cli::Problem store{"store", "no version", "full", ""};
    struct Step {
        const cli::Problem& problem;
        int64_t at;
        bool told;
    };
    const int64_t day = 86400;
    for (const Step& step : {Step{damaged, 1000, true}, Step{damaged, 1000 + day - 1, false}, Step{store, 2000, true},
                             Step{damaged, 1000 + day, true}})
        EXPECT_EQ(notices.Tell(step.problem, step.at), step.told) << step.problem.key << " at " << step.at;
    EXPECT_EQ(shown, (std::vector<std::string>{"damaged Business", "store", "damaged Business"}));
    ASSERT_TRUE(notices.Last());
    EXPECT_EQ(notices.Last()->when, 1000 + day);
    EXPECT_EQ(notices.Last()->text, "Rolvane Business contacts: damaged: x.");
}

}  // namespace
