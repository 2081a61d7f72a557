// Telling the user: a notification server that records its calls, on a
// private session bus (dbus-daemon --session), sees the notification of a
// damaged live database that a scheduled --snapshot meets, naming the
// database and the newest good version; its action starts the program
// with --previous-versions EDITION; without a server the notifier says it
// on stderr. Skipped, with the reason, where dbus-daemon is missing.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include "support/file_bytes.h"
#include "support/qt_print.h"
#include "support/wine_home.h"

namespace {

const QString kService = "org.freedesktop.Notifications";
const QString kPath = "/org/freedesktop/Notifications";

class Recording : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString summary, body;
        QStringList actions;
    };
    std::vector<Call> calls;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int) {
        calls.push_back({summary, body, actions});
        return 7;
    }
};

// Processes events until done() or 30 s have passed.
bool Until(const std::function<bool()>& done) {
    QDeadlineTimer deadline(30000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

class Notify : public ::testing::Test {
protected:
    void SetUp() override {
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (!bus.waitForStarted()) GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
        ASSERT_TRUE(bus.waitForReadyRead(10000));
        address = QString::fromUtf8(bus.readLine()).trimmed();
        connection.emplace(QDBusConnection::connectToBus(address, "recording"));
        ASSERT_TRUE(connection->isConnected());
        if (serve) {
            ASSERT_TRUE(connection->registerObject(kPath, &server, QDBusConnection::ExportAllSlots));
            ASSERT_TRUE(connection->registerService(kService));
        }
    }
    void TearDown() override {
        if (connection) QDBusConnection::disconnectFromBus("recording");
        bus.terminate();
        bus.waitForFinished();
    }
    void Emit(const QString& name, const QVariantList& arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, name);
        signal.setArguments(arguments);
        ASSERT_TRUE(connection->send(signal));
    }
    QProcessEnvironment Environment() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
        return environment;
    }

    bool serve = true;
    QProcess bus;
    QString address;
    std::optional<QDBusConnection> connection;
    Recording server;
};

TEST_F(Notify, ADamagedLiveDatabaseIsToldOnceWithTheNewestGoodVersion) {
    e2e::WineHome home;
    const std::string live = home.C("users/ann/Documents/Varnock Rolvane/Data/bsrv.mdb");
    e2e::WineHome::Roof(live, 3);
    QProcessEnvironment environment = Environment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WINEPREFIX", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        environment.remove(name);
    environment.insert("HOME", QString::fromStdString(home.Home()));
    environment.insert("XDG_STATE_HOME", QString::fromStdString(home.Home() + "/state"));
    const auto run = [&](const QStringList& arguments) {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(ROLVANE_PROGRAM_PATH, arguments);
        EXPECT_TRUE(program.waitForFinished(60000));
        return program.exitCode();
    };
    ASSERT_EQ(run({"--snapshot"}), 0);
    // That good version was taken two minutes ago: the scheduled run need
    // not wait for its minute.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((home.Home() + "/.local/share/restore-rolvane-data/history.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE versions SET taken = taken - 120", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    std::string bytes = test_support::Read(live);
    bytes.replace(4096 * 2, 700, std::string(700, '\xff'));
    test_support::Write(live, bytes);

    EXPECT_EQ(run({"--snapshot", "--scheduled"}), 1);
    ASSERT_TRUE(Until([&] { return !server.calls.empty(); })) << "no notification";
    const Recording::Call& call = server.calls.front();
    EXPECT_EQ(call.summary, "Rolvane Personal contacts: the live database is damaged");
    EXPECT_TRUE(call.body.startsWith(QString::fromStdString(live) + " is damaged")) << call.body.toStdString();
    EXPECT_TRUE(call.body.contains("The newest good version is version @1, taken ")) << call.body.toStdString();
    EXPECT_EQ(call.actions, (QStringList{"open-previous-versions", "Open Previous Versions"}));
    // The notifier waits for the answer; closed, it ends.
    Emit("NotificationClosed", {7u, 2u});
    EXPECT_EQ(server.calls.size(), 1u);
}

TEST_F(Notify, ItsActionOpensPreviousVersionsOfTheDatabase) {
    QTemporaryDir folder;
    const QString opened = folder.filePath("opened"), recorder = folder.filePath("program");
    QFile script(recorder);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\necho \"$@\" > '" + opened + ".new' && mv '" + opened + ".new' '" + opened + "'\n").toUtf8());
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcess notifier;
    notifier.setProcessEnvironment(Environment());
    notifier.start(ROLVANE_NOTIFIER_PATH,
                   {"--summary", "S", "--body", "B", "--open", recorder, "--edition", "Business"});
    ASSERT_TRUE(Until([&] { return !server.calls.empty(); })) << "no notification";
    Emit("ActionInvoked", {7u, QString("open-previous-versions")});
    ASSERT_TRUE(Until([&] { return notifier.state() == QProcess::NotRunning; })) << "the notifier did not end";
    EXPECT_EQ(notifier.exitCode(), 0);
    ASSERT_TRUE(Until([&] { return QFile::exists(opened); })) << "the program was not started";
    QFile answer(opened);
    ASSERT_TRUE(answer.open(QIODevice::ReadOnly));
    EXPECT_EQ(answer.readAll(), "--previous-versions Business\n");
}

class NoServer : public Notify {
protected:
    NoServer() { serve = false; }
};

TEST_F(NoServer, TheNotifierSaysItOnStderr) {
    QProcess notifier;
    notifier.setProcessEnvironment(Environment());
    notifier.start(ROLVANE_NOTIFIER_PATH, {"--summary", "Rolvane Business contacts: damaged", "--body", "B."});
    ASSERT_TRUE(Until([&] { return notifier.state() == QProcess::NotRunning; }));
    EXPECT_EQ(notifier.exitCode(), 1);
    const QString err = QString::fromUtf8(notifier.readAllStandardError());
    EXPECT_TRUE(err.contains("no desktop notification")) << err.toStdString();
    EXPECT_TRUE(err.contains("Rolvane Business contacts: damaged: B.")) << err.toStdString();
}

}  // namespace

#include "notify_test.moc"
