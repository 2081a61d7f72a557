// The fake whole-file check: findings told by the test, progress in steps.
#include "fakes/fakes.h"

namespace fakes {

ports::CheckResult FakeFileCheck::Check(const std::string& Path, const ports::CheckProgress& Progress) {
    checked.push_back(Path);
    ports::CheckResult result;
    result.cancelled = userStops;
    if (userStops) return result;
    for (int step = 1; step <= steps; ++step)
        if (Progress && !Progress(static_cast<uint64_t>(step), static_cast<uint64_t>(steps))) {
            result.cancelled = true;
            return result;
        }
    if (!files_.Find(Path)) {
        result.findings.push_back({ports::Severity::Damaged, "it cannot be read: Could not find file '" + Path + "'.", {}, {}, {}});
        return result;
    }
    if (const auto told = told_.find(FakeFiles::KeyOf(Path)); told != told_.end()) result.findings = told->second;
    return result;
}

}  // namespace fakes
