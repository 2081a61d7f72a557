// Where no window can be opened: what decides it, the one line the user
// reads, and the real program saying it with status 1 instead of Qt's abort.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <map>

#include "gui/window_system.h"

namespace {

using gui::WindowSystemFacts;

struct TextCase {
    const char* name;
    WindowSystemFacts facts;
    std::vector<const char*> says;
};

class NoWindowSystemText : public ::testing::TestWithParam<TextCase> {};

TEST_P(NoWindowSystemText, IsOneLineThatTellsWhyAndNamesThePackage) {
    const QString text = gui::NoWindowSystemText(GetParam().facts);
    EXPECT_TRUE(text.startsWith("restore-rolvane-data: cannot open a window: ")) << text.toStdString();
    EXPECT_FALSE(text.contains('\n')) << text.toStdString();
    EXPECT_TRUE(text.contains("install the package qt6-wayland")) << text.toStdString();
    for (const char* part : GetParam().says) EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, NoWindowSystemText,
    ::testing::Values(
        TextCase{"WaylandSessionWithoutThePlugin", {"", true, "", false}, {"Wayland platform plugin is not installed"}},
        TextCase{"WaylandAskedForWithoutThePlugin", {"wayland-egl", false, ":0", false}, {"not installed"}},
        TextCase{"APlatformThatCannotStart", {"nonexistent", false, ":0", true}, {"\"nonexistent\"", "QT_QPA_PLATFORM"}},
        TextCase{"NoDisplayAtAll", {"", false, "", true}, {"no display", "WAYLAND_DISPLAY", "DISPLAY"}},
        TextCase{"AnX11DisplayThatDoesNotAnswer", {"", false, ":77", false}, {"display \":77\""}},
        // Qt falls back on X11 only when Wayland failed.
        TextCase{"XWaylandThatDoesNotAnswerEither", {"", true, ":1", false}, {"not installed"}},
        TextCase{"AWaylandDisplayThatDoesNotAnswer", {"", true, "", true}, {"connect to the Wayland display;"}},
        TextCase{"NeitherDisplayAnswers", {"", true, ":1", true}, {"Wayland display, nor to the display \":1\""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowSystemFacts, ComeFromTheCommandLineBeforeTheEnvironment) {
    const std::map<std::string, QString> environment = {
        {"QT_QPA_PLATFORM", "xcb"}, {"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":3"}};
    auto variable = [&](const char* name) {
        const auto found = environment.find(name);
        return found == environment.end() ? QString() : found->second;
    };
    const WindowSystemFacts fromEnvironment = WindowSystemFacts::Read({"restore-rolvane-data"}, variable);
    EXPECT_EQ(fromEnvironment.requested, "xcb");
    EXPECT_TRUE(fromEnvironment.waylandSession);
    EXPECT_EQ(fromEnvironment.x11Display, ":3");

    const WindowSystemFacts fromArguments =
        WindowSystemFacts::Read({"restore-rolvane-data", "-platform", "wayland"}, variable);
    EXPECT_EQ(fromArguments.requested, "wayland");
}

// The guard holds Qt's messages back and hands them on, in order, once the
// window system has started.
TEST(WindowSystemGuard, HandsQtsMessagesOnOnceTheWindowSystemStarted) {
    static QStringList seen;
    seen.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { seen << text; });
    {
        const gui::WindowSystemGuard guard(WindowSystemFacts{});
        qWarning("first");
        qInfo("second");
        EXPECT_TRUE(seen.isEmpty());
    }
    EXPECT_EQ(seen, (QStringList{"first", "second"}));
    qInstallMessageHandler(previous);
}

struct Ended {
    int status;
    QString err;
};

Ended StartWith(const std::map<QString, QString>& set) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
        environment.remove(name);
    for (const auto& [name, value] : set) environment.insert(name, value);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(ROLVANE_PROGRAM_PATH), {});
    EXPECT_TRUE(program.waitForFinished(60000)) << "the program did not end";
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromLocal8Bit(program.readAllStandardError())};
}

TEST(Program, WithoutAPlatformThatCanStartItSaysSoInOneLineAndEndsWithStatus1) {
    const struct {
        const char* name;
        std::map<QString, QString> environment;
    } cases[] = {
        {"a platform that does not exist", {{"QT_QPA_PLATFORM", "nonexistent"}}},
        {"a Wayland session that cannot be reached",
         {{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "rolvane-test-no-such-display"}}},
        {"no display at all", {}},
    };
    for (const auto& c : cases) {
        const Ended run = StartWith(c.environment);
        EXPECT_EQ(run.status, gui::kNoWindowSystem) << c.name << ": " << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << c.name << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith("restore-rolvane-data: cannot open a window: ")) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("qt6-wayland")) << run.err.toStdString();
    }
}

}  // namespace
