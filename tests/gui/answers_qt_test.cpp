// The real Qt message box feeding the real commands: Esc or the close box on
// a command's warning ends it with every file as it was; on the file-in-use
// dialog they cancel it, and no numbered copy is left.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "gui/msgbox_qt.h"
#include "catalogue/form1.h"
#include "fakes/fakes.h"
#include "operations/commands.h"

namespace {

using fakes::db::Roof;

const std::string kLive = "C:\\Documents\\Varnock Rolvane\\Data\\bsrv.mdb";
const std::string kBackup = "C:\\AppData\\Varnock Rolvane\\Backups\\Backup1.rv";
const std::string kShell = "C:\\Program Files\\Brenwick Software\\Varnock Rolvane\\Data\\rv10db.shell";

TEST(CommandsThroughTheQtBox, EscOrTheCloseBoxNeverLetsACommandGoAhead) {
    const struct {
        const char* name;
        void (*command)(catalogue::Form1&);
        std::string row;
        bool heldOpen;    // the live database is held: the file-in-use dialog comes up
        QString dismiss;  // the title of the box dismissed
        bool close;       // with the close box, else with Esc
    } cases[] = {
        {"Esc on Restore's warning", operations::cmdRestore_Click, kBackup, false, "Restore Warning", false},
        {"close on Restore's warning", operations::cmdRestore_Click, kBackup, false, "Restore Warning", true},
        {"Esc on Create Blank's warning", operations::cmdMakeBlank_Click, kLive, false, "Restore Warning", false},
        {"close on Create Blank's warning", operations::cmdMakeBlank_Click, kLive, false, "Restore Warning", true},
        {"Esc on file in use", operations::cmdRestore_Click, kBackup, true, "File in Use", false},
        {"close on file in use", operations::cmdMakeBlank_Click, kLive, true, "File in Use", true},
    };
    for (const auto& c : cases) {
        fakes::World world;
        gui::QtMessageBox qtBox;
        common::Services sys{world.files, world.shell, qtBox, world.process, world.locale, world.lock, world.stops, {}};
        fakes::FakeListView lv;
        fakes::FakeButton restore, makeBlank, cancel;
        catalogue::Form1 form{sys, lv, restore, makeBlank, cancel};
        world.shell.folders[ports::CSIDL_PERSONAL] = "C:\\Documents";
        world.shell.folders[ports::CSIDL_PROGRAM_FILES] = "C:\\Program Files";
        world.files.Put(kLive, Roof(10));
        world.files.Find(kLive)->heldOpen = c.heldOpen;
        world.files.Put(kBackup, Roof(20));
        world.files.Put(kShell, Roof(0));
        lv.AddItem("row");
        lv.SetSubItem(1, 1, "Personal");
        lv.SetTag(1, c.row);

        // The user's hand: Yes on a warning that is not the one dismissed.
        QStringList seen;
        QMessageBox* last = nullptr;
        QTimer hand;
        QObject::connect(&hand, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == last) return;
            last = box;
            seen << box->windowTitle();
            if (box->windowTitle() != c.dismiss) box->buttons().first()->click();
            else if (c.close) box->windowHandle()->close();
            else QTest::keyClick(box, Qt::Key_Escape);
        });
        hand.start(0);
        c.command(form);

        EXPECT_EQ(seen.size(), c.heldOpen ? 2 : 1) << c.name;
        EXPECT_EQ(seen.back(), c.dismiss) << c.name;
        EXPECT_EQ(world.files.Find(kLive)->content, Roof(10)) << c.name;
        EXPECT_EQ(world.files.Paths().size(), 3u) << c.name << ": nothing added";
    }
}

}  // namespace
