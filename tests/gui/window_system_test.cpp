// Where no window can be opened: what decides it, the one line the user
// reads, and the real program saying it with status 1 instead of Qt's abort.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <map>

#include "gui/window_system.h"

namespace {

using gui::WindowSystemFacts;

// Each case: the facts, what Qt is to be asked for ("" for its own choice),
// whether the program ends before Qt starts, and what the line says.
struct PlanCase {
    const char* name;
    WindowSystemFacts facts;
    const char* platform;
    bool endsAtOnce;
    std::vector<const char*> says;
};

class WindowSystemPlan : public ::testing::TestWithParam<PlanCase> {};

TEST_P(WindowSystemPlan, TriesOnlyWhatCanStartAndSaysWhatIsTrueInOneLine) {
    const PlanCase& c = GetParam();
    const gui::WindowSystemPlan plan = gui::PlanWindowSystem(c.facts);
    EXPECT_EQ(plan.platform.toStdString(), c.platform);
    EXPECT_EQ(!plan.failure.isEmpty(), c.endsAtOnce);
    if (c.endsAtOnce) {
        EXPECT_EQ(plan.failure, gui::NoWindowSystemText(c.facts));
    }
    const QString text = gui::NoWindowSystemText(c.facts);
    EXPECT_TRUE(text.startsWith("restore-rolvane-data: cannot open a window: ")) << text.toStdString();
    EXPECT_FALSE(text.contains('\n')) << text.toStdString();
    // The package is named only where its plug-in is what is missing.
    EXPECT_EQ(text.contains("qt6-wayland"), c.facts.waylandReachable && !c.facts.waylandPlugin &&
                                                   c.facts.waylandSession)
        << text.toStdString();
    for (const char* part : c.says) EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << text.toStdString();
}

const QString kSocket = "/run/user/1000/wayland-0";

INSTANTIATE_TEST_SUITE_P(
    Table, WindowSystemPlan,
    ::testing::Values(
        PlanCase{"WaylandWithoutThePlugin", {"", true, "", false, "wayland-0", kSocket, true}, "", true,
                 {"Wayland platform plug-in is not installed", "install the package qt6-wayland"}},
        PlanCase{"WaylandWithoutXdgRuntimeDir", {"", true, "", true, "wayland-0", "", false}, "", true,
                 {"Wayland display \"wayland-0\" cannot be reached (XDG_RUNTIME_DIR is not set)"}},
        PlanCase{"WaylandWithoutItsSocket", {"", true, "", false, "wayland-1", "/run/user/1000/wayland-1", false}, "",
                 true, {"\"wayland-1\" cannot be reached (no socket at /run/user/1000/wayland-1)"}},
        // Qt would fall back on X11 after a failed Wayland try: X11 alone.
        PlanCase{"WaylandUnreachableBesideX11", {"", true, ":1", true, "wayland-0", "", false}, "xcb", false,
                 {"\"wayland-0\" cannot be reached", "and the X display \":1\" cannot be reached"}},
        PlanCase{"NoPluginBesideX11", {"", true, ":1", false, "wayland-0", kSocket, true}, "xcb", false, {}},
        PlanCase{"WaylandAndX11AskedFor", {"wayland;xcb", false, ":1", true, "wayland-0", "", false}, "xcb", false, {}},
        PlanCase{"WaylandAloneAskedFor", {"wayland", false, ":1", true, "wayland-0", "", false}, "", true,
                 {"cannot be reached"}},
        PlanCase{"AWaylandDisplayThatDoesNotAnswer", {"", true, "", true, "wayland-0", kSocket, true}, "", false,
                 {"Qt cannot connect to the Wayland display \"wayland-0\""}},
        PlanCase{"NoDisplayAtAll", {"", false, "", true, "wayland-0", "", false}, "", true, {"no display", "--list", "--restore", "--help"}},
        PlanCase{"AnX11DisplayThatDoesNotAnswer", {"", false, ":77", false, "wayland-0", "", false}, "", false,
                 {"the X display \":77\" cannot be reached"}},
        PlanCase{"APlatformThatCannotStart", {"nonexistent", false, ":0", true, "wayland-0", "", false}, "", false,
                 {"\"nonexistent\"", "QT_QPA_PLATFORM"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowSystemFacts, ComeFromTheCommandLineBeforeTheEnvironment) {
    std::map<std::string, QString> environment = {
        {"QT_QPA_PLATFORM", "xcb"}, {"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":3"}};
    auto variable = [&](const char* name) {
        const auto found = environment.find(name);
        return found == environment.end() ? QString() : found->second;
    };
    const WindowSystemFacts fromEnvironment = WindowSystemFacts::Read({"restore-rolvane-data"}, variable);
    EXPECT_EQ(fromEnvironment.requested, "xcb");
    EXPECT_TRUE(fromEnvironment.waylandSession);
    EXPECT_EQ(fromEnvironment.x11Display, ":3");
    EXPECT_EQ(fromEnvironment.waylandDisplay, "wayland-0");
    EXPECT_EQ(fromEnvironment.waylandSocket, "");  // no XDG_RUNTIME_DIR

    const WindowSystemFacts fromArguments =
        WindowSystemFacts::Read({"restore-rolvane-data", "-platform", "wayland"}, variable);
    EXPECT_EQ(fromArguments.requested, "wayland");

    // The display's socket: a name in XDG_RUNTIME_DIR, or a path of its own.
    const QString runtime = QString::fromStdString(::testing::TempDir()) + "rolvane-runtime-" +
                            QString::number(getpid());
    ASSERT_TRUE(QDir().mkpath(runtime));
    const QString socketPath = runtime + "/wayland-9";
    const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.toLocal8Bit().constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    environment["XDG_RUNTIME_DIR"] = runtime;
    for (const QString& display : {QString("wayland-9"), socketPath, QString("wayland-8")}) {
        environment["WAYLAND_DISPLAY"] = display;
        const WindowSystemFacts facts = WindowSystemFacts::Read({"restore-rolvane-data"}, variable);
        EXPECT_EQ(facts.waylandDisplay, display);
        EXPECT_EQ(facts.waylandSocket, display.startsWith('/') ? display : runtime + "/" + display);
        EXPECT_EQ(facts.waylandReachable, display != "wayland-8") << display.toStdString();
    }
    close(listening);
    QDir(runtime).removeRecursively();
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

// Whether or not qt6-wayland is installed: each case below is decided
// before the plug-in matters.
TEST(Program, WithoutAPlatformThatCanStartItSaysSoInOneLineAndEndsWithStatus1) {
    const struct {
        const char* name;
        std::map<QString, QString> environment;
        std::vector<const char*> says;
    } cases[] = {
        {"a platform that does not exist", {{"QT_QPA_PLATFORM", "nonexistent"}}, {"\"nonexistent\""}},
        {"a Wayland session that cannot be reached",
         {{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "rolvane-test-no-such-display"}},
         {"\"rolvane-test-no-such-display\" cannot be reached"}},
        {"neither a Wayland nor an X display that can be reached",
         {{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "rolvane-test-no-such-display"}, {"DISPLAY", ":77"}},
         {"\"rolvane-test-no-such-display\" cannot be reached", "\":77\""}},
        {"no display at all", {}, {"no display", "--list"}},
    };
    for (const auto& c : cases) {
        const Ended run = StartWith(c.environment);
        EXPECT_EQ(run.status, gui::kNoWindowSystem) << c.name << ": " << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << c.name << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith("restore-rolvane-data: cannot open a window: ")) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains("qt6-wayland")) << run.err.toStdString();
        for (const char* part : c.says) EXPECT_TRUE(run.err.contains(part)) << c.name << ": " << run.err.toStdString();
    }
}

}  // namespace
