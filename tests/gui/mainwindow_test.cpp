// The window: its layout at 96 DPI, the properties of each control, and the
// wiring of its events to the procedures, driven with mouse and keyboard
// over a catalogue discovered from fake files.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/qt_print.h"

#include <QAccessible>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QTest>

#include "gui/mainwindow.h"
#include "fakes/fakes.h"

namespace {

using fakes::db::Roof;

constexpr const char* kDocuments = "C:\\users\\me\\Documents";
constexpr const char* kAppData = "C:\\users\\me\\AppData\\Roaming";

struct Layout {
    const char* name;
    QRect pixels;  // at 96 DPI
};

// The desktop's UI font for the life of one test; the previous one is put
// back when the test's fixture goes, whatever the test's outcome.
class ApplicationFont {
public:
    explicit ApplicationFont(int pointSize) : saved_(QApplication::font()) {
        QFont font = saved_;
        font.setPointSize(pointSize);
        QApplication::setFont(font);
    }
    ~ApplicationFont() { QApplication::setFont(saved_); }

private:
    QFont saved_;
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        world.shell.folders[ports::CSIDL_PERSONAL] = kDocuments;
        world.shell.folders[ports::CSIDL_APPDATA] = kAppData;
        world.shell.folders[ports::CSIDL_PROGRAM_FILES] = "C:\\Program Files (x86)";
    }

    // Personal edition: the live database and backup slots 1 and 3.
    void PutPersonalEdition() {
        world.files.Put(std::string(kDocuments) + "\\Varnock Rolvane\\Data\\bsrv.mdb", Roof(1200));
        world.files.Put(std::string(kAppData) + "\\Varnock Rolvane\\Backups\\Backup1.rv", Roof(900));
        world.files.Put(std::string(kAppData) + "\\Varnock Rolvane\\Backups\\Backup3.rv", Roof(15));
    }

    void LoadAndShow() {
        window.Load();
        window.ShowCentred();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    void ClickRow(int index) {
        QTreeWidget& list = window.lvFiles();
        const QRect row = list.visualItemRect(list.topLevelItem(index - 1));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, row.center());
    }

    std::pair<bool, bool> Buttons() {
        return {window.cmdRestore().isEnabled(), window.cmdMakeBlank().isEnabled()};
    }

    fakes::World world;
    gui::MainWindow window{world.sys};
};

// The 8 pt font the twips layout was drawn for: every caption fits, and the
// window is exactly the twips layout.
class MainWindowAtDesignFont : private ApplicationFont, public MainWindowTest {
public:
    MainWindowAtDesignFont() : ApplicationFont(8) {}
};

TEST(TwipsToPixels, FifteenTwipsAPixelAt96DpiAndScaledWithTheDpi) {
    EXPECT_EQ(gui::TwipsToPixels(8025, 96), 535);
    EXPECT_EQ(gui::TwipsToPixels(3645, 96), 243);
    EXPECT_EQ(gui::TwipsToPixels(8025, 144), 803);  // 802.5 rounds up
    EXPECT_EQ(gui::TwipsToPixels(375, 120), 31);
}

TEST_F(MainWindowAtDesignFont, ControlsStandWhereTheyBelongAt96Dpi) {
    ASSERT_EQ(window.logicalDpiX(), 96) << "the offscreen screen is taken to have 96 DPI";
    ASSERT_EQ(window.logicalDpiY(), 96);

    EXPECT_EQ(window.windowTitle(), "Restore Rolvane Data");
    EXPECT_EQ(window.minimumSize(), QSize(535, 243));
    EXPECT_EQ(window.maximumSize(), QSize(535, 243));

    const Layout controls[] = {
        {"lvFiles", QRect(16, 16, 505, 185)},
        {"cmdRestore", QRect(248, 208, 81, 25)},
        {"cmdMakeBlank", QRect(344, 208, 81, 25)},
        {"cmdCancel", QRect(440, 208, 81, 25)},
    };
    for (const Layout& c : controls) {
        auto* widget = window.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr) << c.name;
        EXPECT_EQ(widget->geometry(), c.pixels) << c.name;
    }

    // Loading and showing move nothing.
    PutPersonalEdition();
    LoadAndShow();
    for (const Layout& c : controls)
        EXPECT_EQ(window.findChild<QWidget*>(QString::fromLatin1(c.name))->geometry(), c.pixels) << c.name;
    EXPECT_EQ(window.size(), QSize(535, 243));
}

TEST_F(MainWindowTest, ButtonsAreEnabledNoneIsDefaultAndTabFollowsTheRow) {
    EXPECT_EQ(window.cmdRestore().text(), "&Restore");
    EXPECT_EQ(window.cmdMakeBlank().text(), "Create &Blank");
    EXPECT_EQ(window.cmdCancel().text(), "Cancel");
    for (QPushButton* b : {static_cast<QPushButton*>(&window.cmdRestore()),
                           static_cast<QPushButton*>(&window.cmdMakeBlank()),
                           static_cast<QPushButton*>(&window.cmdCancel())}) {
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
        EXPECT_FALSE(b->isDefault()) << b->text().toStdString();
        EXPECT_FALSE(b->autoDefault()) << b->text().toStdString();
    }
    EXPECT_FALSE(window.isVisible()) << "created hidden";

    QWidget* order[] = {&window.lvFiles(), &window.cmdRestore(), &window.cmdMakeBlank(),
                        &window.cmdCancel()};
    for (int i = 0; i < 3; ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << i;
    }
}

TEST_F(MainWindowTest, TheListIsABoldTwelvePointReportView) {
    const QFont font = window.lvFiles().font();
    EXPECT_EQ(font.pointSize(), 12);
    EXPECT_EQ(font.weight(), QFont::Bold);
    EXPECT_FALSE(font.italic() || font.underline() || font.strikeOut());
    const bool haveFace = QFontDatabase::families().contains(QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(QFontInfo(font).family() == QStringLiteral("MS Sans Serif"), haveFace);

    QTreeWidget& list = window.lvFiles();
    EXPECT_FALSE(list.header()->isHidden());
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_FALSE(list.rootIsDecorated());
    EXPECT_EQ(list.editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(MainWindowTest, RowsHeadersAndButtonsCanBeReadByAScreenReader) {
    PutPersonalEdition();
    LoadAndShow();

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&window.lvFiles());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::Table);
    EXPECT_FALSE(list->text(QAccessible::Name).isEmpty());
    QAccessibleTableInterface* table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->columnCount(), 4);
    EXPECT_EQ(table->columnDescription(0), "Database");
    EXPECT_EQ(table->columnDescription(3), "FileDate");
    QAccessibleInterface* cell = table->cellAt(1, 0);  // zero-based: the second row
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), "Backup 1");

    QAccessibleInterface* restore = QAccessible::queryAccessibleInterface(&window.cmdRestore());
    ASSERT_NE(restore, nullptr);
    EXPECT_EQ(restore->text(QAccessible::Name), "Restore");
    EXPECT_TRUE(restore->state().disabled) << "first row is the live database";
    QAccessibleInterface* blank = QAccessible::queryAccessibleInterface(&window.cmdMakeBlank());
    EXPECT_EQ(blank->text(QAccessible::Name), "Create Blank");
    EXPECT_FALSE(blank->state().disabled);
    // The mnemonics are key bindings, not part of the names.
    EXPECT_EQ(restore->actionInterface()->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
              QStringList{"Alt+R"});
    EXPECT_EQ(blank->actionInterface()->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
              QStringList{"Alt+B"});
}

TEST_F(MainWindowTest, AScreenReaderAnnouncesAWindowWithItsTitle) {
    LoadAndShow();
    QAccessibleInterface* top = QAccessible::queryAccessibleInterface(&window);
    ASSERT_NE(top, nullptr);
    // A plain top-level widget would be a "client" (Client), which AT-SPI
    // announces as a filler.
    EXPECT_EQ(top->role(), QAccessible::Window);
    EXPECT_EQ(top->text(QAccessible::Name), "Restore Rolvane Data");
    EXPECT_EQ(top->childCount(), 4) << "the list and the three buttons";
    EXPECT_TRUE(top->state().active);
}

TEST_F(MainWindowTest, ClickingAndArrowingToARowSetsTheButtonsForIt) {
    PutPersonalEdition();
    LoadAndShow();
    ASSERT_EQ(window.lvFiles().ItemCount(), 3);
    EXPECT_EQ(window.lvFiles().ItemText(1), "(Current)");
    EXPECT_EQ(QApplication::focusWidget(), &window.lvFiles());

    // Discovery's last step set the buttons for the first row.
    EXPECT_EQ(Buttons(), std::make_pair(false, true));

    ClickRow(2);
    EXPECT_EQ(Buttons(), std::make_pair(true, false));
    ClickRow(1);
    EXPECT_EQ(Buttons(), std::make_pair(false, true));

    QTest::keyClick(&window.lvFiles(), Qt::Key_Down);
    EXPECT_EQ(window.lvFiles().SelectedIndex(), 2);
    EXPECT_EQ(Buttons(), std::make_pair(true, false));
    QTest::keyClick(&window.lvFiles(), Qt::Key_Down);
    EXPECT_EQ(Buttons(), std::make_pair(true, false));
    QTest::keyClick(&window.lvFiles(), Qt::Key_Home);
    EXPECT_EQ(Buttons(), std::make_pair(false, true));
    EXPECT_TRUE(world.msgbox.shown.empty());
}

TEST_F(MainWindowTest, RestoreAndCreateBlankRunTheirCommands) {
    PutPersonalEdition();
    LoadAndShow();

    // Each command starts with its warning; No leaves everything as it was.
    world.msgbox.Answer({ports::vbNo, ports::vbNo});
    QTest::mouseClick(&window.cmdMakeBlank(), Qt::LeftButton);
    ClickRow(2);
    QTest::mouseClick(&window.cmdRestore(), Qt::LeftButton);

    ASSERT_EQ(world.msgbox.shown.size(), 2u);
    EXPECT_EQ(world.msgbox.shown[0].buttons, ports::vbYesNo);
    EXPECT_EQ(world.msgbox.shown[0].title, "Restore Warning");
    EXPECT_EQ(world.msgbox.shown[1].buttons, ports::vbYesNo);
    EXPECT_TRUE(world.files.log.empty());

    // A disabled command cannot be started.
    ASSERT_FALSE(window.cmdMakeBlank().isEnabled());
    QTest::mouseClick(&window.cmdMakeBlank(), Qt::LeftButton);
    EXPECT_EQ(world.msgbox.shown.size(), 2u);
}

TEST_F(MainWindowTest, CancelEndsTheProgramWhateverIsSelected) {
    PutPersonalEdition();
    LoadAndShow();
    ClickRow(3);

    QTest::mouseClick(&window.cmdCancel(), Qt::LeftButton);
    EXPECT_EQ(world.process.ends, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(world.msgbox.shown.empty()) << "nothing is asked first";

    // No procedure of the window runs after the end.
    window.cmdCancel().click();
    window.cmdRestore().click();
    EXPECT_EQ(world.process.ends, 1);
    EXPECT_TRUE(world.msgbox.shown.empty());
}

TEST_F(MainWindowTest, EscEndsTheProgramLikeCancelWhereverTheFocusIs) {
    PutPersonalEdition();
    LoadAndShow();
    QTest::keyClick(&window.lvFiles(), Qt::Key_Escape);
    EXPECT_EQ(world.process.ends, 1);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindowTest, EscOnAButtonEndsTheProgramToo) {
    PutPersonalEdition();
    LoadAndShow();
    window.cmdMakeBlank().setFocus();
    QTest::keyClick(&window.cmdMakeBlank(), Qt::Key_Escape);
    EXPECT_EQ(world.process.ends, 1);
}

TEST_F(MainWindowTest, ClosingTheWindowRunsNoProcedure) {
    PutPersonalEdition();
    LoadAndShow();
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(world.process.ends, 0);
    EXPECT_TRUE(world.msgbox.shown.empty());
    EXPECT_EQ(Buttons(), std::make_pair(false, true)) << "as discovery left them";
}

TEST_F(MainWindowTest, DiscoveryMessagesComeBeforeTheWindow) {
    // The Business option database exists but its live database does not.
    world.files.Put(std::string(kDocuments) + "\\Varnock Rolvane BE\\Data\\options.mdb",
                    fakes::db::Options(std::nullopt));
    PutPersonalEdition();
    std::vector<bool> visibleAtBox;
    world.msgbox.onShow = [&](const auto&) { visibleAtBox.push_back(window.isVisible()); };
    world.msgbox.Answer(ports::vbOK);

    LoadAndShow();
    ASSERT_EQ(world.msgbox.shown.size(), 1u);
    EXPECT_NE(world.msgbox.shown[0].prompt.find("Unable to locate main database"), std::string::npos);
    EXPECT_EQ(visibleAtBox, std::vector<bool>{false});
    EXPECT_TRUE(window.isVisible());
}

TEST_F(MainWindowTest, AbortInAStartUpErrorReportEndsBeforeTheWindowShows) {
    PutPersonalEdition();
    world.files.failures.Add("Dir", vb::PermissionDenied(), -1);
    world.msgbox.Answer(ports::vbAbort);

    window.Load();
    window.ShowCentred();
    EXPECT_EQ(world.process.ends, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(world.msgbox.shown.size(), 1u);
    EXPECT_EQ(world.msgbox.shown[0].buttons, ports::vbAbortRetryIgnore);
}

struct FontCase {
    const char* name;
    int pointSize;
    bool rowOutgrowsTheList;  // the row of buttons needs more than the list's 505 px
};

class MainWindowAtFont : public ::testing::TestWithParam<FontCase> {
protected:
    ApplicationFont font{GetParam().pointSize};
    fakes::World world;
    gui::MainWindow window{world.sys};
};

// Buttons grow to fit their captions; the row keeps its right edge on the
// list's and its 15 px gaps; the window (and, when the row needs it, the
// list) grows with them. The 96-DPI layout is the least anything gets.
TEST_P(MainWindowAtFont, ButtonsFitTheirCaptionsAndTheWindowGrowsWithThem) {
    ASSERT_EQ(window.logicalDpiX(), 96);
    QPushButton* row[] = {&window.cmdRestore(), &window.cmdMakeBlank(), &window.cmdCancel()};
    ASSERT_GT(window.cmdMakeBlank().sizeHint().width(), 81) << "this font must not fit the 81 px button";
    int needed = 2 * 15;
    for (QPushButton* b : row) needed += std::max(81, b->sizeHint().width());
    ASSERT_EQ(needed > 505, GetParam().rowOutgrowsTheList) << needed;

    for (QPushButton* b : row) {
        const QRect g = b->geometry();
        EXPECT_GE(g.width(), std::max(81, b->sizeHint().width())) << b->text().toStdString();
        EXPECT_GE(g.height(), std::max(25, b->sizeHint().height())) << b->text().toStdString();
        EXPECT_EQ(g.height(), window.cmdCancel().height()) << "one row, one height";
        EXPECT_EQ(g.top(), 208) << b->text().toStdString();
    }
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(row[i + 1]->x() - (row[i]->x() + row[i]->width()), 15) << i;

    const QRect list = window.lvFiles().geometry();
    const QRect cancel = window.cmdCancel().geometry();
    EXPECT_EQ(cancel.x() + cancel.width(), list.x() + list.width()) << "the row keeps its right edge";
    EXPECT_EQ(list.topLeft(), QPoint(16, 16));
    EXPECT_EQ(list.height(), 185);
    EXPECT_GE(list.width(), 505);
    EXPECT_EQ(window.lvFiles().font().pointSize(), 12) << "the list keeps its own font";
    EXPECT_GE(window.cmdRestore().x(), list.x()) << "the row begins no further left than the list";

    EXPECT_EQ(window.width(), list.x() + list.width() + 14);
    EXPECT_EQ(window.height(), cancel.y() + cancel.height() + 10);
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "still a fixed size";
    EXPECT_EQ(window.width() > 535, GetParam().rowOutgrowsTheList);
    if (GetParam().rowOutgrowsTheList) {
        EXPECT_EQ(window.cmdRestore().x(), 16);
    }
    EXPECT_GE(window.height(), 243);
}

INSTANTIATE_TEST_SUITE_P(Fonts, MainWindowAtFont,
                         ::testing::Values(FontCase{"GnomeDefault11pt", 11, false},
                                           FontCase{"Large30pt", 30, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
