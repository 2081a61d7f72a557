// The window's side of the command line: the program's name and version as
// the window shows them. The line itself is read without Qt, by both
// programs alike (cli/commandline.h, cli/answer.h): the window's program
// opens its window only with no argument or Qt's options.
#pragma once

#include <QString>

#include "cli/commandline.h"

namespace gui {

// The version of this build, as the project declares it.
QString Version();

}  // namespace gui
