// The program's command line: --help and --version; the commands that run
// without a window (--list, --versions, --restore, --create-blank,
// --put-back; console.h); nothing else of its own. Without a command, Qt's
// standard options (-platform, -style, ...) are taken out of the arguments
// by QApplication before the second reading (see main.cpp).
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "cli/console_commandline.h"

namespace gui {

// The version of this build, as the project declares it.
QString Version();

struct CommandLine {
    enum class Action { Run, Help, Version, Error, Console };
    Action action = Action::Run;
    // Help: the usage; Version: the version line; Error: what is wrong,
    // then the usage.
    QString text;
    // Console: the command.
    cli::ConsoleCommand command;
};

// Reads `arguments` (the program's name first, as argv). One command with
// its edition and number (and --yes, --json where they apply) is Console;
// without a command, any option but -h/--help and -v/--version, and any
// argument, is an Error; --help comes before --version when both are given.
// A command takes no Qt options: it never starts a window system. beforeQt: Qt has not yet taken its
// own options out, so a line whose only strangers are Qt's options (and
// their values) is Run, to be read again once Qt has; anything else that
// is not ours is an Error at once, with or without a window system.
CommandLine ParseCommandLine(const QStringList& arguments, bool beforeQt = false);

// Prints what `commandLine` asks for (Help and Version on standard output,
// Error on standard error) and returns the exit status: 0, or kUsageError.
int Respond(const CommandLine& commandLine);

}  // namespace gui
