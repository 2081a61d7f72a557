// A command's copies: off the window's thread, a dialog for a long one, no
// input meanwhile, errors handled by the copy line as before. The fake file
// service holds a copy at a chosen step until the window's thread lets it go.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <semaphore>

#include "gui/mainwindow.h"
#include "fakes/fakes.h"

namespace {

using fakes::db::Roof;
using namespace ports;

// Counts the events of one type that its watched objects receive.
struct Counter : QObject {
    explicit Counter(QEvent::Type type, const char* name = nullptr) : type(type), name(name) {}
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == type && (!name || object->objectName() == name)) ++n;
        return false;
    }
    QEvent::Type type;
    const char* name;
    int n = 0;
};

QWidget* CopyDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "copyProgress" && w->isVisible()) return w;
    return nullptr;
}

class WindowCopyTest : public ::testing::Test, public QObject {
protected:
    WindowCopyTest() {
        world.shell.folders[CSIDL_PERSONAL] = "C:\\users\\me\\Documents";
        world.shell.folders[CSIDL_APPDATA] = "C:\\users\\me\\AppData\\Roaming";
        world.shell.folders[CSIDL_PROGRAM_FILES] = "C:\\Program Files (x86)";
        world.files.Put(kLive, Roof(1200));
        world.files.Put("C:\\users\\me\\AppData\\Roaming\\Varnock Rolvane\\Backups\\Backup1.rv", Roof(900));
        world.files.Put("C:\\Program Files (x86)\\brenwick software\\varnock rolvane\\data\\rv10db.shell", Roof(0));
        window.ShowCopiesIn(progress);
        window.Load();
        window.ShowCentred();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        world.msgbox.onShow = [this](const auto& box) { boxes.push_back({box.title, CopyDialog() != nullptr}); };
        world.files.copySteps = 2;
        world.files.onCopyStep = [this](int step) {  // the first copy stops halfway
            if (step != 2 || ++held > 1) return;
            // Bounded, so a copy wrongly run on this thread fails instead of hanging.
            (void)gate.try_acquire_for(std::chrono::seconds(20));
            fail();
        };
    }
    ~WindowCopyTest() override { gate.release(); }

    // Runs on the window's thread inside the copy about to start, then lets it go.
    void WhileCopying(std::function<void()> during) {
        QTimer::singleShot(0, this, [this, during] {
            during();
            gate.release();
        });
    }
    void ClickRow(int index) {
        QTreeWidget& list = window.lvFiles();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.topLevelItem(index - 1)).center());
    }

    static constexpr const char* kLive = "C:\\users\\me\\Documents\\Varnock Rolvane\\Data\\bsrv.mdb";
    fakes::World world;
    gui::ProgressFiles progress{world.files};
    common::Services sys{progress, world.shell, world.msgbox, world.process, world.locale, world.lock, world.stops,
                         [this] { return std::make_unique<fakes::FakeDBEngine>(world.files, world.db); }};
    gui::MainWindow window{sys};
    std::counting_semaphore<> gate{0};  // holds the copying thread
    int held = 0;
    std::function<void()> fail = [] {};
    std::vector<std::pair<std::string, bool>> boxes;  // title, copy dialog up
};

TEST_F(WindowCopyTest, ASlowRestoreShowsAReadableDialogKeepsPaintingTakesNoInputAndFailsAsBefore) {
    ClickRow(2);  // Backup 1
    fail = [] { throw vb::HeldByProgram(); };
    world.msgbox.Answer({vbYes, vbRetry, vbOK});
    int paints = 0, selected = 0, bar = -1, buttons = -1;
    QString title, text, barName;
    WhileCopying([&] {
        // Cancel, Esc, another row, the close box, and a press of Restore
        // that does not come through the mouse (as a screen reader's would).
        QTest::mouseClick(&window.cmdCancel(), Qt::LeftButton);
        QTest::keyClick(&window, Qt::Key_Escape);
        ClickRow(1);
        window.close();
        window.cmdRestore().click();
        selected = window.lvFiles().SelectedIndex();

        Counter counter(QEvent::Paint);
        window.installEventFilter(&counter);
        window.update();
        EXPECT_TRUE(QTest::qWaitFor([&] { return counter.n > 0; }, 5000));
        paints = counter.n;

        ASSERT_TRUE(QTest::qWaitFor([] { return CopyDialog() != nullptr; }, 5000));
        QWidget* dialog = CopyDialog();
        auto* progressBar = dialog->findChild<QProgressBar*>();
        EXPECT_TRUE(QTest::qWaitFor([&] { return progressBar->value() == 50; }, 5000));  // step 1 of 2
        title = QAccessible::queryAccessibleInterface(dialog)->text(QAccessible::Name);
        text = dialog->findChild<QLabel*>()->text();
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(progressBar);
        barName = a->text(QAccessible::Name);
        bar = a->valueInterface()->currentValue().toInt();
        buttons = static_cast<int>(dialog->findChildren<QAbstractButton*>().size());
        QTest::keyClick(dialog, Qt::Key_Escape);
        EXPECT_EQ(CopyDialog(), dialog) << "Esc does not close it";
    });
    QTest::mouseClick(&window.cmdRestore(), Qt::LeftButton);

    EXPECT_EQ(selected, 2);
    EXPECT_GT(paints, 0);
    EXPECT_EQ(title, "Restore Rolvane Data");
    EXPECT_EQ(text, "Restoring Backup 1 (Personal)…");
    EXPECT_EQ(barName, text);
    EXPECT_EQ(bar, 50);
    EXPECT_EQ(buttons, 0);
    EXPECT_EQ(world.process.ends, 0);
    EXPECT_TRUE(window.isVisible());
    using Boxes = std::vector<std::pair<std::string, bool>>;
    // Error 70 reached the copy line, whose dialog came after the copy's.
    EXPECT_EQ(boxes, (Boxes{{"Restore Warning", false}, {"File in Use", false}, {"Restore Complete", false}}));
    EXPECT_EQ(world.files.Find(kLive)->content, Roof(900));
}

TEST_F(WindowCopyTest, CreateBlankNamesTheEditionAndTheWindowTakesInputAgainAfterwards) {
    world.msgbox.Answer({vbYes, vbOK});
    QString text;
    WhileCopying([&] {
        if (QTest::qWaitFor([] { return CopyDialog() != nullptr; }, 5000))
            text = CopyDialog()->findChild<QLabel*>()->text();
    });
    QTest::mouseClick(&window.cmdMakeBlank(), Qt::LeftButton);  // the Personal live database

    EXPECT_EQ(text, "Creating a blank database (Personal)…");
    using Boxes = std::vector<std::pair<std::string, bool>>;
    EXPECT_EQ(boxes, (Boxes{{"Restore Warning", false}, {"Create Blank Successful", false}}));
    EXPECT_EQ(world.files.Find(kLive)->content, Roof(0));
    ClickRow(1);  // input works again
    EXPECT_FALSE(window.cmdRestore().isEnabled());
    ClickRow(2);
    EXPECT_TRUE(window.cmdRestore().isEnabled());
}

// Where the file system gives no second name, the old data is copied aside
// first: both copies run under the dialog, which says which one it is.
TEST_F(WindowCopyTest, WithoutHardLinksBothCopiesShowTheDialogAndSayWhichRuns) {
    world.files.hardLinks = false;
    world.files.onCopyStep = [this](int step) {  // every copy stops halfway
        if (step == 2) (void)gate.try_acquire_for(std::chrono::seconds(20));
    };
    std::vector<QString> seen;  // the step line and the bar's name, per dialog
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* dialog = CopyDialog();
        auto* step = dialog ? dialog->findChild<QLabel*>("copyStep") : nullptr;
        if (!step || (!seen.empty() && seen.back().startsWith(step->text()))) return;
        seen.push_back(step->text() + " | " +
                       QAccessible::queryAccessibleInterface(dialog->findChild<QProgressBar*>())->text(QAccessible::Name));
        gate.release();
    });
    watch.start(10);
    ClickRow(2);  // Backup 1
    world.msgbox.Answer({vbYes, vbOK});
    QTest::mouseClick(&window.cmdRestore(), Qt::LeftButton);
    watch.stop();

    EXPECT_EQ(seen, (std::vector<QString>{
                        "Keeping a copy of the current data as bsrv.1… | Restoring Backup 1 (Personal)… Keeping a "
                        "copy of the current data as bsrv.1…",
                        "Writing the new data… | Restoring Backup 1 (Personal)… Writing the new data…",
                    }));
    using Boxes = std::vector<std::pair<std::string, bool>>;
    EXPECT_EQ(boxes, (Boxes{{"Restore Warning", false}, {"Restore Complete", false}}));
    EXPECT_EQ(world.files.Find(kLive)->content, Roof(900));
    EXPECT_EQ(world.files.Find("C:\\users\\me\\Documents\\Varnock Rolvane\\Data\\bsrv.1")->content, Roof(1200));
}

TEST_F(WindowCopyTest, AShortRestoreShowsNoDialog) {
    world.files.onCopyStep = {};
    Counter dialogs(QEvent::Show, "copyProgress");
    qApp->installEventFilter(&dialogs);
    ClickRow(2);
    world.msgbox.Answer({vbYes, vbOK});
    QTest::mouseClick(&window.cmdRestore(), Qt::LeftButton);
    qApp->removeEventFilter(&dialogs);
    EXPECT_EQ(boxes.back().first, "Restore Complete");
    EXPECT_EQ(dialogs.n, 0);
}

}  // namespace
