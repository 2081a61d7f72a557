// restore-rolvane-data: the help, the version and the commands (--list,
// --restore, ...) are answered here, on the console, without loading Qt or
// touching a window system, so that a script pays only for the procedures
// it asks for. The window (no argument, or only Qt's options) is the
// window's program (gui/main.cpp), which this process becomes in its place,
// with the same arguments.
#include <string>
#include <vector>

#include "app/answer.h"
#include "app/program.h"
#include "cli/console.h"
#include "jet/libmdb_engine.h"

int main(int argc, char* argv[]) {
    const std::string window = app::ProgramPath(app::kWindowProgram, ROLVANE_LIBEXEC_FROM_BIN);
    const auto openWindow = [&window](const std::string& edition) {
        // The window's program, told which Previous Versions to open.
        std::string option = "--previous-versions", name = edition;
        std::vector<char*> line{const_cast<char*>(window.c_str()), option.data(), name.data(), nullptr};
        return app::BecomeProgram(window, line.data());
    };
    const auto runCommand = [&openWindow](const app::ConsoleCommand& command) {
        return cli::RunConsole(command, ports::HostEnvironment::FromProcess(),
                               {stdout, stderr, {}, jet::DefaultReaderPath(), {},
                                app::ProgramPath("rolvane-notifier", ROLVANE_LIBEXEC_FROM_BIN), openWindow});
    };
    if (const auto status = app::Answer(std::vector<std::string>(argv, argv + argc), runCommand)) return *status;
    return app::BecomeProgram(app::ProgramPath(app::kWindowProgram, ROLVANE_LIBEXEC_FROM_BIN), argv);
}
