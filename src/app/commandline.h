// The program's command line: --help and --version, and nothing else of its
// own. Qt's standard options (-platform, -style, ...) are taken out of the
// arguments by QApplication before the second reading (see main.cpp).
#pragma once

#include <QString>
#include <QStringList>

namespace app {

inline constexpr const char* kProgramName = "restore-rolvane-data";
// The exit status of a command line the program does not understand.
inline constexpr int kUsageError = 2;

// The version of this build, as the project declares it.
QString Version();

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    // Help: the usage; Version: the version line; Error: what is wrong,
    // then the usage.
    QString text;
};

// Reads `arguments` (the program's name first, as argv). Any option but
// -h/--help and -v/--version, and any argument, is an Error; --help comes
// before --version when both are given. beforeQt: Qt has not yet taken its
// own options out, so a line whose only strangers are Qt's options (and
// their values) is Run, to be read again once Qt has; anything else that
// is not ours is an Error at once, with or without a window system.
CommandLine ParseCommandLine(const QStringList& arguments, bool beforeQt = false);

// Prints what `commandLine` asks for (Help and Version on standard output,
// Error on standard error) and returns the exit status: 0, or kUsageError.
int Respond(const CommandLine& commandLine);

}  // namespace app
