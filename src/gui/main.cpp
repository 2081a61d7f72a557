// restore-rolvane-data's window (started by launcher.cpp): builds the real
// services of this user's Wine prefix, runs discovery with the window still
// hidden, then shows the window. See mainwindow.h for the flow through the
// program.
#include <QApplication>
#include <cstdio>
#include <iostream>
#include <optional>
#include <vector>

#include "app/answer.h"
#include "app/program.h"
#include "app/history_ports.h"
#include "app/services.h"
#include "history/store.h"
#include "gui/data_location.h"
#include "gui/mainwindow.h"
#include "gui/msgbox_qt.h"
#include "gui/progress_check.h"
#include "gui/progress_files.h"
#include "gui/window_system.h"
#include "jet/libmdb_engine.h"
#include "posix/process.h"
#include "ports/environment.h"
#include "records/engine_source.h"

int main(int argc, char* argv[]) {
    // The help, the version and what is neither ours nor Qt's are answered
    // before Qt needs a window system, as the launcher answers them. The
    // launcher starts this program only for the window; a command given to
    // it directly is handed back to the launcher, which runs the commands.
    // --previous-versions EDITION is the window, with that dialog open.
    const std::vector<std::string> line(argv, argv + argc);
    const app::Invocation read = app::ParseArguments(line);
    const bool versionsOf = read.action == app::Invocation::Action::Command &&
                            read.command.row->run == &app::CommandHandlers::PreviousVersions;
    const auto runCommand = [argv](const app::ConsoleCommand&) {
        return app::BecomeProgram(app::ProgramPath(app::kProgramName, ROLVANE_BIN_FROM_LIBEXEC), argv);
    };
    if (!versionsOf)
        if (const auto status = app::Answer(line, runCommand)) return *status;
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

    // QApplication takes its own options (-platform, -style, ...) out of the
    // arguments. Where it cannot open a window the user is told so in one
    // line, with status 1: before Qt tries a platform that cannot start, or
    // when one fails.
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
    QByteArray platformOption("-platform"), platformName = plan.platform.toLocal8Bit();
    if (!plan.platform.isEmpty()) {
        qtArguments.push_back(platformOption.data());
        qtArguments.push_back(platformName.data());
    }
    qtArguments.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArguments.size()) - 1;
    std::optional<gui::WindowSystemGuard> noWindow(std::in_place, facts);
    QApplication application(qtArgc, qtArguments.data());
    noWindow.reset();
    QApplication::setApplicationName(QString::fromUtf8(app::kAppTitle));
    QApplication::setApplicationVersion(QString::fromUtf8(app::Version()));
    QApplication::setDesktopFileName(QStringLiteral("restore-rolvane-data"));
    // Right-to-left languages mirror the whole window.
    QApplication::setLayoutDirection(gui::LayoutDirectionFor(QLocale(), QApplication::layoutDirection()));

    const ports::HostEnvironment environment = ports::HostEnvironment::FromProcess();
    // The Wine prefix that holds the served application's data, named on
    // stderr. Without a prefix, the user's own folders stand in.
    app::Platform platform(environment, std::cerr, jet::DefaultReaderPath());
    // Copies run off the window's thread, with a progress dialog when long.
    gui::ProgressFiles files(platform.Files());
    gui::QtMessageBox msgbox;
    posix::PosixProcess process;
    // The window names files as the procedures hold them (C:\...), as the
    // served application's own window does.
    common::Services services = platform.Services(msgbox, process, ports::kPathsAsHeld, &files);

    // Created hidden, all three buttons enabled; discovery's message boxes
    // come before the window.
    gui::MainWindow window(services);
    window.lvFiles().SetEmptyText(gui::EmptyCatalogueText(platform.Location(), environment));
    window.ShowCopiesIn(files);
    window.MapPathsWith([&platform](const std::string& path) { return platform.ToHost(path); });
    // The history store's versions beside the numbered copies, where the store may be.
    if (const std::string store = history::StoreFolder(environment);
        !app::StoreRefusedBeside(store, platform.Location().prefix))
        window.HistoryStoreIn(store, jet::DefaultReaderPath());
    // Each reading of records through a reader child of its own.
    window.ShowRecordsFrom(records::EngineSources(services.makeEngine));
    // Each Check… dialog with a check of its own; the commands' check of
    // their source under a progress dialog when it is long.
    window.CheckWith([&platform] { return platform.MakeCheck(); });
    services.makeCheck = [&platform, &window] {
        return std::make_unique<gui::ProgressCheck>(platform.MakeCheck(), &window,
                                                    [&window](const std::string& path) { return window.CaptionOf(path); });
    };
    window.Load();
    window.ShowCentred();
    if (versionsOf) window.OpenPreviousVersionsOf(QString::fromStdString(read.command.edition));
    return application.exec();
}
