// --auto-snapshot on a real systemd user manager: `on`, a change that a
// writer closes, the version taken by the units with no other action,
// `status`, and `off` leaving no unit behind. The manager runs in a
// private mount namespace (user_manager.sh); where that cannot be made
// (not root, no unshare, no systemd) the test is skipped with the reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/qt_print.h"

#include <QProcess>
#include <QProcessEnvironment>

#include "support/wine_home.h"

namespace {

TEST(UserManager, OnKeepsAVersionOfAClosedChangeStatusSaysItOffLeavesNothing) {
    if (geteuid() != 0) GTEST_SKIP() << "a mount namespace of its own needs root here";
    e2e::WineHome home;
    const std::string live = home.C("users/ann/Documents/Varnock Rolvane/Data/bsrv.mdb");
    e2e::WineHome::Roof(live, 3);
    const std::string changed = home.Home() + "/changed.mdb";
    e2e::WineHome::Roof(changed, 5);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"}) environment.remove(name);
    const QString root = QString::fromStdString(home.Home());
    environment.insert("HOME", root);
    environment.insert("USER", "ann");
    environment.insert("WINEPREFIX", root + "/.wine");
    environment.insert("XDG_CONFIG_HOME", root + "/.config");
    environment.insert("XDG_DATA_HOME", root + "/.local/share");
    environment.insert("XDG_STATE_HOME", root + "/.local/state");
    QProcess script;
    script.setProcessEnvironment(environment);
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start("unshare", {"--mount", "--propagation", "private", ROLVANE_USER_MANAGER_SCRIPT, ROLVANE_PROGRAM_PATH,
                             QString::fromStdString(live), QString::fromStdString(changed)});
    if (!script.waitForStarted()) GTEST_SKIP() << "unshare cannot be started (Debian package util-linux)";
    ASSERT_TRUE(script.waitForFinished(120000)) << "the script did not end";
    const QString out = QString::fromUtf8(script.readAll());
    if (script.exitCode() == 77) GTEST_SKIP() << out.toStdString();
    if (script.exitCode() != 0 && out.contains("unshare: ")) GTEST_SKIP() << out.toStdString();
    ASSERT_EQ(script.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("VERSION TAKEN")) << out.toStdString();
    EXPECT_TRUE(out.contains("Automatic versions: on\nWatched: " + QString::fromStdString(live) + "\n"))
        << out.toStdString();
    EXPECT_TRUE(out.contains("Last version: Personal (")) << out.toStdString();
    EXPECT_TRUE(out.contains("NOTHING LEFT")) << out.toStdString();
}

}  // namespace
