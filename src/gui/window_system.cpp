#include "gui/window_system.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "app/program.h"

namespace gui {

namespace {

// Qt's Wayland platform plugins (qt6-wayland): libqwayland-generic.so,
// libqwayland-egl.so, ... in a "platforms" folder of Qt's plugin path.
bool HaveWaylandPlugin(const std::function<QString(const char*)>& variable) {
    QStringList folders{QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms")};
    if (const QString own = variable("QT_QPA_PLATFORM_PLUGIN_PATH"); !own.isEmpty()) folders << own;
    for (const QString& path : variable("QT_PLUGIN_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << path + QStringLiteral("/platforms");
    for (const QString& folder : folders)
        if (!QDir(folder).entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty()) return true;
    return false;
}

// A message of Qt's held back while the guard is up.
struct HeldMessage {
    QtMsgType type;
    QByteArray category, file, function;
    int line;
    QString text;
};

struct GuardState {
    WindowSystemFacts facts;
    QtMessageHandler previous = nullptr;  // null: Qt's own
    std::vector<HeldMessage> held;
};

// Qt may log from a thread of its own while the application starts.
std::mutex guardMutex;
GuardState* guardState = nullptr;

// Puts Qt's handler back and hands it what was held back, in order.
void Release() {
    const std::lock_guard<std::mutex> lock(guardMutex);
    GuardState* state = std::exchange(guardState, nullptr);
    if (!state) return;
    qInstallMessageHandler(state->previous);
    for (const HeldMessage& m : state->held) {
        const QMessageLogContext context(m.file.isEmpty() ? nullptr : m.file.constData(), m.line,
                                         m.function.isEmpty() ? nullptr : m.function.constData(),
                                         m.category.isEmpty() ? "default" : m.category.constData());
        qt_message_output(m.type, context, m.text);
    }
    delete state;
}

void GuardHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        const std::lock_guard<std::mutex> lock(guardMutex);
        if (guardState)
            guardState->held.push_back({type, QByteArray(context.category), QByteArray(context.file),
                                        QByteArray(context.function), context.line, text});
        return;
    }
    // Both of Qt's fatal messages for this ("Could not find the Qt platform
    // plugin ...", "... no Qt platform plugin could be initialized ...")
    // name the platform plugin; any other fatal error is Qt's to report.
    if (!text.contains(QLatin1String("platform plugin"), Qt::CaseInsensitive)) {
        Release();
        qt_message_output(type, context, text);
        return;
    }
    guardMutex.lock();  // held until the end
    if (!guardState) {  // released meanwhile by the thread that started the guard
        guardMutex.unlock();
        qt_message_output(type, context, text);
        return;
    }
    const QByteArray line = (NoWindowSystemText(guardState->facts) + QLatin1Char('\n')).toLocal8Bit();
    std::fputs(line.constData(), stderr);
    std::fflush(stderr);
    // Not exit(): this is the middle of QApplication's constructor, and
    // nothing of the program is there yet to be cleaned up.
    std::_Exit(kNoWindowSystem);
}

}  // namespace

WindowSystemFacts WindowSystemFacts::Read(const QStringList& arguments,
                                          const std::function<QString(const char*)>& variable) {
    WindowSystemFacts facts;
    facts.requested = variable("QT_QPA_PLATFORM");
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i)
        if (arguments[i] == QLatin1String("-platform") || arguments[i] == QLatin1String("--platform"))
            facts.requested = arguments[i + 1];
    facts.waylandSession = !variable("WAYLAND_DISPLAY").isEmpty() ||
                           variable("XDG_SESSION_TYPE") == QLatin1String("wayland");
    facts.x11Display = variable("DISPLAY");
    facts.waylandPlugin = HaveWaylandPlugin(variable);
    // Where the Wayland client library looks for the display: a name is a
    // socket in XDG_RUNTIME_DIR, a path is the socket itself.
    facts.waylandDisplay = variable("WAYLAND_DISPLAY");
    if (facts.waylandDisplay.isEmpty()) facts.waylandDisplay = QStringLiteral("wayland-0");
    const QString runtime = variable("XDG_RUNTIME_DIR");
    if (facts.waylandDisplay.startsWith(QLatin1Char('/')))
        facts.waylandSocket = facts.waylandDisplay;
    else if (runtime.startsWith(QLatin1Char('/')))
        facts.waylandSocket = runtime + QLatin1Char('/') + facts.waylandDisplay;
    struct stat st{};
    facts.waylandReachable = !facts.waylandSocket.isEmpty() &&
                             stat(QFile::encodeName(facts.waylandSocket).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
    return facts;
}

namespace {

// Qt tries Wayland first in a Wayland session, or where it is asked for.
bool WantsWayland(const WindowSystemFacts& facts) {
    return facts.requested.isEmpty() ? facts.waylandSession : facts.requested.contains(QLatin1String("wayland"));
}

// Whether Qt goes on to X11 when Wayland fails: by its own choice, or where
// the request names xcb as well ("wayland;xcb").
bool FallsBackOnX11(const WindowSystemFacts& facts) {
    return facts.requested.isEmpty() || facts.requested.contains(QLatin1String("xcb"));
}

}  // namespace

QString NoWindowSystemText(const WindowSystemFacts& facts) {
    const QString start = QStringLiteral("%1: cannot open a window: ").arg(QLatin1String(app::kProgramName));
    if (!facts.requested.isEmpty() && !WantsWayland(facts) && !facts.requested.contains(QLatin1String("xcb")))
        return start + QStringLiteral("Qt cannot start the platform \"%1\" that QT_QPA_PLATFORM or -platform asks for")
                           .arg(facts.requested);
    const QString x11 = QStringLiteral("the X display \"%1\" cannot be reached").arg(facts.x11Display);
    if (WantsWayland(facts)) {
        QString wayland;
        if (!facts.waylandReachable)
            wayland = facts.waylandSocket.isEmpty()
                          ? QStringLiteral("the Wayland display \"%1\" cannot be reached (XDG_RUNTIME_DIR is not set)")
                                .arg(facts.waylandDisplay)
                          : QStringLiteral("the Wayland display \"%1\" cannot be reached (no socket at %2)")
                                .arg(facts.waylandDisplay, facts.waylandSocket);
        else if (!facts.waylandPlugin)
            wayland = QStringLiteral("Qt's Wayland platform plug-in is not installed (install the package qt6-wayland)");
        else
            wayland = QStringLiteral("Qt cannot connect to the Wayland display \"%1\"").arg(facts.waylandDisplay);
        if (FallsBackOnX11(facts) && !facts.x11Display.isEmpty()) return start + wayland + QStringLiteral(", and ") + x11;
        return start + wayland;
    }
    if (facts.x11Display.isEmpty())
        return start + QStringLiteral("there is no display (neither WAYLAND_DISPLAY nor DISPLAY is set); "
                                      "--list, --versions, --restore, --create-blank and --put-back need none "
                                      "(see --help)");
    return start + x11;
}

WindowSystemPlan PlanWindowSystem(const WindowSystemFacts& facts) {
    // Qt's own choice with no display to choose from.
    if (facts.requested.isEmpty() && !facts.waylandSession && facts.x11Display.isEmpty())
        return {{}, NoWindowSystemText(facts)};
    if (!WantsWayland(facts) || (facts.waylandReachable && facts.waylandPlugin)) return {};
    // Wayland cannot start: X11 alone where Qt would fall back on it.
    if (FallsBackOnX11(facts) && !facts.x11Display.isEmpty()) return {QStringLiteral("xcb"), {}};
    return {{}, NoWindowSystemText(facts)};
}

WindowSystemGuard::WindowSystemGuard(WindowSystemFacts facts) {
    guardState = new GuardState{std::move(facts), nullptr, {}};
    guardState->previous = qInstallMessageHandler(GuardHandler);
}

WindowSystemGuard::~WindowSystemGuard() { Release(); }

}  // namespace gui
