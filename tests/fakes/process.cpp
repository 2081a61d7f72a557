// The fake process: how it ended.
#include "fakes/fakes.h"

namespace fakes {

void FakeProcess::End() {
    failures.Check("End");
    ++ends;
    throw ports::ProcessEnded{};
}

}  // namespace fakes
