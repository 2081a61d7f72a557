// The program as the user knows it: its name on the command line and in
// its messages, the window's title, the application whose data it looks
// after and its version; and its two executables, the program and the
// window's program, each finding and starting the other.
#pragma once

#include <string>

namespace app {

inline constexpr const char* kProgramName = "restore-rolvane-data";
// The window's program: a private helper, under libexec when installed.
inline constexpr const char* kWindowProgram = "restore-rolvane-data-window";
// The title of the window and of every message box.
inline constexpr const char* kAppTitle = "Restore Rolvane Data";
// The application whose data the program looks after.
inline constexpr const char* kServed = "Varnock Rolvane";

// The version of this build, as the project declares it.
const char* Version();

// Program name beside the running program (the build tree), else in the
// folder relative to it (fromHere: "../libexec/restore-rolvane-data" for
// the window's program of an installed program); empty when the running
// program's place is unknown.
std::string ProgramPath(const char* name, const std::string& fromHere);

// Becomes the program at path, with argv; returns only when it cannot,
// having said why on stderr, with exit status 1.
int BecomeProgram(const std::string& path, char* argv[]);

}  // namespace app
