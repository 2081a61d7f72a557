#include "gui/auto_snapshot_box.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>

#include "app/program.h"

namespace gui {

AutoSnapshotBox::AutoSnapshotBox(QWidget* parent, QString program)
    : QCheckBox(tr("Keep a version &automatically whenever Rolvane saves"), parent), program_(std::move(program)) {
    setObjectName(QStringLiteral("chkAutoSnapshot"));
    setAccessibleName(tr("Keep a version automatically whenever Rolvane saves"));
    setAccessibleDescription(
        tr("Keeps a version of the live databases in the history store each time Rolvane saves them, and every hour"));
    connect(this, &QCheckBox::clicked, this, [this](bool checked) { Start(checked ? "on" : "off"); });
    Start(QStringLiteral("status"));
}

AutoSnapshotBox::~AutoSnapshotBox() {
    if (running_) disconnect(running_, nullptr, this, nullptr);
}

QString AutoSnapshotBox::DefaultProgram() {
    return QString::fromStdString(app::ProgramPath(app::kProgramName, ROLVANE_BIN_FROM_LIBEXEC));
}

void AutoSnapshotBox::Start(const QString& word) {
    setEnabled(false);
    running_ = new QProcess(this);
    running_->setStandardInputFile(QProcess::nullDevice());
    QStringList arguments{QStringLiteral("--auto-snapshot"), word};
    if (word == QStringLiteral("status")) arguments << QStringLiteral("--json");
    QProcess* process = running_;
    connect(process, &QProcess::finished, this, [this, process, word](int status, QProcess::ExitStatus how) {
        Finished(word, how == QProcess::NormalExit ? status : -1, process->readAllStandardOutput(),
                 process->readAllStandardError());
        process->deleteLater();
    });
    connect(process, &QProcess::errorOccurred, this, [this, process, word](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        Finished(word, -1, {}, process->errorString().toLocal8Bit());
        process->deleteLater();
    });
    process->start(program_, arguments);
}

void AutoSnapshotBox::Finished(const QString& word, int status, const QByteArray& out, const QByteArray& err) {
    running_ = nullptr;
    setEnabled(true);
    if (word == QStringLiteral("status")) {
        setChecked(status == 0 && QJsonDocument::fromJson(out).object().value(QStringLiteral("on")).toBool());
        emit Settled();
        return;
    }
    if (status != 0) {
        // The program's own lines, without its name in front; and what it
        // printed (the crontab line that does the same).
        QString reason;
        const QString prefix = QStringLiteral("%1: ").arg(QString::fromUtf8(app::kProgramName));
        for (QString line : QString::fromLocal8Bit(err).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (!line.contains(QStringLiteral("using the Wine prefix")) &&
                !line.contains(QStringLiteral("using no prefix")))
                reason += (line.startsWith(prefix) ? line.mid(prefix.size()) : line) + QLatin1Char('\n');
        reason += QString::fromLocal8Bit(out).trimmed();
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8(app::kAppTitle),
                        word == QStringLiteral("on") ? tr("Versions cannot be kept automatically.")
                                                     : tr("Keeping versions automatically cannot be stopped."),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("autoSnapshotFailed"));
        box.setInformativeText(reason.trimmed());
        box.exec();
    }
    Start(QStringLiteral("status"));
}

}  // namespace gui
