#include "gui/commandline.h"

#include <QCommandLineParser>
#include <cstdio>

namespace gui {

namespace {

// The options QApplication takes out of the command line (Qt 6's
// QGuiApplication and QApplication, and the xcb platform's own).
bool IsQtOption(const QString& name) {
    static const QStringList kQtOptions = {
        "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
        "qwindowgeometry", "qwindowicon", "qwindowtitle", "reverse", "session",
        "style", "stylesheet", "widgetcount", "display", "geometry", "title", "name",
        "dialogs", "nograb", "dograb", "visual", "ncols", "cmap", "fn", "font",
        "bg", "background", "fg", "foreground", "btn", "button", "im", "inputstyle",
        "testability", "graphicssystem", "nocrashhandler"};
    // "-style=Fusion" arrives as the name "style=Fusion".
    return kQtOptions.contains(name.section(QLatin1Char('='), 0, 0));
}

}  // namespace

QString Version() { return QStringLiteral(ROLVANE_VERSION); }

CommandLine ParseCommandLine(const QStringList& arguments, bool beforeQt) {
    QCommandLineParser parser;
    // "-style" is one unknown option, not the letters s, t, y, l, e.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Restores a backup of the contact database of Varnock Rolvane, or resets the\n"
        "database to a blank one. Rolvane's files are looked for in $WINEPREFIX when\n"
        "it is set, else in the Wine prefix that holds them."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and exits."));
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption list(QStringLiteral("list"), QStringLiteral("Prints the catalogue: every live database and backup."));
    const QCommandLineOption versions(
        QStringLiteral("versions"),
        QStringLiteral("Prints the numbered copies (bsrv.1, bsrv.2, ...) kept beside the edition's live database."),
        QStringLiteral("EDITION"));
    const QCommandLineOption restore(
        QStringLiteral("restore"),
        QStringLiteral("Restores backup SLOT (1 to 5) of EDITION over its live database: --restore EDITION SLOT."),
        QStringLiteral("EDITION"));
    const QCommandLineOption createBlank(QStringLiteral("create-blank"),
                                         QStringLiteral("Resets the live database of EDITION from the blank shell file."),
                                         QStringLiteral("EDITION"));
    const QCommandLineOption putBack(
        QStringLiteral("put-back"),
        QStringLiteral("Puts numbered copy bsrv.N of EDITION back as its live database: --put-back EDITION N."),
        QStringLiteral("EDITION"));
    const QCommandLineOption yes(QStringLiteral("yes"),
                                 QStringLiteral("Replaces data without asking (--restore, --create-blank, --put-back)."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Prints --list and --versions as JSON."));
    parser.addOptions({list, versions, restore, createBlank, putBack, yes, json});
    const bool understood = parser.parse(arguments);

    // The parser names the program "<executable_name>" when no application
    // object exists yet, and by the path it was started with otherwise.
    QString usage = parser.helpText();
    usage.replace(0, usage.indexOf(QLatin1Char('\n')),
                  QStringLiteral("Usage: %1 [options]").arg(QLatin1String(cli::kProgramName)));
    usage += QStringLiteral(
        "\nWithout a command the window opens. EDITION is business or personal.\n"
        "Exit status: 0 done, 1 failed, 2 usage, 75 the live database is in use.\n"
        "Examples:\n"
        "  %1 --list --json\n"
        "  %1 --restore business 2 --yes\n"
        "  %1 --versions personal\n"
        "Qt's standard options, such as -platform and -style, are accepted too\n"
        "when the window opens; see %1(1).\n").arg(QLatin1String(cli::kProgramName));

    // Help and version are answered even beside an unknown option: it may be
    // one of Qt's, which are only known once Qt has read the command line.
    if (parser.isSet(help)) return {CommandLine::Action::Help, usage, {}};
    if (parser.isSet(version))
        return {CommandLine::Action::Version,
                QStringLiteral("%1 %2\n").arg(QLatin1String(cli::kProgramName), Version()), {}};

    // A command runs without a window, so nothing on its line is Qt's.
    std::vector<std::string> line;
    for (const QString& argument : arguments) line.push_back(argument.toStdString());
    if (cli::HasConsoleCommand(line)) {
        const cli::ConsoleLine console = cli::ParseConsoleCommand(line);
        if (console.command) return {CommandLine::Action::Console, {}, *console.command};
        return {CommandLine::Action::Error,
                QStringLiteral("%1: %2\n\n").arg(QLatin1String(cli::kProgramName), QString::fromStdString(console.error)) +
                    usage,
                {}};
    }
    if (parser.isSet(yes) || parser.isSet(json))
        return {CommandLine::Action::Error,
                QStringLiteral("%1: %2\n\n")
                        .arg(QLatin1String(cli::kProgramName),
                             QStringLiteral("--%1 goes with a command.").arg(parser.isSet(yes) ? "yes" : "json")) +
                    usage, {}};

    // Qt's options, and the values that follow some of them, are Qt's to
    // judge: read the line again once it has.
    QString error;
    if (beforeQt && !understood) {
        QStringList strangers = parser.unknownOptionNames();
        strangers.removeIf(IsQtOption);
        if (strangers.isEmpty()) return {};
        // Named as the parser names them, leaving Qt's own out.
        error = strangers.size() == 1
                    ? QStringLiteral("Unknown option '%1'.").arg(strangers.constFirst())
                    : QStringLiteral("Unknown options: %1.").arg(strangers.join(QStringLiteral(", ")));
    } else if (!understood)
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1': the program takes none.")
                    .arg(parser.positionalArguments().constFirst());
    if (!error.isEmpty())
        return {CommandLine::Action::Error,
                QStringLiteral("%1: %2\n\n").arg(QLatin1String(cli::kProgramName), error) + usage, {}};
    return {};
}

int Respond(const CommandLine& commandLine) {
    const QByteArray text = commandLine.text.toLocal8Bit();
    switch (commandLine.action) {
        case CommandLine::Action::Help:
        case CommandLine::Action::Version:
            std::fputs(text.constData(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case CommandLine::Action::Error:
            std::fputs(text.constData(), stderr);
            return cli::kUsageError;
        case CommandLine::Action::Run:
        case CommandLine::Action::Console:
            break;
    }
    return 0;
}

}  // namespace gui
