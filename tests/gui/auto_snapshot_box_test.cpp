// The check box of Previous Versions on a stand-in for the program: it
// shows what status says, runs on and off, and tells a failure to turn on
// in a message of its own with the program's reason.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "gui/auto_snapshot_box.h"

namespace {

class Box : public ::testing::Test {
protected:
    void SetUp() override {
        // The stand-in: status prints the state kept in a file; off clears
        // it; on fails as it does without a user manager.
        QFile script(program);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\nstate='" + folder.filePath("state") + "'\necho \"$@\" >> '" +
                      folder.filePath("ran") + "'\n" +
                      "case \"$2\" in\n"
                      "  status) echo \"{\\\"on\\\": $(cat \"$state\")}\" ;;\n"
                      "  off) echo false > \"$state\" ;;\n"
                      "  on) echo 'restore-rolvane-data: using the Wine prefix /h/.wine (WINEPREFIX)' >&2\n"
                      "      echo 'restore-rolvane-data: No systemd user manager runs here; this crontab line' >&2\n"
                      "      echo '*/5 * * * * rr --snapshot --scheduled'; exit 1 ;;\n"
                      "esac\n")
                         .toUtf8());
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        SetState("true");
    }
    void SetState(const char* state) {
        QFile file(folder.filePath("state"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(state);
    }
    QString Ran() {
        QFile file(folder.filePath("ran"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir folder;
    QString program = folder.filePath("program");
};

TEST_F(Box, ShowsTheStateTurnsOffAndTellsWhyItCannotTurnOn) {
    QWidget parent;
    auto* box = new gui::AutoSnapshotBox(&parent, program);
    QSignalSpy settled(box, &gui::AutoSnapshotBox::Settled);
    ASSERT_TRUE(settled.wait(10000));
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(box->text(), "Keep a version &automatically whenever Rolvane saves");
    EXPECT_EQ(box->accessibleName(), "Keep a version automatically whenever Rolvane saves");

    box->click();  // off
    ASSERT_TRUE(settled.wait(10000));
    EXPECT_FALSE(box->isChecked());

    QString title, text, reason;
    // The message is answered once it shows, from inside its own loop.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* message = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = message->windowTitle();
            text = message->text();
            reason = message->informativeText();
            message->accept();
        }
    });
    answer.start(10);
    box->click();  // on, which fails
    ASSERT_TRUE(settled.wait(10000));
    EXPECT_EQ(title, "Restore Rolvane Data");
    EXPECT_EQ(text, "Versions cannot be kept automatically.");
    EXPECT_EQ(reason, "No systemd user manager runs here; this crontab line\n*/5 * * * * rr --snapshot --scheduled");
    EXPECT_FALSE(box->isChecked()) << "the state as status tells it after the failure";
    EXPECT_EQ(Ran(), "--auto-snapshot status --json\n--auto-snapshot off\n--auto-snapshot status --json\n"
                     "--auto-snapshot on\n--auto-snapshot status --json\n");
}

}  // namespace
