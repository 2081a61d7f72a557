// restore-rolvane-data's window (started by launcher.cpp): builds the real services of this user's Wine prefix,
// runs discovery with the window still hidden, then shows the window. See
// mainwindow.h for the flow through the program.
#include <QApplication>
#include <iostream>
#include <memory>
#include <optional>

#include "gui/commandline.h"
#include "cli/console.h"
#include "gui/data_location.h"
#include "gui/mainwindow.h"
#include "gui/msgbox_qt.h"
#include "gui/progress_files.h"
#include "gui/window_system.h"
#include "common/services.h"
#include "jet/libmdb_engine.h"
#include "linux/files.h"
#include "ports/environment.h"
#include "linux/locale.h"
#include "linux/process.h"
#include "linux/shell.h"
#include "wine/windows_paths.h"

int main(int argc, char* argv[]) {
    // --help, --version and what is neither ours nor Qt's are answered before
    // Qt needs a window system.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const app::CommandLine early = app::ParseCommandLine(arguments, /*beforeQt=*/true);
    // A command runs on the console and never touches a window system.
    if (early.action == app::CommandLine::Action::Console)
        return app::RunConsole(early.command, platform::HostEnvironment::FromProcess(),
                               {stdout, stderr, {}, platform::DefaultReaderPath()});
    if (early.action != app::CommandLine::Action::Run) return app::Respond(early);

    // QApplication takes its own options (-platform, -style, ...) out of the
    // arguments; whatever is left must be ours. Where it cannot open a
    // window the user is told so in one line, with status 1.
    std::optional<app::WindowSystemGuard> noWindow(std::in_place,
        app::WindowSystemFacts::Read(arguments, [](const char* name) { return qEnvironmentVariable(name); }));
    QApplication application(argc, argv);
    noWindow.reset();
    const app::CommandLine commandLine = app::ParseCommandLine(QApplication::arguments());
    if (commandLine.action != app::CommandLine::Action::Run) return app::Respond(commandLine);
    QApplication::setApplicationName(QString::fromUtf8(platform::kAppTitle));
    QApplication::setApplicationVersion(app::Version());
    QApplication::setDesktopFileName(QStringLiteral("restore-rolvane-data"));
    // Right-to-left languages mirror the whole window.
    QApplication::setLayoutDirection(app::LayoutDirectionFor(QLocale(), QApplication::layoutDirection()));

    const platform::HostEnvironment environment = platform::HostEnvironment::FromProcess();
    // The Wine prefix that holds the served application's data, named on
    // stderr. Without a prefix, the user's own folders stand in.
    const platform::PrefixChoice location = app::LocateData(environment, std::cerr);
    const std::string& prefix = location.prefix;
    const platform::WinePaths paths(prefix);

    platform::LinuxFiles hostFiles(paths);
    // Copies run off the window's thread, with a progress dialog when long.
    app::ProgressFiles files(hostFiles);
    platform::LinuxShell shell(prefix, environment);
    app::QtMessageBox msgbox;
    platform::LinuxProcess process;
    platform::PosixLocale locale;
    common::Services services{files, shell, msgbox, process, locale, [&paths] {
        return std::make_unique<platform::LibmdbEngine>(
            [&paths](const std::string& path) { return paths.ToHost(path); },
            platform::DefaultReaderPath());
    }};

    // Created hidden, all three buttons enabled; discovery's message boxes
    // come before the window.
    app::MainWindow window(services);
    window.lvFiles().SetEmptyText(app::EmptyCatalogueText(location, environment));
    window.ShowCopiesIn(files);
    window.MapPathsWith([&paths](const std::string& path) { return paths.ToHost(path); });
    window.Load();
    window.ShowCentred();
    return application.exec();
}
