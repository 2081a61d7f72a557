// The commands of the command line that run without a window (--list,
// --versions, --restore, --create-blank, --put-back) and their options,
// read without Qt, so that a command costs no more than the program it is.
// The window's own options and the help: commandline.h.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char* kProgramName = "restore-rolvane-data";
// The exit status of a command line the program does not understand.
inline constexpr int kUsageError = 2;

// A command to run without a window.
struct ConsoleCommand {
    enum class Kind { List, Versions, Restore, CreateBlank, PutBack };
    Kind kind = Kind::List;
    std::string edition;  // the edition label, "Business" or "Personal"; empty for List
    int number = 0;       // Restore: the slot, 1 to 5; PutBack: n of bsrv.<n>
    bool yes = false;     // --yes: consent to replace data given beforehand
    bool json = false;    // --json: List and Versions print JSON
};

// True when arguments (the program's name first, as argv) name one of the
// commands and ask for neither the help nor the version, which come first.
bool HasConsoleCommand(const std::vector<std::string>& arguments);

struct ConsoleLine {
    std::optional<ConsoleCommand> command;
    std::string error;  // what is wrong, when there is no command
};

// Reads a line for which HasConsoleCommand holds: one command with its
// edition and number, --yes and --json where they apply, nothing else (a
// command takes no Qt options: it never starts a window system).
ConsoleLine ParseConsoleCommand(const std::vector<std::string>& arguments);

}  // namespace cli
