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
    const auto runCommand = [](const app::ConsoleCommand& command) {
        return cli::RunConsole(command, ports::HostEnvironment::FromProcess(),
                               {stdout, stderr, {}, jet::DefaultReaderPath(), {}});
    };
    if (const auto status = app::Answer(std::vector<std::string>(argv, argv + argc), runCommand)) return *status;
    return app::BecomeProgram(app::ProgramPath(app::kWindowProgram, ROLVANE_LIBEXEC_FROM_BIN), argv);
}
