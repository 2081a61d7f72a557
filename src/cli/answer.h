// What both programs do with their command line before any window: the
// help and the version printed, a usage error told, a command run on the
// console. Shared by the launcher and the window's program, so that either
// refuses the same lines and runs the same commands.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/commandline.h"

namespace cli {

// The exit status when the line is answered here; none when it opens the
// window.
std::optional<int> Answer(const std::vector<std::string>& arguments);

}  // namespace cli
