// Failures set up by a test, thrown at the named step.
#include "fakes/fakes.h"

namespace fakes {

void Failures::Check(const std::string& op, const std::string& path) {
    for (Failure& f : list_) {
        if (f.op != op || f.times == 0) continue;
        if (!f.path.empty() && f.path != path) continue;
        if (f.times > 0) --f.times;
        throw f.error;
    }
}

}  // namespace fakes
