// restore-rolvane-data's window (started by launcher.cpp): builds the real services of this user's Wine prefix,
// runs discovery with the window still hidden, then shows the window. See
// mainwindow.h for the flow through the program.
#include <QApplication>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

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
    const gui::CommandLine early = gui::ParseCommandLine(arguments, /*beforeQt=*/true);
    // A command runs on the console and never touches a window system.
    if (early.action == gui::CommandLine::Action::Console)
        return cli::RunConsole(early.command, ports::HostEnvironment::FromProcess(),
                               {stdout, stderr, {}, jet::DefaultReaderPath()});
    if (early.action != gui::CommandLine::Action::Run) return gui::Respond(early);

    // QApplication takes its own options (-platform, -style, ...) out of the
    // arguments; whatever is left must be ours. Where it cannot open a
    // window the user is told so in one line, with status 1: before Qt
    // tries a platform that cannot start, or when one fails.
    const gui::WindowSystemFacts facts =
        gui::WindowSystemFacts::Read(arguments, [](const char* name) { return qEnvironmentVariable(name); });
    const gui::WindowSystemPlan plan = gui::PlanWindowSystem(facts);
    if (!plan.failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", plan.failure.toLocal8Bit().constData());
        return gui::kNoWindowSystem;
    }
    // Asked for as on the command line, so that the programs this one
    // starts (the file manager) keep the environment as it was.
    std::vector<char*> qtArguments(argv, argv + argc);
    QByteArray platformOption("-platform"), platform = plan.platform.toLocal8Bit();
    if (!plan.platform.isEmpty()) {
        qtArguments.push_back(platformOption.data());
        qtArguments.push_back(platform.data());
    }
    qtArguments.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArguments.size()) - 1;
    std::optional<gui::WindowSystemGuard> noWindow(std::in_place, facts);
    QApplication application(qtArgc, qtArguments.data());
    noWindow.reset();
    const gui::CommandLine commandLine = gui::ParseCommandLine(QApplication::arguments());
    if (commandLine.action != gui::CommandLine::Action::Run) return gui::Respond(commandLine);
    QApplication::setApplicationName(QString::fromUtf8(ports::kAppTitle));
    QApplication::setApplicationVersion(gui::Version());
    QApplication::setDesktopFileName(QStringLiteral("restore-rolvane-data"));
    // Right-to-left languages mirror the whole window.
    QApplication::setLayoutDirection(gui::LayoutDirectionFor(QLocale(), QApplication::layoutDirection()));

    const ports::HostEnvironment environment = ports::HostEnvironment::FromProcess();
    // The Wine prefix that holds the served application's data, named on
    // stderr. Without a prefix, the user's own folders stand in.
    const wine::PrefixChoice location = cli::LocateData(environment, std::cerr);
    const std::string& prefix = location.prefix;
    const wine::WinePaths paths(prefix);

    linux::LinuxFiles hostFiles(paths);
    // Copies run off the window's thread, with a progress dialog when long.
    gui::ProgressFiles files(hostFiles);
    linux::LinuxShell shell(prefix, environment);
    gui::QtMessageBox msgbox;
    linux::LinuxProcess process;
    linux::PosixLocale locale;
    common::Services services{files, shell, msgbox, process, locale, [&paths] {
        return std::make_unique<jet::LibmdbEngine>(
            [&paths](const std::string& path) { return paths.ToHost(path); },
            jet::DefaultReaderPath());
    }};

    // Created hidden, all three buttons enabled; discovery's message boxes
    // come before the window.
    gui::MainWindow window(services);
    window.lvFiles().SetEmptyText(gui::EmptyCatalogueText(location, environment));
    window.ShowCopiesIn(files);
    window.MapPathsWith([&paths](const std::string& path) { return paths.ToHost(path); });
    window.Load();
    window.ShowCentred();
    return application.exec();
}
