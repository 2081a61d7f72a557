// The program's command line, read without Qt: the help, the version, the
// commands that run without a window (declared once, in kCommands,
// which parsing, the help and the checks all read), and the options of Qt
// that the window takes. Anything else is a usage error.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/program.h"

namespace app {

// The exit statuses, as Unix tools give them: a command done; failed, or No
// at a question; a command line the program does not understand; the live
// database held open (EX_TEMPFAIL: try again later).
inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsageError = 2;
inline constexpr int kInUse = 75;

// A command to run without a window.
struct ConsoleCommand {
    enum class Kind { List, Versions, Restore, CreateBlank, PutBack, Show, Find, Compare, Check };
    Kind kind = Kind::List;
    std::string edition;  // the edition label, "Business" or "Personal"; empty for List
    int number = 0;       // Restore: the slot, 1 to 5; PutBack: n of bsrv.<n>
    bool yes = false;     // --yes: consent to replace data given beforehand
    bool json = false;    // --json: the listings and the records print JSON
    bool csv = false;     // --csv: Show prints CSV
    // Show and Compare: WHICH, "current", a backup slot "1" to "5" or a
    // numbered copy "bsrv.3" as its file is named; Find: the TEXT.
    std::string operand;
    // Check: the files named (none: the databases of the edition, or of
    // both editions when no edition is given either).
    std::vector<std::string> files;
};

// What a command's second operand is. Files: not a second operand but
// any number of them, an EDITION alone or FILE... (Check).
enum class Second { None, Number, Which, Text, Files };

// One command, as the program declares it.
struct CommandSpec {
    const char* option;    // "--restore"
    ConsoleCommand::Kind kind;
    const char* operands;  // as the help names them: "EDITION SLOT"; "" for none
    int count;             // how many operands
    int low, high;         // the second operand's range, when there is one
    bool replaces;         // replaces data: needs consent, takes --yes
    bool lists;            // prints a listing or records: takes --json
    const char* help;
    Second second = Second::Number;
    bool csv = false;      // takes --csv
};

// The commands, in the order the help gives them.
std::span<const CommandSpec> Commands();
const CommandSpec& SpecOf(ConsoleCommand::Kind kind);

// What a command line asks for.
struct Invocation {
    enum class Action { Window, Help, Version, Command, Usage };
    Action action = Action::Window;
    ConsoleCommand command;  // Command
    std::string error;       // Usage: what is wrong, one sentence
};

// Reads arguments (the program's name first, as argv). The help comes
// before the version, both before anything else on the line; then one
// command with its operands and the flags that go with it; without a
// command, the window, given nothing or only Qt's options (and their
// values). Our options with one dash ("-list") are usage errors, as is
// anything else the program does not know.
Invocation ParseArguments(const std::vector<std::string>& arguments);

// The help (the usage first) and the version line, each ending in "\n".
std::string HelpText();
std::string VersionText();

}  // namespace app
