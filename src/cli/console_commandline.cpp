#include "cli/console_commandline.h"

#include <array>
#include <cctype>

namespace cli {

namespace {

using Kind = ConsoleCommand::Kind;

struct CommandName {
    const char* option;
    Kind kind;
    int operands;  // after the option: EDITION, then SLOT or N
};
constexpr std::array<CommandName, 5> kCommands{{
    {"--list", Kind::List, 0},
    {"--versions", Kind::Versions, 1},
    {"--restore", Kind::Restore, 2},
    {"--create-blank", Kind::CreateBlank, 1},
    {"--put-back", Kind::PutBack, 2},
}};

// The option name of an argument: "--restore=business" is "--restore".
std::string NameOf(const std::string& argument) { return argument.substr(0, argument.find('=')); }

const CommandName* CommandFor(const std::string& argument) {
    for (const CommandName& command : kCommands)
        if (NameOf(argument) == command.option) return &command;
    return nullptr;
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

}  // namespace

bool HasConsoleCommand(const std::vector<std::string>& arguments) {
    bool command = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") break;
        if (argument == "-h" || argument == "--help" || argument == "-v" || argument == "--version") return false;
        if (CommandFor(argument)) command = true;
    }
    return command;
}

ConsoleLine ParseConsoleCommand(const std::vector<std::string>& arguments) {
    auto refuse = [](std::string why) { return ConsoleLine{std::nullopt, std::move(why)}; };
    ConsoleCommand command;
    const CommandName* given = nullptr;
    std::vector<std::string> operands;
    bool options = true;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (options && argument == "--") {
            options = false;
        } else if (options && argument == "--yes") {
            command.yes = true;
        } else if (options && argument == "--json") {
            command.json = true;
        } else if (const CommandName* named = options ? CommandFor(argument) : nullptr) {
            if (given) return refuse("Give one command at a time.");
            given = named;
            command.kind = named->kind;
            const size_t equals = argument.find('=');
            if (equals != std::string::npos) {
                if (named->operands == 0) return refuse("'" + NameOf(argument) + "' takes no value.");
                operands.push_back(argument.substr(equals + 1));
            }
        } else if (options && argument.size() > 1 && argument[0] == '-') {
            return refuse("Unknown option '" + NameOf(argument).substr(argument[1] == '-' ? 2 : 1) + "'.");
        } else {
            operands.push_back(argument);
        }
    }
    if (!given) return refuse("No command given.");
    if (operands.size() < static_cast<size_t>(given->operands)) {
        if (given->operands == 2)
            return refuse(std::string(given->option) +
                          (given->kind == Kind::Restore ? " needs EDITION and SLOT." : " needs EDITION and N."));
        return refuse(std::string(given->option) + " needs EDITION.");
    }
    if (operands.size() > static_cast<size_t>(given->operands))
        return refuse("Unexpected argument '" + operands[given->operands] + "'.");
    if (given->operands > 0) {
        command.edition = EditionLabel(operands[0]);
        if (command.edition.empty())
            return refuse("Unknown edition '" + operands[0] + "': give business or personal.");
    }
    if (command.kind == Kind::Restore) {
        command.number = NumberIn(operands[1], 1, 5);
        if (command.number == 0) return refuse("Unknown backup slot '" + operands[1] + "': give 1 to 5.");
    } else if (command.kind == Kind::PutBack) {
        command.number = NumberIn(operands[1], 1, 100);
        if (command.number == 0) return refuse("Unknown numbered copy '" + operands[1] + "': give the N of bsrv.N.");
    }
    const bool lists = command.kind == Kind::List || command.kind == Kind::Versions;
    if (lists && command.yes) return refuse("--yes goes with a command that replaces data.");
    if (!lists && command.json) return refuse("--json goes with --list or --versions.");
    return {command, {}};
}

}  // namespace cli
