#include "app/commandline.h"
#include "app/history_versions.h"

#include <array>
#include <cctype>
#include <string_view>

#include "operations/numbered_copies.h"

namespace app {

namespace {

using H = CommandHandlers;

constexpr std::array<CommandSpec, 13> kCommands{{
    {"--list", &H::List, {}, kTakesJson, "Prints the catalogue: every live database and backup."},
    {"--versions", &H::Versions, {"EDITION", 1}, kTakesJson,
     "Prints the numbered copies (bsrv.1, bsrv.2, ...) kept beside the edition's live database, newest first."},
    {"--show", &H::Show, {"EDITION WHICH", 2, Second::Which}, kTakesJson | kTakesCsv | kTakesWide,
     "Prints every record of database WHICH: current, a backup slot 1 to 5, a numbered copy as its file is "
     "named (bsrv.3), or a version of the history store, @N or @YYYY-MM-DDTHH:MM (the newest taken by then). "
     "The table cuts long values; --wide, --csv and --json give them whole."},
    {"--find", &H::Find, {"EDITION TEXT [WHICH]", 2, Second::Text, 0, 0, false, nullptr, true}, kTakesJson | kTakesWide,
     "Prints the records holding TEXT, in any case, in every database of EDITION: the live one, its backups, "
     "its numbered copies and the versions of the history store, each record with the first and last version "
     "holding it; or in database WHICH alone (as --show reads it)."},
    {"--compare", &H::Compare, {"EDITION WHICH", 2, Second::Which}, kTakesJson,
     "Prints what differs between database WHICH and the live database: records only in one, and records "
     "changed, with their fields."},
    {"--check", &H::Check, {"[EDITION [@N]|FILE...]", 0, Second::Files}, kTakesJson,
     "Checks every page, row, long value and index of the databases of EDITION (the live one, its backups and "
     "its numbered copies), of version @N (or @YYYY-MM-DDTHH:MM) of its history, of both editions, or the FILEs: "
     "good, warnings (which Jet tolerates) or damaged, with what was found where."},
    {"--restore", &H::Restore, {"EDITION SLOT", 2, Second::Number, 1, 5}, kTakesYes,
     "Restores backup SLOT (1 to 5) of EDITION over its live database."},
    {"--create-blank", &H::CreateBlank, {"EDITION", 1}, kTakesYes,
     "Resets the live database of EDITION from the blank shell file."},
    {"--put-back", &H::PutBack, {"EDITION N", 2, Second::Copy}, kTakesYes,
     "Puts numbered copy bsrv.N of EDITION, or version @N of the history store, back as its live database."},
    {"--snapshot", &H::Snapshot, {"[EDITION]", 1, Second::None, 0, 0, true}, kTakesScheduled,
     "Keeps a version of each live database (of EDITION only, when given) that changed since its last version, "
     "in the history store, and thins the older versions."},
    {"--auto-snapshot", &H::AutoSnapshot, {"on|off|status", 1, Second::None, 0, 0, false, "on|off|status"},
     kTakesJson,
     "on: keeps a version whenever Rolvane saves a live database, and hourly, through systemd user units; off: "
     "stops that and removes the units; status: whether it is on, what is watched, the last version and the last "
     "problem."},
    {"--previous-versions", &H::PreviousVersions, {"EDITION", 1}, 0,
     "Opens the window with the Previous Versions of EDITION's live database."},
    {"--history", &H::History, {"[EDITION]", 1, Second::None, 0, 0, true}, kTakesJson,
     "Prints where the history store is, how large it is, and how many versions and distinct pages it holds for "
     "each live database (of EDITION only, when given)."},
}};

// The flags that go with a command, in the order the help gives them and
// the checks are made; each goes with the commands that take it.
struct Flag {
    const char* name;
    bool ConsoleCommand::*set;
    unsigned takes;
    const char* help;
    const char* goesWith;  // the usage error for a command that does not take it
};
constexpr std::array<Flag, 5> kFlags{{
    {"--yes", &ConsoleCommand::yes, kTakesYes,
     "Replaces data without asking (--restore, --create-blank, --put-back).",
     "--yes goes with a command that replaces data."},
    {"--json", &ConsoleCommand::json, kTakesJson, "Prints a listing, records, a comparison or a check as JSON.",
     "--json goes with a command that prints a listing or records."},
    {"--csv", &ConsoleCommand::csv, kTakesCsv, "Prints --show as CSV (RFC 4180, UTF-8, a header row).",
     "--csv goes with --show."},
    {"--wide", &ConsoleCommand::wide, kTakesWide,
     "Prints the table of --show or --find with every value whole, never cut (a value wider than its column "
     "moves the rest of its line).",
     "--wide goes with --show or --find."},
    {"--scheduled", &ConsoleCommand::scheduled, kTakesScheduled,
     "Runs --snapshot as the units of --auto-snapshot do: at most one version a minute, problems told on the "
     "desktop.",
     "--scheduled goes with --snapshot."},
}};

// The options Qt's window programs take (QGuiApplication, QApplication and
// the X11 platform's), with one dash or two, and whether a value follows
// (it may also be given as "-style=Fusion"). Documented in the manual page.
struct QtOption {
    std::string_view name;
    bool value;
};
constexpr std::array<QtOption, 21> kQtOptions{{
    {"platform", true},     {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},      {"qwindowtitle", true},  {"reverse", false},
    {"session", true},      {"style", true},              {"stylesheet", true},    {"widgetcount", false},
    {"display", true},      {"geometry", true},           {"title", true},         {"name", true},
    {"visual", true},       {"nograb", false},            {"dograb", false},       {"sync", false},
    {"qmljsdebugger", true},
}};

// The option name of an argument: "--restore=business" is "--restore".
std::string NameOf(const std::string& argument) { return argument.substr(0, argument.find('=')); }

const CommandSpec* CommandFor(const std::string& name) {
    for (const CommandSpec& command : kCommands)
        if (name == command.option) return &command;
    return nullptr;
}

const Flag* FlagFor(const std::string& name) {
    for (const Flag& flag : kFlags)
        if (name == flag.name) return &flag;
    return nullptr;
}

const QtOption* QtOptionFor(const std::string& argument) {
    if (argument.size() < 2 || argument[0] != '-') return nullptr;
    const std::string name = NameOf(argument.substr(argument[1] == '-' ? 2 : 1));
    for (const QtOption& option : kQtOptions)
        if (name == option.name) return &option;
    return nullptr;
}

// Ours, spelt with one dash: "-list", "-yes".
bool IsOursWithOneDash(const std::string& argument) {
    if (argument.size() < 3 || argument[0] != '-' || argument[1] == '-') return false;
    const std::string name = "-" + NameOf(argument);
    return CommandFor(name) || FlagFor(name) || name == "--help" || name == "--version";
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The edition label for a command's EDITION, any case; empty when it is none.
std::string EditionLabel(const std::string& name) {
    if (Lower(name) == "business") return "Business";
    if (Lower(name) == "personal") return "Personal";
    return {};
}

// A whole number from low to high written in decimal digits only; 0 otherwise.
int NumberIn(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 4) return 0;
    for (char c : text)
        if (c < '0' || c > '9') return 0;
    const int value = std::stoi(text);
    return value >= low && value <= high ? value : 0;
}

// WHICH as the commands read it: "current", the slot "1" to "5", or the
// name of a numbered copy (numbered_copies.h: "bsrv.3", any case, kept as
// given); empty when it is none.
std::string WhichOf(const std::string& text) {
    if (Lower(text) == "current") return "current";
    if (IsVersionWhich(text)) return text;
    if (NumberIn(text, 1, 5) != 0) return text;
    if (operations::NumberOfCopy(text) > 0) return text;
    return {};
}

Invocation Usage(std::string why) { return {Invocation::Action::Usage, {}, std::move(why)}; }

}  // namespace

std::span<const CommandSpec> Commands() { return kCommands; }

int RunCommandOf(CommandHandlers& handlers, const ConsoleCommand& command) {
    return (handlers.*(command.row->run))(command);
}

Invocation ParseArguments(const std::vector<std::string>& arguments) {
    // The help and the version are answered whatever else the line holds.
    bool help = false, version = false;
    for (size_t i = 1; i < arguments.size() && arguments[i] != "--"; ++i) {
        help = help || arguments[i] == "-h" || arguments[i] == "--help";
        version = version || arguments[i] == "-v" || arguments[i] == "--version";
    }
    if (help) return {Invocation::Action::Help, {}, {}};
    if (version) return {Invocation::Action::Version, {}, {}};

    ConsoleCommand command;
    const CommandSpec* given = nullptr;
    std::vector<std::string> operands;
    std::string qtOption;  // the first of Qt's options on the line
    bool options = true;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!options || argument.empty() || argument[0] != '-' || argument == "-") {
            operands.push_back(argument);
        } else if (argument == "--") {
            options = false;
        } else if (const Flag* flag = FlagFor(argument)) {
            command.*(flag->set) = true;
        } else if (const CommandSpec* named = CommandFor(NameOf(argument))) {
            if (given) return Usage("Give one command at a time.");
            given = named;
            command.row = named;
            const size_t equals = argument.find('=');
            if (equals != std::string::npos) {
                if (named->operands.count == 0 && named->operands.second != Second::Files)
                    return Usage("'" + NameOf(argument) + "' takes no value.");
                operands.push_back(argument.substr(equals + 1));
            }
        } else if (IsOursWithOneDash(argument)) {
            return Usage("Unknown option '" + NameOf(argument) + "': did you mean '-" + NameOf(argument) + "'?");
        } else if (const QtOption* qt = QtOptionFor(argument)) {
            if (qtOption.empty()) qtOption = NameOf(argument);
            if (qt->value && argument.find('=') == std::string::npos && ++i == arguments.size())
                return Usage("'" + argument + "' needs a value.");
        } else {
            return Usage("Unknown option '" + NameOf(argument) + "'.");
        }
    }

    if (!given) {
        for (const Flag& flag : kFlags)
            if (command.*(flag.set)) return Usage(std::string(flag.name) + " goes with a command.");
        if (!operands.empty()) return Usage("Unexpected argument '" + operands.front() + "': the program takes none.");
        return {};
    }
    // A command opens no window, so nothing on its line is Qt's.
    if (!qtOption.empty()) return Usage("'" + qtOption + "' is an option of the window; a command opens none.");
    if (given->operands.second == Second::Files) {
        // One operand that names an edition is the edition; any other
        // operands are files (a file called "business" is ./business).
        // An edition and a version of its history: that version.
        if (operands.size() == 1 && !EditionLabel(operands[0]).empty()) command.edition = EditionLabel(operands[0]);
        else if (operands.size() == 2 && !EditionLabel(operands[0]).empty() && IsVersionWhich(operands[1]))
            command.edition = EditionLabel(operands[0]), command.within = operands[1];
        else command.files = operands;
        for (const std::string& file : command.files)
            if (file.empty()) return Usage(std::string(given->option) + " needs a FILE name that is not empty.");
        if (command.yes) return Usage("--yes goes with a command that replaces data.");
        if (command.csv) return Usage("--csv goes with --show.");
        if (command.wide) return Usage("--wide goes with --show or --find.");
        return {Invocation::Action::Command, command, {}};
    }
    const Operands& takes = given->operands;
    if (operands.size() < static_cast<size_t>(takes.optional ? 0 : takes.count)) {
        std::string names = takes.names;  // "EDITION SLOT" as "EDITION and SLOT"
        if (const size_t blank = names.find(' '); blank != std::string::npos) names.replace(blank, 1, " and ");
        return Usage(std::string(given->option) + " needs " + names + ".");
    }
    const size_t most = static_cast<size_t>(takes.count) + (takes.whichAfter ? 1 : 0);
    if (operands.size() > most) return Usage("Unexpected argument '" + operands[most] + "'.");
    if (takes.whichAfter && operands.size() > static_cast<size_t>(takes.count)) {
        command.within = WhichOf(operands[takes.count]);
        if (command.within.empty())
            return Usage("Unknown database '" + operands[takes.count] +
                         "': give current, a backup slot 1 to 5, bsrv.N, or a version @N or @YYYY-MM-DDTHH:MM.");
    }
    if (takes.words) {
        const std::string words = std::string("|") + takes.words + "|";
        if (operands[0].empty() || operands[0].find('|') != std::string::npos ||
            words.find("|" + Lower(operands[0]) + "|") == std::string::npos)
            return Usage("Unknown word '" + operands[0] + "': give " + takes.names + ".");
        command.operand = Lower(operands[0]);
    } else if (takes.count > 0 && !operands.empty()) {
        command.edition = EditionLabel(operands[0]);
        if (command.edition.empty()) return Usage("Unknown edition '" + operands[0] + "': give business or personal.");
    }
    if (takes.second == Second::Which) {
        command.operand = WhichOf(operands[1]);
        if (command.operand.empty())
            return Usage("Unknown database '" + operands[1] +
                         "': give current, a backup slot 1 to 5, bsrv.N, or a version @N or @YYYY-MM-DDTHH:MM.");
    } else if (takes.second == Second::Text) {
        if (operands[1].empty()) return Usage(std::string(given->option) + " needs a TEXT that is not empty.");
        command.operand = operands[1];
    } else if (takes.second == Second::Copy && IsVersionWhich(operands[1])) {
        command.operand = operands[1];  // a version of the history store
    } else if (takes.second == Second::Copy) {
        command.number = operations::CopyNumberOf(operands[1]);
        if (command.number == 0)
            return Usage("Unknown numbered copy '" + operands[1] + "': give the N of bsrv.N, or a version @N.");
    } else if (takes.second == Second::Number) {
        command.number = NumberIn(operands[1], takes.low, takes.high);
        if (command.number == 0) return Usage("Unknown backup slot '" + operands[1] + "': give 1 to 5.");
    }
    for (const Flag& flag : kFlags)
        if (command.*(flag.set) && !(given->takes & flag.takes)) return Usage(flag.goesWith);
    if (command.csv && command.json) return Usage("Give --json or --csv, not both.");
    if (command.wide && (command.csv || command.json))
        return Usage("--wide is for the text table: give it without --csv and --json.");
    return {Invocation::Action::Command, command, {}};
}

std::string HelpText() {
    std::string text = std::string("Usage: ") + kProgramName + " [options]\n" +
                       "Restores a backup of the contact database of Varnock Rolvane, or resets the\n"
                       "database to a blank one. Rolvane's files are looked for in $WINEPREFIX when\n"
                       "it is set, else in the Wine prefix that holds them.\n\nOptions:\n";
    // Names in a column of 28, the help beside them wrapped at 79 columns.
    auto line = [&text](const std::string& names, const std::string& help) {
        std::string row = "  " + names;
        if (row.size() >= 27) {  // names too long for the column: the help below them
            text += row + "\n";
            row.clear();
        }
        size_t start = 0;
        while (start < help.size()) {
            row += std::string(row.size() < 28 ? 28 - row.size() : 1, ' ');
            size_t end = help.size();
            if (end - start > 51) end = help.rfind(' ', start + 51);
            row += help.substr(start, end - start);
            text += row + "\n";
            row.clear();
            start = end + 1;
        }
    };
    line("-h, --help", "Shows this help and exits.");
    line("-v, --version", "Shows the version and exits.");
    for (const CommandSpec& command : kCommands)
        line(std::string(command.option) + (*command.operands.names ? " " : "") + command.operands.names, command.help);
    for (const Flag& flag : kFlags) line(flag.name, flag.help);
    text += std::string("\nWithout a command the window opens. EDITION is business or personal.\n") +
            "Exit status: 0 done, 1 failed, 2 usage, 75 the live database is in use.\n"
            "--find with no match and --compare with no difference are done (0).\n"
            "--check is 0 when no file is damaged (warnings alone are 0), 1 when a file\n"
            "is damaged or cannot be read. Restore, Create Blank and Put Back check their\n"
            "source first and refuse a damaged one (1), changing nothing.\n"
            "Examples:\n"
            "  " + kProgramName + " --list --json\n"
            "  " + kProgramName + " --restore business 2 --yes\n"
            "  " + kProgramName + " --versions personal\n"
            "  " + kProgramName + " --find business smith\n"
            "  " + kProgramName + " --compare business 2 --json\n"
            "  " + kProgramName + " --check business\n"
            "Qt's standard options, such as -platform and -style, are accepted too\n"
            "when the window opens; see " + kProgramName + "(1).\n";
    return text;
}

std::string VersionText() { return std::string(kProgramName) + " " + Version() + "\n"; }

}  // namespace app
