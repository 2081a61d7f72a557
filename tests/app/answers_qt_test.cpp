// The real Qt message box feeding the real commands: Esc or the close box on
// a command's warning ends the command with every file as it was, and Esc or
// the close box on the file-in-use dialog cancels it.
#include <gtest/gtest.h>

#include "qt_print.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <map>

#include "app/msgbox_qt.h"
#include "catalogue/form1.h"
#include "fakes/fakes.h"
#include "operations/commands.h"

namespace {

using fakes::db::Roof;

const std::string kDocuments = "C:\\users\\me\\Documents";
const std::string kLive = kDocuments + "\\Varnock Rolvane\\Data\\bsrv.mdb";
const std::string kBackup = "C:\\users\\me\\AppData\\Roaming\\Varnock Rolvane\\Backups\\Backup1.rv";
const std::string kShell = "C:\\Program Files (x86)\\Brenwick Software\\Varnock Rolvane\\Data\\rv10db.shell";

// The user's hand on the boxes: each box that comes up is recorded by its
// title, and the action for that title (Esc, the close box, a button) is
// taken on it. A box with no action is answered with its first button.
class Hand {
public:
    std::map<QString, std::function<void(QMessageBox&)>> actions;
    QStringList seen;

    // Looks for a new box each time the event loop turns; the timer goes
    // with the hand, so no look outlives the test.
    Hand() {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
        timer_.start();
    }

private:
    void Look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == last_) return;
        last_ = box;
        seen << box->windowTitle();
        auto it = actions.find(box->windowTitle());
        if (it != actions.end()) it->second(*box);
        else box->buttons().first()->click();
    }
    QTimer timer_;
    QMessageBox* last_ = nullptr;
};

void Esc(QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }
void CloseBox(QMessageBox& box) { box.windowHandle()->close(); }

struct CommandsThroughQtBox : ::testing::Test {
    fakes::World world;
    app::QtMessageBox qtBox;
    common::Services sys{world.files, world.shell, qtBox, world.process, world.locale,
                         [this] { return std::make_unique<fakes::FakeDBEngine>(world.files, world.db); }};
    fakes::FakeListView lv;
    fakes::FakeButton restore, makeBlank, cancel;
    catalogue::Form1 form{sys, lv, restore, makeBlank, cancel};
    Hand hand;

    CommandsThroughQtBox() {
        world.shell.folders[platform::CSIDL_PERSONAL] = kDocuments;
        world.shell.folders[platform::CSIDL_PROGRAM_FILES] = "C:\\Program Files (x86)";
        world.files.Put(kLive, Roof(10));
        world.files.Put(kBackup, Roof(20));
        world.files.Put(kShell, Roof(0));
    }

    void SelectRow(const std::string& tag) {
        lv.ClearItems();
        lv.AddItem("row");
        lv.SetSubItem(1, 1, "Personal");
        lv.SetTag(1, tag);
    }
    std::string Content(const std::string& path) {
        auto* f = world.files.Find(path);
        return f ? f->content : "<missing>";
    }
};

TEST_F(CommandsThroughQtBox, EscOrTheCloseBoxOnAWarningEndsTheCommandWithNothingTouched) {
    using Act = void (*)(QMessageBox&);
    for (const auto& [how, act] : {std::pair<const char*, Act>{"Esc", Esc}, std::pair<const char*, Act>{"close", CloseBox}}) {
        hand.actions = {{"Restore Warning", act}};
        hand.seen.clear();
        SelectRow(kBackup);
        operations::cmdRestore_Click(form);
        SelectRow(kLive);
        operations::cmdMakeBlank_Click(form);
        EXPECT_EQ(hand.seen, QStringList({"Restore Warning", "Restore Warning"})) << how;
        EXPECT_TRUE(world.files.log.empty()) << how;
        EXPECT_EQ(Content(kLive), Roof(10)) << how;
        EXPECT_EQ(world.files.Paths().size(), 3u) << how;
    }
}

TEST_F(CommandsThroughQtBox, EscOrTheCloseBoxOnTheFileInUseDialogCancels) {
    world.files.Find(kLive)->heldOpen = true;
    using Act = void (*)(QMessageBox&);
    for (const auto& [how, act] : {std::pair<const char*, Act>{"Esc", Esc}, std::pair<const char*, Act>{"close", CloseBox}}) {
        hand.actions = {{"File in Use", act}};
        hand.seen.clear();
        SelectRow(kBackup);
        operations::cmdRestore_Click(form);
        EXPECT_EQ(hand.seen, QStringList({"Restore Warning", "File in Use"})) << how;
        EXPECT_EQ(Content(kLive), Roof(10)) << how;
        EXPECT_EQ(world.files.Paths().size(), 3u) << how << ": no numbered copy is left";
    }
}

}  // namespace
