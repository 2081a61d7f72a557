// Check… in the window: the context menu of every row and Previous
// Versions open the check of that database, which shows its verdict and
// findings as a screen reader and the keyboard meet them; Esc stops a
// running check and closes it; a command's long check of its source shows
// "Checking …" with Cancel, which ends the command with nothing changed.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <atomic>

#include "gui/check_dialog.h"
#include "gui/mainwindow.h"
#include "gui/progress_check.h"
#include "gui/versions_dialog.h"
#include "fakes/fakes.h"

namespace {

using fakes::db::Roof;
using namespace ports;

constexpr const char* kLive = "C:\\users\\me\\Documents\\Varnock Rolvane\\Data\\bsrv.mdb";
constexpr const char* kCopy = "C:\\users\\me\\Documents\\Varnock Rolvane\\Data\\bsrv.1";
constexpr const char* kBackup = "C:\\users\\me\\AppData\\Roaming\\Varnock Rolvane\\Backups\\Backup1.rv";

// A check that goes on, batch after batch, until it is told to stop.
struct Endless : FileCheck {
    std::atomic<bool> stopped{false};
    CheckResult Check(const std::string&, const CheckProgress& Progress) override {
        for (uint64_t done = 1; Progress(done, 1000000); ++done) std::this_thread::yield();
        stopped = true;
        CheckResult r;
        r.cancelled = true;
        return r;
    }
};

class CheckWindowTest : public ::testing::Test {
protected:
    CheckWindowTest() {
        world.shell.folders[CSIDL_PERSONAL] = "C:\\users\\me\\Documents";
        world.shell.folders[CSIDL_APPDATA] = "C:\\users\\me\\AppData\\Roaming";
        world.shell.folders[CSIDL_PROGRAM_FILES] = "C:\\Program Files (x86)";
        world.files.Put(kLive, Roof(12));
        world.files.Put(kCopy, Roof(9));
        world.files.Put(kBackup, Roof(15));
        world.check.Tell(kBackup, {{Severity::Damaged, "its rows overlap", "roof", 7, 2},
                                   {Severity::Warning, "its definition counts 15 rows; 14 were found", "roof", 3, {}}});
        window.CheckWith([this] { return std::make_unique<fakes::CheckThrough>(world.check); });
        window.Load();
        window.ShowCentred();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    static QMenu* OpenMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }
    // The check dialog over `parent`, once its check has ended.
    static gui::CheckDialog* Checked(QWidget* parent) {
        gui::CheckDialog* dialog = nullptr;
        if (!QTest::qWaitFor([&] { return (dialog = parent->findChild<gui::CheckDialog*>()) && !dialog->Running(); },
                             5000))
            return nullptr;
        return dialog;
    }

    fakes::World world;
    gui::MainWindow window{world.sys};
};

TEST_F(CheckWindowTest, EveryRowAndEveryCopyCanBeCheckedAndShowsWhatWasFound) {
    window.lvFiles().setCurrentItem(window.lvFiles().topLevelItem(1));  // Backup 1
    QTest::keyClick(&window.lvFiles(), Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_NE(OpenMenu(), nullptr);
    QAction* check = OpenMenu()->findChild<QAction*>("actCheck");
    ASSERT_NE(check, nullptr) << "a backup row offers Check…";
    EXPECT_EQ(check->text(), "Chec&k…");
    check->trigger();
    OpenMenu()->close();
    gui::CheckDialog* dialog = Checked(&window);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Check - Backup 1 (Personal)");
    EXPECT_EQ(dialog->Verdict().text(), "Damaged: roof, page 7, row 2: its rows overlap");
    QTableWidget& findings = dialog->Findings();
    ASSERT_EQ(findings.rowCount(), 2);
    const QStringList first{"damaged", "roof", "7", "2", "its rows overlap"};
    for (int c = 0; c < 5; ++c) EXPECT_EQ(findings.item(0, c)->text(), first[c]) << c;
    EXPECT_EQ(findings.item(1, 3)->text(), "") << "no row";
    // What a screen reader is told: each part named, the table's headers.
    EXPECT_EQ(findings.accessibleName(), "Findings");
    EXPECT_EQ(dialog->Verdict().accessibleName(), "Verdict");
    EXPECT_EQ(dialog->CloseButton().accessibleName(), "Close");
    EXPECT_EQ(findings.horizontalHeaderItem(4)->text(), "What");
    EXPECT_EQ(QApplication::focusWidget(), &findings) << "the keyboard starts at the findings";
    QTest::keyClick(&findings, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.findChild<gui::CheckDialog*>() == nullptr; }, 5000));
    EXPECT_EQ(world.check.checked, std::vector<std::string>{kBackup});

    // Previous Versions: the selected copy, named as the list names it.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.lvFiles().setCurrentItem(window.lvFiles().topLevelItem(0));
    QTest::keyClick(&window.lvFiles(), Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_NE(OpenMenu(), nullptr);
    OpenMenu()->findChild<QAction*>("actPreviousVersions")->trigger();
    OpenMenu()->close();
    gui::VersionsDialog* versions = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (versions = window.findChild<gui::VersionsDialog*>()) != nullptr; }, 5000));
    ASSERT_NE(versions->CheckButton(), nullptr);
    EXPECT_EQ(versions->CheckButton()->accessibleName(), "Check");
    versions->List().setCurrentCell(0, 0);
    versions->CheckButton()->click();
    gui::CheckDialog* copy = Checked(versions);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->windowTitle(), "Check - bsrv.1 (Personal)");
    EXPECT_EQ(copy->Verdict().text(), "Good: nothing is wrong with it.");
    EXPECT_EQ(copy->Findings().rowCount(), 0);
    copy->CloseButton().click();
    versions->reject();
}

TEST_F(CheckWindowTest, EscStopsARunningCheckAndClosesIt) {
    auto endless = std::make_shared<Endless>();
    auto* dialog = new gui::CheckDialog([endless] { return std::make_unique<fakes::CheckThrough>(*endless); }, kLive,
                                        "(Current) (Personal)", "/home/me/bsrv.mdb", &window);
    dialog->open();
    dialog->Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->Bar().maximum() > 0; }, 5000)) << "progress is shown";
    EXPECT_TRUE(dialog->Running());
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(endless->stopped) << "the check was stopped, not left running";
    delete dialog;
}

// A command's check that runs long: the dialog names the source as the
// catalogue does; Cancel stops the check, which comes back stopped.
TEST_F(CheckWindowTest, ALongCheckOfASourceShowsItsProgressAndCanBeCancelled) {
    Endless endless;
    gui::ProgressCheck progress(std::make_unique<fakes::CheckThrough>(endless), &window,
                                [this](const std::string& path) { return window.CaptionOf(path); });
    QString text;
    QTimer look;
    look.setInterval(20);
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* dialog = window.findChild<QDialog*>("checkProgress");
        if (!dialog || !dialog->isVisible()) return;
        text = dialog->findChild<QLabel*>("checkText")->text();
        dialog->findChild<QPushButton*>("cmdCancelCheck")->click();
        look.stop();
    });
    look.start();
    const CheckResult result = progress.Check(kBackup);
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(endless.stopped);
    EXPECT_EQ(text, "Checking Backup 1…");
    EXPECT_EQ(window.findChild<QDialog*>("checkProgress"), nullptr) << "gone before the command goes on";
}

}  // namespace
