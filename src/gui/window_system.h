// What the program says when Qt cannot open a window on this desktop.
//
// Qt chooses its platform plugin while QApplication is being constructed
// (QT_QPA_PLATFORM, -platform, else the session type) and aborts the process
// when none can start: exit status 134 and a few lines naming plugins, which
// a user who started the program from a menu never sees. WindowSystemGuard,
// held around that construction, turns this one failure into a single line
// on stderr that names the package to install, and exit status 1.
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

    // Read from the command line (the program's name first), the
    // environment as `variable` gives it, and Qt's plugin folders.
    static WindowSystemFacts Read(const QStringList& arguments,
                                  const std::function<QString(const char*)>& variable);
};

// The one line (without its newline) that tells why no window can be opened
// and what to install.
QString NoWindowSystemText(const WindowSystemFacts& facts);

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
