// rolvane-notifier: the desktop notification of a problem that a scheduled
// --snapshot met (cli/notices.h starts it, detached, so that the program
// itself never loads Qt). Through org.freedesktop.Notifications on the
// session bus it shows
//   --summary TEXT --body TEXT
// and, given --open PROGRAM --edition EDITION, the action "Open Previous
// Versions", which starts PROGRAM --previous-versions EDITION: the window
// with that dialog on that database. It waits for the answer until the
// notification is closed, or a day at most.
// Without a notification service it says the problem on stderr (the
// journal) and ends with status 1.
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QTimer>
#include <cstdio>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kOpen = QStringLiteral("open-previous-versions");

// The session bus: the environment's, else the user's bus where the user
// manager (or the desktop) keeps it, as cron's environment names none.
QDBusConnection SessionBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() || qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) return bus;
    const QString runtime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")
                                ? qEnvironmentVariable("XDG_RUNTIME_DIR")
                                : QStringLiteral("/run/user/%1").arg(getuid());
    return QDBusConnection::connectToBus(QStringLiteral("unix:path=%1/bus").arg(runtime), QStringLiteral("user"));
}

class Waiting : public QObject {
    Q_OBJECT

public:
    Waiting(QString program, QString edition) : program_(std::move(program)), edition_(std::move(edition)) {}
    void Await(uint id) { id_ = id; }

public slots:
    void ActionInvoked(uint id, const QString& key) {
        if (id != id_) return;
        if (key == kOpen || key == QStringLiteral("default")) {
            if (!QProcess::startDetached(program_, {QStringLiteral("--previous-versions"), edition_}))
                std::fprintf(stderr, "rolvane-notifier: cannot start %s\n", program_.toLocal8Bit().constData());
        }
        QCoreApplication::quit();
    }
    void NotificationClosed(uint id, uint) {
        if (id == id_) QCoreApplication::quit();
    }

private:
    uint id_ = 0;  // none yet: the server gives it
    QString program_, edition_;
};

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QString summary, body, program, edition;
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        const QString& name = arguments[i];
        QString& value = name == QStringLiteral("--summary") ? summary
                         : name == QStringLiteral("--body")  ? body
                         : name == QStringLiteral("--open")  ? program
                                                             : edition;
        value = arguments[i + 1];
    }
    const bool action = !program.isEmpty() && !edition.isEmpty();

    QDBusConnection bus = SessionBus();
    // Listening before the notification is shown, so that no answer comes
    // before the bus knows we listen.
    Waiting waiting(program, edition);
    if (action) {
        bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), &waiting,
                    SLOT(ActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), &waiting,
                    SLOT(NotificationClosed(uint, uint)));
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QVariantMap hints;
    hints[QStringLiteral("urgency")] = QVariant::fromValue(uchar(2));  // critical: stays until dismissed
    hints[QStringLiteral("desktop-entry")] = QStringLiteral("restore-rolvane-data");
    const QStringList actions = action ? QStringList{kOpen, QStringLiteral("Open Previous Versions")} : QStringList{};
    notify << QStringLiteral("Restore Rolvane Data") << uint(0) << QStringLiteral("restore-rolvane-data") << summary
           << body << actions << hints << int(0);
    const QDBusMessage reply = bus.call(notify, QDBus::Block, 25000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        std::fprintf(stderr, "rolvane-notifier: no desktop notification (%s): %s: %s\n",
                     (bus.isConnected() ? reply.errorMessage() : bus.lastError().message()).toLocal8Bit().constData(),
                     summary.toLocal8Bit().constData(), body.toLocal8Bit().constData());
        return 1;
    }
    if (!action) return 0;
    waiting.Await(reply.arguments().constFirst().toUInt());
    QTimer::singleShot(std::chrono::hours(24), &application, &QCoreApplication::quit);
    // A bus that went away (the session ended) brings no answer any more.
    QTimer gone;
    QObject::connect(&gone, &QTimer::timeout, &application, [&bus] {
        if (!bus.isConnected()) QCoreApplication::quit();
    });
    gone.start(std::chrono::seconds(5));
    return application.exec();
}

#include "notifier_main.moc"
