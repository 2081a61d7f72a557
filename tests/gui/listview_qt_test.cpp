// The Qt list view: what the procedures store and read back, the selection
// the list makes by itself, which user actions announce a change, and the
// sizing of columns.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QAccessible>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include "gui/listview_qt.h"
#include "vb/error.h"

namespace {

class QtListViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.resize(500, 200);
        for (const char* header : {"Database", "Version", "Records", "FileDate"})
            list.AddColumnHeader(header);
        list.show();
    }

    void Fill(int rows) {
        list.ClearItems();
        for (int i = 1; i <= rows; ++i) {
            const int index = list.AddItem(i == 1 ? "(Current)" : "Backup " + std::to_string(i - 1));
            list.SetSubItem(index, 1, "Business");
            list.SetTag(index, "C:\\data\\" + std::to_string(i));
        }
    }

    QPoint RowCentre(int index) {
        return list.visualItemRect(list.topLevelItem(index - 1)).center();
    }
    void Click(int index, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(list.viewport(), button, modifiers, RowCentre(index));
    }

    gui::QtListView list;
};

TEST_F(QtListViewTest, KeepsRowsInOrderWithTheirSubItemsAndTags) {
    EXPECT_EQ(list.ColumnHeaderCount(), 4);
    EXPECT_EQ(list.ColumnHeaderText(1), "Database");
    EXPECT_EQ(list.ColumnHeaderText(4), "FileDate");

    EXPECT_EQ(list.AddItem("(Current)"), 1);
    EXPECT_EQ(list.AddItem("Backup 3"), 2);
    list.SetSubItem(2, 1, "Personal");
    list.SetSubItem(2, 2, "12,345");
    list.SetSubItem(2, 3, "2026-01-02 03:04:05");
    list.SetTag(2, "C:\\users\\ä\\Backup3.rv");

    EXPECT_EQ(list.ItemCount(), 2);
    EXPECT_EQ(list.ItemText(2), "Backup 3");
    EXPECT_EQ(list.SubItem(2, 1), "Personal");
    EXPECT_EQ(list.SubItem(2, 2), "12,345");
    EXPECT_EQ(list.SubItem(2, 3), "2026-01-02 03:04:05");
    EXPECT_EQ(list.Tag(2), "C:\\users\\ä\\Backup3.rv");
    EXPECT_EQ(list.Tag(1), "");
    // The Tag is not shown in any column.
    for (int c = 0; c < list.columnCount(); ++c)
        EXPECT_NE(list.topLevelItem(1)->text(c).toStdString(), "C:\\users\\ä\\Backup3.rv");
}

TEST_F(QtListViewTest, RowsAndColumnsThatDoNotExistFailWithIndexOutOfBounds) {
    Fill(2);
    auto failsWith35600 = [](auto call) {
        try {
            call();
        } catch (const vb::Error& e) {
            return e.Number() == 35600;
        }
        return false;
    };
    EXPECT_TRUE(failsWith35600([&] { list.ItemText(0); }));
    EXPECT_TRUE(failsWith35600([&] { list.Tag(3); }));
    EXPECT_TRUE(failsWith35600([&] { list.SetTag(-1, "x"); }));
    EXPECT_TRUE(failsWith35600([&] { list.SubItem(1, 4); }));
    EXPECT_TRUE(failsWith35600([&] { list.SetSubItem(1, 0, "x"); }));
    EXPECT_TRUE(failsWith35600([&] { list.ColumnHeaderText(5); }));
    EXPECT_TRUE(failsWith35600([&] { list.AutosizeColumn(4); }));
}

TEST_F(QtListViewTest, SelectsTheFirstRowOfARefilledListWithoutAnnouncingIt) {
    QSignalSpy announced(&list, &gui::QtListView::userSelected);
    EXPECT_EQ(list.SelectedIndex(), 0);

    Fill(3);
    EXPECT_EQ(list.SelectedIndex(), 1);

    Click(3);
    ASSERT_EQ(list.SelectedIndex(), 3);
    announced.clear();

    list.ClearItems();
    EXPECT_EQ(list.SelectedIndex(), 0);
    Fill(2);
    EXPECT_EQ(list.SelectedIndex(), 1);
    EXPECT_EQ(announced.count(), 0);
}

TEST_F(QtListViewTest, AnnouncesEveryClickAndEveryKeyboardChangeOfTheSelectedRow) {
    Fill(3);
    QSignalSpy announced(&list, &gui::QtListView::userSelected);

    Click(2);
    EXPECT_EQ(list.SelectedIndex(), 2);
    EXPECT_EQ(announced.count(), 1);

    Click(2);  // a click on the selected row is still a click
    EXPECT_EQ(announced.count(), 2);

    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(list.SelectedIndex(), 3);
    EXPECT_EQ(announced.count(), 3);

    QTest::keyClick(&list, Qt::Key_Down);  // already on the last row
    EXPECT_EQ(announced.count(), 3);

    QTest::keyClick(&list, Qt::Key_Home);
    EXPECT_EQ(list.SelectedIndex(), 1);
    EXPECT_EQ(announced.count(), 4);

    // A right click moves the selection too; the buttons must follow it.
    Click(3, Qt::RightButton);
    EXPECT_EQ(list.SelectedIndex(), 3);
    EXPECT_EQ(announced.count(), 5);

    // A click on the header is not a click in the list.
    QTest::mouseClick(list.header()->viewport(), Qt::LeftButton, {}, QPoint(10, 5));
    EXPECT_EQ(announced.count(), 5);
}

TEST_F(QtListViewTest, OneRowStaysSelected) {
    Fill(2);
    Click(2);

    // Beside the rows.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(20, list.viewport()->height() - 5));
    EXPECT_EQ(list.SelectedIndex(), 2);

    Click(2, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(list.SelectedIndex(), 2);

    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(list.SelectedIndex(), 2);
    EXPECT_EQ(list.selectedItems().size(), 1);
}

TEST_F(QtListViewTest, AutosizedColumnsFitHeaderAndCellsAndTheLastTakesTheRest) {
    Fill(2);
    const QString longCell = QStringLiteral("A rather long edition label to fit");
    list.SetSubItem(2, 1, longCell.toStdString());
    for (int c = 0; c < 4; ++c) list.AutosizeColumn(c);

    const QFontMetrics cells(list.font());
    const QFontMetrics headers(list.header()->font());
    EXPECT_GE(list.columnWidth(1), cells.horizontalAdvance(longCell));
    // "Records" and "FileDate" headers are wider than the empty cells below them.
    EXPECT_GE(list.columnWidth(2), headers.horizontalAdvance(QStringLiteral("Records")));
    EXPECT_LT(list.columnWidth(2), list.columnWidth(1));
    const int used = list.columnWidth(0) + list.columnWidth(1) + list.columnWidth(2);
    EXPECT_EQ(list.columnWidth(3), list.viewport()->width() - used);

    // A last column wider than what is left keeps its contents' width.
    const QString longDate = QString(80, QLatin1Char('9'));
    list.SetSubItem(1, 3, longDate.toStdString());
    list.AutosizeColumn(3);
    EXPECT_GE(list.columnWidth(3), cells.horizontalAdvance(longDate));
}

TEST_F(QtListViewTest, AnEmptyListShowsItsTextAndScreenReadersReadIt) {
    const QString rows = QStringLiteral("Live databases and backups");
    const QString empty = QStringLiteral("Nothing was found in /home/ann/.wine.");
    list.SetDescription(rows);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&list);
    ASSERT_NE(accessible, nullptr);
    list.ClearItems();
    const QImage blank = list.grab().toImage();

    list.SetEmptyText(empty);
    EXPECT_EQ(accessible->text(QAccessible::Description), empty);
    EXPECT_NE(list.grab().toImage(), blank) << "the text is drawn in the empty area";
    // Not a row: nothing to count, select or read as a cell.
    EXPECT_EQ(list.ItemCount(), 0);
    EXPECT_EQ(list.SelectedIndex(), 0);
    ASSERT_NE(accessible->tableInterface(), nullptr);
    EXPECT_EQ(accessible->tableInterface()->rowCount(), 0);

    Fill(2);
    EXPECT_EQ(accessible->text(QAccessible::Description), rows);
    EXPECT_EQ(list.SelectedIndex(), 1);
    list.ClearItems();
    EXPECT_EQ(accessible->text(QAccessible::Description), empty);
    list.SetEmptyText(QString());
    EXPECT_EQ(accessible->text(QAccessible::Description), rows);
    EXPECT_EQ(list.grab().toImage(), blank) << "without a text the empty list is blank again";
}

}  // namespace
