// The program's command line, read without Qt: the help, the version, the
// commands that run without a window (declared once, in the command table,
// which parsing, the help, the checks and the running all read), and the
// options of Qt that the window takes. Anything else is a usage error.
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

struct CommandSpec;

// A command to run without a window, as the line gave it.
struct ConsoleCommand {
    const CommandSpec* row = nullptr;  // its row of the command table
    std::string edition;  // the edition label, "Business" or "Personal"; empty for --list, and for
                          // --snapshot and --history without one (both editions)
    long long number = 0; // --restore: the slot, 1 to 5; --put-back: n of bsrv.<n>
    bool yes = false;     // --yes: consent to replace data given beforehand
    bool json = false;    // --json: the listings and the records print JSON
    bool csv = false;     // --csv: --show prints CSV
    bool wide = false;    // --wide: --show and --find print their text table with every value whole
    bool scheduled = false;  // --scheduled: --snapshot run by the units of --auto-snapshot (or cron)
    // --show and --compare: WHICH, "current", a backup slot "1" to "5" or a
    // numbered copy "bsrv.3" as its file is named, or a version of the
    // history store "@12"; --find: the TEXT; --put-back: a version "@12";
    // --auto-snapshot: "on", "off" or "status".
    std::string operand;
    // --find and --check: the one database to look in, WHICH as --show
    // reads it (--check: a version "@12" only); empty: every database.
    std::string within;
    // Check: the files named (none: the databases of the edition, or of
    // both editions when no edition is given either).
    std::vector<std::string> files;
};

// What runs the commands, one function for each, each returning the exit
// status. The command line implements it (cli/console.cpp); a row of the
// command table names its function, so that running a command is calling
// its row's, and a new command is a new row and a new function.
class CommandHandlers {
public:
    virtual ~CommandHandlers() = default;
    virtual int List(const ConsoleCommand& command) = 0;
    virtual int Versions(const ConsoleCommand& command) = 0;
    virtual int Show(const ConsoleCommand& command) = 0;
    virtual int Find(const ConsoleCommand& command) = 0;
    virtual int Compare(const ConsoleCommand& command) = 0;
    virtual int Restore(const ConsoleCommand& command) = 0;
    virtual int CreateBlank(const ConsoleCommand& command) = 0;
    virtual int PutBack(const ConsoleCommand& command) = 0;
    virtual int Check(const ConsoleCommand& command) = 0;
    virtual int Snapshot(const ConsoleCommand& command) = 0;
    virtual int History(const ConsoleCommand& command) = 0;
    virtual int AutoSnapshot(const ConsoleCommand& command) = 0;
    virtual int PreviousVersions(const ConsoleCommand& command) = 0;
};
using CommandHandler = int (CommandHandlers::*)(const ConsoleCommand&);

// What a command's second operand is: a number from low to high, WHICH, a
// TEXT, the N of a numbered copy bsrv.N (operations/numbered_copies.h), or
// Files: any number of operands, an EDITION alone or FILE... (--check).
enum class Second { None, Number, Which, Text, Copy, Files };

// The operands a command takes after its option.
struct Operands {
    const char* names = "";  // as the help names them: "EDITION SLOT"; "" for none
    int count = 0;           // how many: none, EDITION, or EDITION and a second
    Second second = Second::None;
    int low = 0, high = 0;   // Number: its range
    bool optional = false;   // its one operand, EDITION, may be left out
    const char* words = nullptr;  // its one operand is one of these words ("on|off|status"), not an EDITION
    bool whichAfter = false; // a WHICH may follow the operands
};

// The flags a command takes besides its operands.
enum Takes : unsigned {
    kTakesYes = 1,   // replaces data: needs consent, which --yes gives
    kTakesJson = 2,  // prints a listing or records
    kTakesCsv = 4,   // prints records as a table
    kTakesWide = 8,  // prints records as a text table
    kTakesScheduled = 16,  // --snapshot: run by the units of --auto-snapshot
};

// One row of the command table: the command, what runs it, its operands,
// its flags and its help.
struct CommandSpec {
    const char* option;  // "--restore"
    CommandHandler run;
    Operands operands;
    unsigned takes;      // Takes
    const char* help;

    bool Replaces() const { return (takes & kTakesYes) != 0; }
};

// The commands, in the order the help gives them. ParseArguments, the help
// and the checks all read this one table; RunCommandOf runs a row.
std::span<const CommandSpec> Commands();

// Runs the command of the line with handlers; returns its exit status.
int RunCommandOf(CommandHandlers& handlers, const ConsoleCommand& command);

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
