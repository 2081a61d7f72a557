// Copies while a command runs: off the window's thread, a dialog for a long
// one, no input meanwhile, errors handed back unchanged. The fake file
// service holds a copy at a chosen step until the window's thread lets it go,
// so "long" is decided by the test, not by the clock.
#include <gtest/gtest.h>

#include "qt_print.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "app/mainwindow.h"
#include "app/progress_files.h"
#include "fakes/fakes.h"

namespace {

using fakes::db::Roof;
using platform::vbOK;
using platform::vbRetry;
using platform::vbYes;

// Holds the copying thread until the window's thread opens it. The wait is
// bounded so that a copy wrongly run on the window's thread cannot hang.
class Gate {
public:
    void Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(20), [this] { return open_; });
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

QWidget* CopyDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "copyProgress" && w->isVisible()) return w;
    return nullptr;
}

bool WaitForCopyDialog() { return QTest::qWaitFor([] { return CopyDialog() != nullptr; }, 5000); }

// Runs `during` on the window's thread once the event loop turns again, which
// is inside the copy that is about to start; dropped if `scope` goes first.
void WhileCopying(const QObject& scope, std::function<void()> during) {
    QTimer::singleShot(0, &scope, std::move(during));
}

class ProgressFilesTest : public ::testing::Test {
protected:
    ProgressFilesTest() { files.Put("C:\\data\\backup.rb", std::string(1000, 'b')); }
    ~ProgressFilesTest() override { gate.Open(); }

    fakes::FakeFiles files;
    app::ProgressFiles progress{files};
    QWidget window;
    Gate gate;
    QObject scope;
};

TEST_F(ProgressFilesTest, CopiesOfACommandRunOffTheWindowThreadAndReportAsTheInnerCopyDoes) {
    const struct {
        bool command;
        int steps;
        std::vector<std::pair<uint64_t, uint64_t>> reports;
    } cases[] = {
        {true, 1, {{1000, 1000}}},  // a clone: once
        {true, 4, {{250, 1000}, {500, 1000}, {750, 1000}, {1000, 1000}}},
        {false, 2, {{500, 1000}, {1000, 1000}}},
    };
    for (const auto& c : cases) {
        std::optional<app::ProgressFiles::Activity> activity;
        if (c.command) activity.emplace(progress, &window, "Restoring Backup 1 (Business)…");
        files.copySteps = c.steps;
        std::thread::id copiedOn;
        files.onCopyStep = [&](int) { copiedOn = std::this_thread::get_id(); };
        std::vector<std::pair<uint64_t, uint64_t>> reports;
        progress.FileCopy("C:\\data\\backup.rb", "C:\\data\\bsrv.mdb",
                          [&](uint64_t done, uint64_t total) { reports.emplace_back(done, total); });
        EXPECT_EQ(reports, c.reports) << c.steps;
        EXPECT_EQ(copiedOn != std::this_thread::get_id(), c.command) << "on a worker inside a command only";
        EXPECT_EQ(files.Find("C:\\data\\bsrv.mdb")->content, std::string(1000, 'b'));
    }
}

TEST_F(ProgressFilesTest, ALongCopyShowsAReadableDialogWithoutCancelThatClosesBeforeTheCopyReturns) {
    app::ProgressFiles::Activity activity(progress, &window, "Restoring Backup 2 (Business)…");
    files.copySteps = 2;
    files.onCopyStep = [&](int step) {
        if (step == 2) gate.Wait();
    };
    QString title, text, barName;
    int barValue = -1, buttons = -1;
    bool shown = false, survivesEsc = false;
    WhileCopying(scope, [&] {
        shown = WaitForCopyDialog();
        if (QWidget* dialog = CopyDialog()) {
            auto* bar = dialog->findChild<QProgressBar*>();
            EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == 50; }, 5000));  // step 1 of 2
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(dialog);
            title = a->text(QAccessible::Name);
            text = dialog->findChild<QLabel*>()->text();
            QAccessibleInterface* b = QAccessible::queryAccessibleInterface(bar);
            barName = b->text(QAccessible::Name);
            barValue = b->valueInterface()->currentValue().toInt();
            buttons = static_cast<int>(dialog->findChildren<QAbstractButton*>().size());
            QTest::keyClick(dialog, Qt::Key_Escape);
            dialog->close();
            survivesEsc = dialog->isVisible();
        }
        gate.Open();
    });
    progress.FileCopy("C:\\data\\backup.rb", "C:\\data\\bsrv.mdb");

    ASSERT_TRUE(shown);
    EXPECT_EQ(title, "Restore Rolvane Data");
    EXPECT_EQ(text, "Restoring Backup 2 (Business)…");
    EXPECT_EQ(barName, text);
    EXPECT_EQ(barValue, 50);
    EXPECT_EQ(buttons, 0);
    EXPECT_TRUE(survivesEsc);
    EXPECT_EQ(CopyDialog(), nullptr);
    EXPECT_TRUE(files.Exists("C:\\data\\bsrv.mdb"));
}

TEST_F(ProgressFilesTest, AFailureMidwayReachesTheCallerUnchangedWithTheDialogClosedAndInputBack) {
    app::ProgressFiles::Activity activity(progress, &window, "Restoring Backup 2 (Business)…");
    files.copySteps = 3;
    files.onCopyStep = [&](int step) {
        if (step < 2) return;
        gate.Wait();
        throw vb::PermissionDenied();
    };
    WhileCopying(scope, [&] {
        EXPECT_TRUE(WaitForCopyDialog());
        gate.Open();
    });
    try {
        progress.FileCopy("C:\\data\\backup.rb", "C:\\data\\bsrv.mdb");
        ADD_FAILURE() << "the copy failed";
    } catch (const vb::Error& e) {
        EXPECT_EQ(e.Number(), vb::kPermissionDenied);
        EXPECT_EQ(e.Description(), vb::PermissionDenied().Description());
    }
    EXPECT_EQ(CopyDialog(), nullptr);
    EXPECT_FALSE(files.Exists("C:\\data\\bsrv.mdb"));

    // Not only the numbered errors: whatever the copy throws.
    files.onCopyStep = [](int) { throw std::length_error("out of range"); };
    EXPECT_THROW(progress.FileCopy("C:\\data\\backup.rb", "C:\\data\\bsrv.mdb"), std::length_error);

    // Input reaches the window again.
    QPushButton button(&window);
    window.show();
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

// ---- the window ----

// Counts the copy dialogs shown, however briefly.
class DialogCounter : public QObject {
public:
    DialogCounter() { qApp->installEventFilter(this); }
    ~DialogCounter() override { qApp->removeEventFilter(this); }
    int shown = 0;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show && object->objectName() == "copyProgress") ++shown;
        return false;
    }
};

class WindowCopyTest : public ::testing::Test {
protected:
    WindowCopyTest() {
        world.shell.folders[platform::CSIDL_PERSONAL] = "C:\\users\\me\\Documents";
        world.shell.folders[platform::CSIDL_APPDATA] = "C:\\users\\me\\AppData\\Roaming";
        world.shell.folders[platform::CSIDL_PROGRAM_FILES] = "C:\\Program Files (x86)";
        world.files.Put(kLive, Roof(1200));
        world.files.Put("C:\\users\\me\\AppData\\Roaming\\Varnock Rolvane\\Backups\\Backup1.rv", Roof(900));
        world.files.Put("C:\\Program Files (x86)\\brenwick software\\varnock rolvane\\data\\rv10db.shell", Roof(0));
        window.ShowCopiesIn(progress);
        window.Load();
        window.ShowCentred();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        // Whether a copy dialog is up when each message box appears.
        world.msgbox.onShow = [this](const auto&) { dialogAtBox.push_back(CopyDialog() != nullptr); };
    }
    ~WindowCopyTest() override { gate.Open(); }

    void ClickRow(int index) {
        QTreeWidget& list = window.lvFiles();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.topLevelItem(index - 1)).center());
    }

    std::vector<std::string> Titles() const {
        std::vector<std::string> titles;
        for (const auto& box : world.msgbox.shown) titles.push_back(box.title);
        return titles;
    }

    static constexpr const char* kLive = "C:\\users\\me\\Documents\\Varnock Rolvane\\Data\\bsrv.mdb";
    fakes::World world;
    app::ProgressFiles progress{world.files};
    common::Services sys{progress, world.shell, world.msgbox, world.process, world.locale,
                         [this] { return std::make_unique<fakes::FakeDBEngine>(world.files, world.db); }};
    app::MainWindow window{sys};
    Gate gate;
    QObject scope;
    std::vector<bool> dialogAtBox;
};

TEST_F(WindowCopyTest, ASlowRestoreKeepsTheWindowPaintingTakesNoInputAndNamesTheBackup) {
    ClickRow(2);  // Backup 1
    world.files.copySteps = 2;
    world.files.onCopyStep = [&](int step) {
        if (step == 2) gate.Wait();
    };
    world.msgbox.Answer({vbYes, vbOK});
    int paints = 0;
    bool repainted = false;
    QString text;
    int selectedDuring = 0;
    std::pair<bool, bool> buttonsDuring;
    WhileCopying(scope, [&] {
        // The user tries everything: Cancel, Esc, another row, the close box,
        // and a press of Restore that does not come through the mouse.
        QTest::mouseClick(&window.cmdCancel(), Qt::LeftButton);
        QTest::keyClick(&window, Qt::Key_Escape);
        ClickRow(1);
        window.close();
        window.cmdRestore().click();
        selectedDuring = window.lvFiles().SelectedIndex();
        buttonsDuring = {window.cmdRestore().isEnabled(), window.cmdMakeBlank().isEnabled()};

        struct PaintCounter : QObject {
            int& n;
            explicit PaintCounter(int& n) : n(n) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) ++n;
                return false;
            }
        } counter(paints);
        window.installEventFilter(&counter);
        window.update();
        repainted = QTest::qWaitFor([&] { return paints > 0; }, 5000);
        window.removeEventFilter(&counter);

        if (WaitForCopyDialog()) text = CopyDialog()->findChild<QLabel*>()->text();
        gate.Open();
    });
    QTest::mouseClick(&window.cmdRestore(), Qt::LeftButton);

    EXPECT_TRUE(repainted);
    EXPECT_EQ(text, "Restoring Backup 1 (Personal)…");
    EXPECT_EQ(selectedDuring, 2);
    EXPECT_EQ(buttonsDuring, std::make_pair(true, false));
    EXPECT_EQ(world.process.ends, 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Restore Warning", "Restore Complete"}));
    EXPECT_EQ(dialogAtBox, (std::vector<bool>{false, false}));
    EXPECT_EQ(world.files.Find(kLive)->content, Roof(900));
}

TEST_F(WindowCopyTest, ACopyFailingHalfwayClosesItsDialogAndTheCopyLineHandlesTheError) {
    // Create Blank on the Personal live database; the first copy fails with
    // 70 after its dialog has appeared, the retry goes through at once.
    int copies = 0;
    world.files.copySteps = 2;
    world.files.onCopyStep = [&](int step) {
        if (step == 1) ++copies;
        if (step != 2 || copies > 1) return;
        gate.Wait();
        throw vb::PermissionDenied();
    };
    world.msgbox.Answer({vbYes, vbRetry, vbOK});
    QString text;
    WhileCopying(scope, [&] {
        if (WaitForCopyDialog()) text = CopyDialog()->findChild<QLabel*>()->text();
        gate.Open();
    });
    QTest::mouseClick(&window.cmdMakeBlank(), Qt::LeftButton);

    EXPECT_EQ(text, "Creating a blank database (Personal)…");
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Restore Warning", "File in Use", "Create Blank Successful"}));
    EXPECT_EQ(dialogAtBox, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(world.files.Find(kLive)->content, Roof(0));
}

TEST_F(WindowCopyTest, AShortRestoreShowsNoDialog) {
    DialogCounter dialogs;
    ClickRow(2);
    world.files.copySteps = 3;
    world.msgbox.Answer({vbYes, vbOK});
    QTest::mouseClick(&window.cmdRestore(), Qt::LeftButton);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Restore Warning", "Restore Complete"}));
    EXPECT_EQ(world.files.Find(kLive)->content, Roof(900));
    EXPECT_EQ(dialogs.shown, 0);
}

}  // namespace
