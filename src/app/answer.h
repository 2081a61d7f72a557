// What both programs do with their command line before any window: the
// help and the version printed, a usage error told, a command handed to
// runCommand. Shared by the launcher and the window's program, so that
// either refuses the same lines.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/commandline.h"

namespace app {

// Runs a command of the line; returns its exit status.
using RunCommand = std::function<int(const ConsoleCommand&)>;

// The exit status when the line is answered here; none when it opens the
// window.
std::optional<int> Answer(const std::vector<std::string>& arguments, const RunCommand& runCommand);

}  // namespace app
