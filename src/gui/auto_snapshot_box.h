// The check box of Previous Versions: "Keep a version automatically
// whenever Rolvane saves". It shows what `--auto-snapshot status` says,
// and checking or clearing it runs `--auto-snapshot on` or `off`, through
// the program itself (so the units name the installed program). A failure
// to turn it on or off is told in a message of its own with the program's
// reason (no systemd user manager, a unit file not ours, ...), and the box
// shows the state as it is after it.
// The program runs off the window's thread (QProcess); the box is disabled
// while it runs.
#pragma once

#include <QCheckBox>
#include <QString>

class QProcess;

namespace gui {

class AutoSnapshotBox : public QCheckBox {
    Q_OBJECT

public:
    // program: the program that runs the commands; by default the one
    // installed beside the window's program.
    explicit AutoSnapshotBox(QWidget* parent, QString program = DefaultProgram());
    // A program still running is ended, and tells this box nothing more.
    ~AutoSnapshotBox() override;

    static QString DefaultProgram();

signals:
    // The state is read (after the start, and after each change).
    void Settled();

private:
    // Runs the program with --auto-snapshot and word.
    void Start(const QString& word);
    void Finished(const QString& word, int status, const QByteArray& out, const QByteArray& err);

    QString program_;
    QProcess* running_ = nullptr;
};

}  // namespace gui
