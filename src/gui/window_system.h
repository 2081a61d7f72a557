// What the program says when Qt cannot open a window on this desktop.
//
// Qt chooses its platform plugin while QApplication is being constructed
// (QT_QPA_PLATFORM, -platform, else the session type) and aborts the process
// when none can start: exit status 134 and a few lines naming plugins, which
// a user who started the program from a menu never sees. PlanWindowSystem
// keeps Qt from trying what cannot start, and WindowSystemGuard, held around
// that construction, turns what still fails into a single line on stderr
// that says why, and exit status 1.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace gui {

// The exit status when no window can be opened.
inline constexpr int kNoWindowSystem = 1;

// What decides which platform plugin Qt asks for and whether it can start.
struct WindowSystemFacts {
    QString requested;       // -platform or QT_QPA_PLATFORM; empty for Qt's own choice
    bool waylandSession = false;  // WAYLAND_DISPLAY or XDG_SESSION_TYPE=wayland
    QString x11Display;      // DISPLAY
    bool waylandPlugin = false;   // Qt's Wayland platform plugin is installed
    QString waylandDisplay;  // the Wayland display's name: WAYLAND_DISPLAY, else "wayland-0"
    QString waylandSocket;   // its socket's path; empty when XDG_RUNTIME_DIR is not set
    bool waylandReachable = false;  // that socket is there

    // Read from the command line (the program's name first), the
    // environment as `variable` gives it, Qt's plugin folders and the
    // Wayland display's socket.
    static WindowSystemFacts Read(const QStringList& arguments,
                                  const std::function<QString(const char*)>& variable);
};

// The one line (without its newline) that tells why no window can be opened:
// the Wayland plug-in is missing, the Wayland display (named) cannot be
// reached, the X display cannot be reached, or there is no display at all
// (then it points to the commands that need none).
QString NoWindowSystemText(const WindowSystemFacts& facts);

// What to do before Qt starts its platform. The Wayland client library
// says on stderr, before Qt hears of it, that XDG_RUNTIME_DIR is not set,
// so Wayland is not tried where its socket is not there (nor where the
// plug-in is missing): X11 is then asked for alone where there is an X
// display, as Qt would fall back on it, and otherwise the program ends at
// once with NoWindowSystemText.
struct WindowSystemPlan {
    QString platform;  // to ask Qt for instead of its own choice; empty: leave it to Qt
    QString failure;   // not empty: no window can be opened, and this says why
};
WindowSystemPlan PlanWindowSystem(const WindowSystemFacts& facts);

// For its lifetime, Qt's fatal "no platform plugin" ends the process with
// NoWindowSystemText and kNoWindowSystem instead of an abort. Qt's other
// messages meanwhile are held back, and handed on when the guard goes (the
// window system started), so that a failure prints one line only.
class WindowSystemGuard {
public:
    explicit WindowSystemGuard(WindowSystemFacts facts);
    ~WindowSystemGuard();
    WindowSystemGuard(const WindowSystemGuard&) = delete;
    WindowSystemGuard& operator=(const WindowSystemGuard&) = delete;
};

}  // namespace gui
