// Previous Versions in the window: the context menu of a "(Current)" row,
// the dialog as a screen reader and the keyboard meet it, and its buttons
// driving the procedures over fake files.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <semaphore>

#include <QSignalSpy>

#include "gui/mainwindow.h"
#include "gui/records_dialog.h"
#include "gui/auto_snapshot_box.h"
#include "gui/versions_dialog.h"
#include "fakes/fakes.h"
#include "history/history_support.h"
#include "operations/setaside_index.h"
#include "records/fake_source.h"
#include "support/temp_folder.h"

namespace {

using fakes::db::Roof;
using namespace ports;

constexpr const char* kLive = "C:\\users\\me\\Documents\\Varnock Rolvane\\Data\\bsrv.mdb";
constexpr const char* kFolder = "C:\\users\\me\\Documents\\Varnock Rolvane\\Data\\";

std::string Host(const std::string& path) {
    std::string host = "/home/me/.wine/drive_c/" + path.substr(3);
    for (char& c : host)
        if (c == '\\') c = '/';
    return host;
}

// Takes the URLs the desktop would be asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    std::vector<QUrl> urls;

public slots:
    void Open(const QUrl& url) { urls.push_back(url); }
};

class PreviousVersionsWindowTest : public ::testing::Test {
protected:
    PreviousVersionsWindowTest() {
        world.shell.folders[CSIDL_PERSONAL] = "C:\\users\\me\\Documents";
        world.shell.folders[CSIDL_APPDATA] = "C:\\users\\me\\AppData\\Roaming";
        world.shell.folders[CSIDL_PROGRAM_FILES] = "C:\\Program Files (x86)";
        world.files.Put(kLive, Roof(1200), {2026, 3, 1, 9, 0, 0});
        world.files.Put(std::string(kFolder) + "bsrv.1", Roof(900), {2026, 1, 5, 8, 0, 0});
        world.files.Put(std::string(kFolder) + "bsrv.2", "damaged", {2026, 2, 5, 8, 0, 0});
        world.files.Put("C:\\users\\me\\AppData\\Roaming\\Varnock Rolvane\\Backups\\Backup1.rv", Roof(15));
        window.ShowCopiesIn(progress);
        window.MapPathsWith(Host);
        window.Load();
        window.ShowCentred();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    ~PreviousVersionsWindowTest() override { gate.release(); }

    QPoint RowCentre(int index) {
        QTreeWidget& list = window.lvFiles();
        return list.visualItemRect(list.topLevelItem(index - 1)).center();
    }
    void SelectRow(int index) {
        QTest::mouseClick(window.lvFiles().viewport(), Qt::LeftButton, {}, RowCentre(index));
    }
    // A right click as the window system gives it: the press, then the
    // context-menu event.
    void RightClickRow(int index) {
        QWidget* viewport = window.lvFiles().viewport();
        QTest::mousePress(viewport, Qt::RightButton, {}, RowCentre(index));
        QContextMenuEvent event(QContextMenuEvent::Mouse, RowCentre(index), viewport->mapToGlobal(RowCentre(index)));
        QApplication::sendEvent(viewport, &event);
    }
    static QMenu* OpenMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }
    int VisibleMenus() {
        int n = 0;
        for (QMenu* menu : window.findChildren<QMenu*>()) n += menu->isVisible();
        return n;
    }
    static void CloseMenu() {
        if (QMenu* menu = OpenMenu()) menu->close();
    }
    // Shift+F10 on the live row, Enter on the menu's item.
    gui::VersionsDialog* OpenDialog() {
        QTest::keyClick(&window.lvFiles(), Qt::Key_F10, Qt::ShiftModifier);
        if (!OpenMenu()) return nullptr;
        QTest::keyClick(OpenMenu(), Qt::Key_Return);
        // The dialog opens once the menu has closed.
        gui::VersionsDialog* dialog = nullptr;
        if (!QTest::qWaitFor([&] { return (dialog = window.findChild<gui::VersionsDialog*>()) != nullptr; }, 5000))
            return nullptr;
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
        return dialog;
    }
    std::vector<std::string> Rows(gui::QtTableList& list) {
        std::vector<std::string> rows;
        for (int i = 1; i <= list.ItemCount(); ++i)
            rows.push_back(list.ItemText(i) + "|" + list.SubItem(i, 1) + "|" + list.SubItem(i, 3));
        return rows;
    }
    std::string Content(const std::string& path) {
        auto* f = world.files.Find(path);
        return f ? f->content : "<missing>";
    }

    fakes::World world;
    gui::ProgressFiles progress{world.files};
    common::Services sys{progress, world.shell, world.msgbox, world.process, world.locale, world.lock, world.stops,
                         [this] { return std::make_unique<fakes::FakeDBEngine>(world.files, world.db); }};
    gui::MainWindow window{sys};
    std::counting_semaphore<> gate{0};
};

TEST_F(PreviousVersionsWindowTest, TheMenuOpensOnALiveRowByRightClickTheMenuKeyAndShiftF10) {
    ASSERT_EQ(window.lvFiles().ItemText(1), "(Current)");
    for (const auto& [keys, name] : {std::pair{QKeyCombination(Qt::Key_Menu), "Menu"},
                                     std::pair{QKeyCombination(Qt::ShiftModifier, Qt::Key_F10), "Shift+F10"}}) {
        QTest::keyClick(&window.lvFiles(), keys.key(), keys.keyboardModifiers());
        QMenu* menu = OpenMenu();
        ASSERT_NE(menu, nullptr) << name;
        ASSERT_EQ(menu->actions().size(), 1) << name;
        EXPECT_EQ(menu->actions()[0]->text(), "&Previous Versions…");
        EXPECT_EQ(menu->activeAction(), menu->actions()[0]) << "Enter takes it at once";
        QAccessibleInterface* item = QAccessible::queryAccessibleInterface(menu)->child(0);
        EXPECT_EQ(item->text(QAccessible::Name), "Previous Versions…");
        // The key again while it is open opens no second menu.
        QTest::keyClick(&window.lvFiles(), keys.key(), keys.keyboardModifiers());
        EXPECT_EQ(VisibleMenus(), 1);
        CloseMenu();
    }

    // A backup row has none; a right click on the live row selects it and
    // sets the buttons for it before the menu opens.
    SelectRow(2);
    QTest::keyClick(&window.lvFiles(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(OpenMenu(), nullptr);
    ASSERT_TRUE(window.cmdRestore().isEnabled());
    RightClickRow(1);
    EXPECT_NE(OpenMenu(), nullptr);
    EXPECT_EQ(window.lvFiles().SelectedIndex(), 1);
    EXPECT_FALSE(window.cmdRestore().isEnabled());
    CloseMenu();
    RightClickRow(2);
    EXPECT_EQ(OpenMenu(), nullptr);
    EXPECT_TRUE(world.msgbox.shown.empty());
}

TEST_F(PreviousVersionsWindowTest, TheDialogIsATableOfTheCopiesNewestFirstAndEscClosesOnlyIt) {
    gui::VersionsDialog* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Previous Versions - Personal");
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(QApplication::focusWidget(), &dialog->List());
    EXPECT_EQ(Rows(dialog->List()), (std::vector<std::string>{"bsrv.2|cannot be read|1 KB", "bsrv.1|900|1 KB"}));
    EXPECT_TRUE(world.msgbox.shown.empty()) << "the damaged copy is told in its row";
    EXPECT_EQ(dialog->findChild<QLabel*>()->buddy(), &dialog->List());

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&dialog->List());
    EXPECT_EQ(list->role(), QAccessible::Table);
    EXPECT_EQ(list->text(QAccessible::Name), "Previous versions");
    QAccessibleTableInterface* table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 2);
    ASSERT_EQ(table->columnCount(), 6);
    const char* headers[] = {"Name", "Records", "FileDate", "Size", "Set Aside", "Same Data"};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(table->columnDescription(c), headers[c]);
    EXPECT_EQ(table->cellAt(0, 1)->text(QAccessible::Name), "cannot be read");
    EXPECT_EQ(table->cellAt(1, 2)->text(QAccessible::Name), "2026-01-05 08:00:00");

    const std::pair<QPushButton*, const char*> buttons[] = {{&dialog->PutBackButton(), "Put Back"},
                                                            {&dialog->TrashButton(), "Move to Trash"},
                                                            {&dialog->OpenFolderButton(), "Open Folder"},
                                                            {&dialog->CloseButton(), "Close"}};
    QWidget* focus = &dialog->List();
    for (const auto& [button, name] : buttons) {
        EXPECT_EQ(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), name);
        EXPECT_FALSE(button->isDefault() || button->autoDefault()) << name;
        do focus = focus->nextInFocusChain();
        while (focus->focusPolicy() == Qt::NoFocus);
        EXPECT_EQ(focus, button) << "Tab reaches " << name;
    }

    QTest::keyClick(&dialog->List(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(world.process.ends, 0) << "Esc closes the dialog, not the program";
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(world.files.log.empty());
}

TEST_F(PreviousVersionsWindowTest, PutBackFromTheKeyboardAsksShowsItsProgressAndRebuilds) {
    gui::VersionsDialog* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    gui::QtTableList& list = dialog->List();
    QTest::keyClick(&list, Qt::Key_Down);
    ASSERT_EQ(list.ItemText(list.SelectedIndex()), "bsrv.1");

    // Alt+P, and No: nothing changes, and the dialog stays. (A mnemonic
    // clicks its button once the button has been seen to go down.)
    world.msgbox.Answer(vbNo);
    QTest::keyClick(dialog, Qt::Key_P, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !world.msgbox.shown.empty(); }, 5000));
    ASSERT_EQ(world.msgbox.shown.size(), 1u);
    EXPECT_NE(world.msgbox.shown[0].prompt.find("bsrv.1 as your live database " + std::string(kLive)),
              std::string::npos);
    EXPECT_TRUE(world.files.log.empty());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(list.ItemText(list.SelectedIndex()), "bsrv.1") << "the list is read again, the copy stays selected";

    // Tab, Space and Yes: the copy is held halfway until its progress
    // dialog has been seen.
    QTest::keyClick(&list, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), &dialog->PutBackButton());
    world.files.copySteps = 2;
    world.files.onCopyStep = [this](int step) {
        if (step == 2) (void)gate.try_acquire_for(std::chrono::seconds(20));
    };
    QString copying;
    QTimer::singleShot(0, dialog, [&] {
        auto progress = [] {
            QWidget* modal = QApplication::activeModalWidget();
            return modal && modal->objectName() == "copyProgress" ? modal : nullptr;
        };
        if (QTest::qWaitFor([&] { return progress() != nullptr; }, 5000))
            copying = progress()->findChild<QLabel*>()->text();
        gate.release();
    });
    world.msgbox.Answer({vbYes, vbOK});
    QTest::keyClick(&dialog->PutBackButton(), Qt::Key_Space);

    EXPECT_EQ(copying, "Putting back bsrv.1 (Personal)…");
    EXPECT_EQ(world.msgbox.shown.back().title, "Restore Complete");
    EXPECT_EQ(Content(kLive), Roof(900));
    EXPECT_EQ(Content(std::string(kFolder) + "bsrv.3"), Roof(1200));
    EXPECT_EQ(window.lvFiles().SubItem(1, 2), "900") << "the catalogue is rebuilt";
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"bsrv.3|1200|1 KB", "bsrv.2|cannot be read|1 KB",
                                                    "bsrv.1|900|1 KB"}));
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(PreviousVersionsWindowTest, MoveToTrashAsksFirstAndOpenFolderAsksTheDesktop) {
    gui::VersionsDialog* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    world.msgbox.Answer(vbNoAnswer);  // Esc on the question
    dialog->TrashButton().click();
    EXPECT_TRUE(world.files.trash.empty());
    EXPECT_EQ(dialog->List().ItemCount(), 2);

    world.msgbox.Answer(vbYes);
    dialog->TrashButton().click();
    ASSERT_EQ(world.files.trash.size(), 1u);
    EXPECT_EQ(world.files.trash[0].first, std::string(kFolder) + "bsrv.2");
    EXPECT_EQ(Rows(dialog->List()), std::vector<std::string>{"bsrv.1|900|1 KB"});
    EXPECT_EQ(world.msgbox.shown.size(), 2u);

    // The last copy gone, there is nothing to put back or trash.
    world.msgbox.Answer(vbYes);
    dialog->TrashButton().click();
    EXPECT_EQ(dialog->List().ItemCount(), 0);
    EXPECT_FALSE(dialog->PutBackButton().isEnabled());
    EXPECT_FALSE(dialog->TrashButton().isEnabled());

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
    dialog->OpenFolderButton().click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(catcher.urls, std::vector<QUrl>{QUrl::fromLocalFile("/home/me/.wine/drive_c/users/me/Documents/Varnock Rolvane/Data")});
    EXPECT_EQ(Content(kLive), Roof(1200));
}


TEST_F(PreviousVersionsWindowTest, ShowRecordsOpensEveryRowAndTheSelectedNumberedCopy) {
    fakes::FakeRecords data;
    const auto names = [](int count) {
        records::Table table{{{"Name", records::Kind::Text}}, {}, {}};
        for (int i = 0; i < count; ++i) table.records.push_back({"Contact " + std::to_string(i)});
        return table;
    };
    data.tables[kLive] = names(1);
    data.tables["C:\\users\\me\\AppData\\Roaming\\Varnock Rolvane\\Backups\\Backup1.rv"] = names(2);
    data.tables[std::string(kFolder) + "bsrv.1"] = names(3);
    window.ShowRecordsFrom(data.Factory());
    const auto opened = [&](QWidget* parent) -> gui::RecordsDialog* {
        gui::RecordsDialog* dialog = nullptr;
        if (!QTest::qWaitFor([&] { return (dialog = parent->findChild<gui::RecordsDialog*>()) != nullptr; }, 5000))
            return nullptr;
        QSignalSpy loaded(dialog, &gui::RecordsDialog::loaded);
        EXPECT_TRUE(loaded.wait(10000));
        return dialog;
    };

    SelectRow(2);
    QTest::keyClick(&window.lvFiles(), Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_NE(OpenMenu(), nullptr) << "every row has the menu now";
    ASSERT_EQ(OpenMenu()->actions().size(), 1);
    EXPECT_EQ(OpenMenu()->actions()[0]->text(), "Show &Records…");
    QTest::keyClick(OpenMenu(), Qt::Key_Return);
    gui::RecordsDialog* backup = opened(&window);
    ASSERT_NE(backup, nullptr);
    EXPECT_EQ(backup->windowTitle(), "Records - Personal Backup 1");
    EXPECT_EQ(backup->CountLabel().text(), "2 of 2 records");
    EXPECT_TRUE(backup->CompareButton().isEnabled()) << "the live row of its edition is found";
    QTest::keyClick(&backup->Table(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.findChild<gui::RecordsDialog*>() == nullptr; }, 5000));
    window.activateWindow();  // as the desktop does once a dialog closes
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    SelectRow(1);
    QTest::keyClick(&window.lvFiles(), Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_NE(OpenMenu(), nullptr);
    ASSERT_EQ(OpenMenu()->actions().size(), 2);
    OpenMenu()->actions()[1]->trigger();
    CloseMenu();
    gui::VersionsDialog* versions = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (versions = window.findChild<gui::VersionsDialog*>()) != nullptr; }, 5000));
    ASSERT_NE(versions->ShowRecordsButton(), nullptr);
    versions->List().setCurrentCell(1, 0);  // bsrv.1, the older
    versions->ShowRecordsButton()->click();
    gui::RecordsDialog* copy = opened(versions);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->windowTitle(), "Records - Personal bsrv.1");
    EXPECT_EQ(copy->CountLabel().text(), "3 of 3 records");
    EXPECT_TRUE(world.files.log.empty()) << "nothing is written";
}

// With the history store, its versions are listed beside the copies, newest
// first, each with how it came to be; a version is never moved to the trash,
// and Check… reads it rebuilt, byte for byte.
TEST_F(PreviousVersionsWindowTest, TheStoresVersionsAreListedBesideTheCopiesAndReadRebuilt) {
    platform_test::TempFolder folder;
    const std::string older = history_test::File(3), newer = history_test::File(3, {1});
    const int64_t day = 86400, start = 1767225600;  // 2026-01-01
    {
        history::Store store(folder.path(), true);
        history_test::AddFile(store, older, {"Personal", kLive}, start);
        history_test::AddFile(store, newer, {"Personal", kLive}, start + 40 * day);
    }
    // bsrv.1 set aside between the two versions; bsrv.2 not recorded.
    const std::string copy = Roof(900);
    world.files.WriteWhole(std::string(kFolder) + operations::kSetAsideIndexName,
                    operations::SetAsideIndexText(
                        {{1, start + 10 * day, int64_t(copy.size()), {2026, 1, 5, 8, 0, 0}, "bsrv.1"}}));
    window.HistoryStoreIn(folder.path());
    gui::VersionsDialog* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    std::vector<std::string> rows;
    for (int i = 1; i <= dialog->List().ItemCount(); ++i)
        rows.push_back(dialog->List().ItemText(i) + "|" + dialog->List().SubItem(i, 1) + "|" +
                       dialog->List().SubItem(i, 5));
    EXPECT_EQ(rows, (std::vector<std::string>{"@2|7|kept automatically", "bsrv.1|900|set aside by Restore",
                                              "@1|7|kept automatically", "bsrv.2|cannot be read|set aside by Restore"}));

    std::string checked;
    dialog->CheckWith([&](const records::Place& place) { checked = platform_test::ReadFile(place.path); });
    dialog->List().setCurrentCell(0, 0);
    EXPECT_TRUE(dialog->PutBackButton().isEnabled());
    EXPECT_FALSE(dialog->TrashButton().isEnabled());
    dialog->CheckButton()->click();
    EXPECT_EQ(checked, newer);
    dialog->List().setCurrentCell(1, 0);
    EXPECT_TRUE(dialog->TrashButton().isEnabled());
}

// --previous-versions EDITION: the window opens that edition's dialog, with
// the check box of automatic versions; an edition without a live database
// opens none.
TEST_F(PreviousVersionsWindowTest, StartedForAnEditionTheWindowOpensItsPreviousVersions) {
    window.OpenPreviousVersionsOf("Business");
    EXPECT_EQ(window.findChild<gui::VersionsDialog*>(), nullptr);
    window.OpenPreviousVersionsOf("Personal");
    auto* dialog = window.findChild<gui::VersionsDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Previous Versions - Personal");
    EXPECT_NE(dialog->findChild<gui::AutoSnapshotBox*>(), nullptr);
}

}  // namespace

#include "versions_dialog_test.moc"
