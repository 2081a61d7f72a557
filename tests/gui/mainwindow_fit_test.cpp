// The window on other desktops: dates as other locales write them widen the
// list and the window just enough for every column to show whole, and the
// twips layout stays exact where they fit; right-to-left languages mirror
// the window; the command buttons answer their mnemonics.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/qt_print.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "gui/mainwindow.h"
#include "fakes/fakes.h"

namespace {

using fakes::db::Roof;

constexpr const char* kDocuments = "C:\\users\\me\\Documents";
constexpr const char* kAppData = "C:\\users\\me\\AppData\\Roaming";

// Every file's date as one locale writes it (the texts glibc gives for
// 28 December 2026, 21:41:12).
class DatesAs : public ports::Locale {
public:
    explicit DatesAs(std::string text) : text_(std::move(text)) {}
    std::string GeneralDate(const vb::DateTime&) override { return text_; }
    int64_t Now() override { return 0; }
    vb::DateTime LocalTime(int64_t) override { return {}; }

private:
    std::string text_;
};

// The application's direction for the life of a fixture.
class Direction {
public:
    explicit Direction(Qt::LayoutDirection direction) : saved_(QApplication::layoutDirection()) {
        QApplication::setLayoutDirection(direction);
    }
    ~Direction() { QApplication::setLayoutDirection(saved_); }

private:
    Qt::LayoutDirection saved_;
};

// The 8 pt font the twips layout was drawn for (as in mainwindow_test).
class DesignFont {
public:
    DesignFont() : saved_(QApplication::font()) {
        QFont font = saved_;
        font.setPointSize(8);
        QApplication::setFont(font);
    }
    ~DesignFont() { QApplication::setFont(saved_); }

private:
    QFont saved_;
};

// Both editions, each with its live database and `backups` backup slots.
class Catalogue : private DesignFont, private Direction {
public:
    Catalogue(const std::string& date, Qt::LayoutDirection direction, int backups)
        : Direction(direction), dates(date) {
        world.shell.folders[ports::CSIDL_PERSONAL] = kDocuments;
        world.shell.folders[ports::CSIDL_APPDATA] = kAppData;
        world.shell.folders[ports::CSIDL_PROGRAM_FILES] = "C:\\Program Files (x86)";
        const std::string docs = kDocuments, appData = kAppData;
        world.files.Put(docs + "\\Varnock Rolvane BE\\Data\\options.mdb", fakes::db::Options(std::nullopt));
        world.files.Put(docs + "\\Varnock Rolvane BE\\data\\bsrv.mdb", Roof(4820));
        world.files.Put(docs + "\\Varnock Rolvane\\Data\\bsrv.mdb", Roof(1375));
        for (int slot = 1; slot <= backups; ++slot) {
            world.files.Put(appData + "\\Varnock Rolvane BE\\Backups\\Backup" + std::to_string(slot) + ".rb",
                            Roof(12040));
            world.files.Put(appData + "\\Varnock Rolvane\\Backups\\Backup" + std::to_string(slot) + ".rv",
                            Roof(38500));
        }
    }

    void LoadAndShow() {
        window.Load();
        window.ShowCentred();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    fakes::World world;
    DatesAs dates;
    common::Services sys{world.files, world.shell, world.msgbox, world.process, dates, world.lock, world.stops,
                         [this] { return std::make_unique<fakes::FakeDBEngine>(world.files, world.db); }};
    gui::MainWindow window{sys};
};

struct FitCase {
    const char* name;
    const char* date;
    Qt::LayoutDirection direction;
    int backups;
    int grows;  // 1: the list must grow, 0: it must keep 505 px, -1: either
};

class WindowFitsTheDates : public ::testing::TestWithParam<FitCase> {
protected:
    Catalogue catalogue{GetParam().date, GetParam().direction, GetParam().backups};
};

TEST_P(WindowFitsTheDates, EveryColumnShowsWholeAndTheButtonsLineUpWithTheList) {
    const FitCase& c = GetParam();
    gui::MainWindow& window = catalogue.window;
    catalogue.LoadAndShow();
    QTreeWidget& list = window.lvFiles();
    const QAbstractItemView& view = list;  // where the size hints are public
    ASSERT_EQ(list.topLevelItemCount(), 2 * (1 + c.backups));
    QApplication::processEvents();

    EXPECT_FALSE(list.horizontalScrollBar()->isVisible()) << "no column is cut";
    const int space = list.fontMetrics().horizontalAdvance(QLatin1Char(' '));
    int used = 0;
    for (int col = 0; col < 4; ++col) {
        const int content = std::max(view.sizeHintForColumn(col), list.header()->sectionSizeHint(col));
        EXPECT_GE(list.columnWidth(col), content) << "column " << col;
        const int from = list.header()->sectionViewportPosition(col);
        EXPECT_GE(from, 0) << "column " << col;
        EXPECT_LE(from + list.header()->sectionSize(col), list.viewport()->width()) << "column " << col;
        used += list.columnWidth(col);
    }
    EXPECT_LE(used, list.viewport()->width());
    EXPECT_EQ(list.verticalScrollBar()->isVisible(), list.topLevelItemCount() > 8);

    const bool grew = list.width() > 505;
    if (c.grows >= 0) {
        EXPECT_EQ(grew, c.grows == 1) << list.width();
    }
    if (grew) {
        // Just enough: the date column has no more than the air autosizing leaves.
        EXPECT_LE(list.columnWidth(3), view.sizeHintForColumn(3) + 2 * space);
    } else {
        EXPECT_EQ(window.size(), QSize(535, 243));
    }

    // The twips margins and the button row, mirrored in a right-to-left window.
    const bool rtl = c.direction == Qt::RightToLeft;
    const QRect l = list.geometry();
    const QRect cancel = window.cmdCancel().geometry();
    EXPECT_EQ(l.height(), 185);
    EXPECT_EQ(l.y(), 16);
    EXPECT_EQ(rtl ? window.width() - l.right() - 1 : l.x(), 16);
    EXPECT_EQ(rtl ? l.x() : window.width() - l.right() - 1, 14);
    EXPECT_EQ(rtl ? cancel.x() : cancel.right(), rtl ? l.x() : l.right()) << "Cancel lines up with the list";
    EXPECT_EQ(window.cmdRestore().x() < window.cmdCancel().x(), !rtl);
    EXPECT_EQ(window.height(), 243);
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "still a fixed size";

    // The columns read from the leading edge.
    const QRect first = list.visualRect(list.model()->index(0, 0));
    const QRect last = list.visualRect(list.model()->index(0, 3));
    EXPECT_EQ(first.x() > last.x(), rtl);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, WindowFitsTheDates,
    ::testing::Values(FitCase{"C", "12/28/26 21:41:12", Qt::LeftToRight, 3, 0},
                      FitCase{"en_GB", "28/12/26 21:41:12", Qt::LeftToRight, 3, 0},
                      FitCase{"de_DE", "28.12.2026 21:41:12", Qt::LeftToRight, 3, 0},
                      FitCase{"en_US", "12/28/2026 09:41:12 PM", Qt::LeftToRight, 3, 1},
                      FitCase{"ar_EG", "28 ديس, 2026 UTC 09:41:12 م", Qt::RightToLeft, 3, 1},
                      FitCase{"he_IL", "28/12/26 21:41:12", Qt::RightToLeft, 3, 0},
                      // Twelve rows: the vertical scroll bar takes its room too.
                      FitCase{"en_US_TwelveRows", "12/28/2026 09:41:12 PM", Qt::LeftToRight, 5, 1},
                      FitCase{"C_TwelveRows", "12/28/26 21:41:12", Qt::LeftToRight, 5, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowDirection, AChangeOfDirectionAfterCreationMirrorsTheWindow) {
    Catalogue catalogue("12/28/26 21:41:12", Qt::LeftToRight, 3);
    gui::MainWindow& window = catalogue.window;
    ASSERT_EQ(window.cmdRestore().geometry(), QRect(248, 208, 81, 25));
    QApplication::setLayoutDirection(Qt::RightToLeft);  // as Qt's -reverse does
    EXPECT_EQ(window.lvFiles().geometry(), QRect(14, 16, 505, 185));
    EXPECT_EQ(window.cmdRestore().geometry(), QRect(206, 208, 81, 25));
    EXPECT_EQ(window.cmdMakeBlank().geometry(), QRect(110, 208, 81, 25));
    EXPECT_EQ(window.cmdCancel().geometry(), QRect(14, 208, 81, 25));
    EXPECT_EQ(window.size(), QSize(535, 243));
}

TEST(LayoutDirectionFor, RightToLeftForLanguagesWrittenSo) {
    const struct {
        const char* locale;
        Qt::LayoutDirection current, wanted;
    } cases[] = {
        {"ar_EG", Qt::LeftToRight, Qt::RightToLeft},  {"he_IL", Qt::LeftToRight, Qt::RightToLeft},
        {"fa_IR", Qt::LeftToRight, Qt::RightToLeft},  {"en_US", Qt::LeftToRight, Qt::LeftToRight},
        {"de_DE", Qt::LeftToRight, Qt::LeftToRight},  {"ja_JP", Qt::LeftToRight, Qt::LeftToRight},
        {"C", Qt::LeftToRight, Qt::LeftToRight},
        {"en_US", Qt::RightToLeft, Qt::RightToLeft},  // -reverse is kept
    };
    for (const auto& c : cases)
        EXPECT_EQ(gui::LayoutDirectionFor(QLocale(QString::fromLatin1(c.locale)), c.current), c.wanted) << c.locale;
}

// Alt+R and Alt+B start the commands, as a click would: their warnings come
// up (and No ends them); a disabled command does not start.
TEST(CommandMnemonics, AltRRestoresAndAltBCreatesBlankWhenEnabled) {
    Catalogue catalogue("12/28/26 21:41:12", Qt::LeftToRight, 1);
    gui::MainWindow& window = catalogue.window;
    catalogue.LoadAndShow();
    EXPECT_EQ(window.cmdRestore().text(), "&Restore");
    EXPECT_EQ(window.cmdMakeBlank().text(), "Create &Blank");
    EXPECT_EQ(window.cmdCancel().text(), "Cancel") << "Cancel has Esc";
    auto& shown = catalogue.world.msgbox.shown;
    catalogue.world.msgbox.Answer({ports::vbNo, ports::vbNo});

    // A mnemonic presses the button at once and clicks it a moment later.
    QSignalSpy restoreClicked(&window.cmdRestore(), &QPushButton::clicked);
    QSignalSpy blankClicked(&window.cmdMakeBlank(), &QPushButton::clicked);
    ASSERT_FALSE(window.cmdRestore().isEnabled()) << "the first row is a live database";
    QTest::keyClick(&window.lvFiles(), Qt::Key_R, Qt::AltModifier);
    EXPECT_FALSE(window.cmdRestore().isDown());
    QTest::keyClick(&window.lvFiles(), Qt::Key_B, Qt::AltModifier);
    ASSERT_TRUE(blankClicked.wait(5000));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].prompt.find("erase all of the data"), std::string::npos) << shown[0].prompt;

    QTest::keyClick(&window.lvFiles(), Qt::Key_Down);  // Backup 1 (Business)
    ASSERT_TRUE(window.cmdRestore().isEnabled());
    QTest::keyClick(&window.lvFiles(), Qt::Key_R, Qt::AltModifier);
    ASSERT_TRUE(restoreClicked.wait(5000));
    EXPECT_EQ(restoreClicked.count(), 1) << "the disabled Restore was not clicked before";
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].title, "Restore Warning");
    EXPECT_EQ(shown[1].prompt.find("erase all of the data"), std::string::npos) << "Restore's own warning";
    EXPECT_TRUE(catalogue.world.files.log.empty()) << "No changed nothing";
}

}  // namespace
