// The list as a screen reader sees it: a table with a header row, cells
// that name their column, stand where the list draws them and follow the
// selection and the focus, and stay right when the rows are filled again.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include "gui/listview_qt.h"

namespace {

class ListViewAccessibleTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.resize(500, 200);
        for (const char* header : {"Database", "Version", "Records", "FileDate"}) list.AddColumnHeader(header);
        Fill({"(Current)", "Backup 1", "Backup 3"});
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        table = QAccessible::queryAccessibleInterface(&list);
        ASSERT_NE(table, nullptr);
        ASSERT_NE(table->tableInterface(), nullptr);
    }

    void Fill(std::initializer_list<const char*> rows) {
        list.ClearItems();
        for (const char* row : rows) {
            const int index = list.AddItem(row);
            list.SetSubItem(index, 1, "Personal");
            list.SetSubItem(index, 3, std::string("date of ") + row);
        }
        for (int c = 0; c < 4; ++c) list.AutosizeColumn(c);
    }

    QRect CellRect(int row, int column) {
        const QRect r = list.visualRect(list.model()->index(row, column));
        return QRect(list.viewport()->mapToGlobal(r.topLeft()), r.size());
    }

    gui::QtListView list;
    QAccessibleInterface* table = nullptr;
};

TEST_F(ListViewAccessibleTest, IsATableWhoseFirstChildrenAreItsColumnHeaders) {
    EXPECT_EQ(table->role(), QAccessible::Table) << "not a tree";
    EXPECT_EQ(table->tableInterface()->rowCount(), 3);
    EXPECT_EQ(table->tableInterface()->columnCount(), 4);
    ASSERT_EQ(table->childCount(), (3 + 1) * 4);

    const QStringList headers{"Database", "Version", "Records", "FileDate"};
    const QRect listRect = table->rect();
    for (int c = 0; c < 4; ++c) {
        QAccessibleInterface* header = table->child(c);
        ASSERT_NE(header, nullptr) << c;
        EXPECT_EQ(header->role(), QAccessible::ColumnHeader) << c;
        EXPECT_EQ(header->text(QAccessible::Name), headers[c]);
        EXPECT_EQ(header->parent(), table);
        EXPECT_EQ(table->indexOfChild(header), c);
        EXPECT_TRUE(listRect.contains(header->rect())) << c;
        EXPECT_EQ(table->tableInterface()->columnDescription(c), headers[c]);
    }

    QAccessibleInterface* cell = table->tableInterface()->cellAt(1, 3);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell, table->child(2 * 4 + 3)) << "numbered as the view's events number it";
    EXPECT_EQ(table->indexOfChild(cell), 2 * 4 + 3);
    EXPECT_EQ(cell->role(), QAccessible::Cell);
    EXPECT_EQ(cell->text(QAccessible::Name), "date of Backup 1");
    EXPECT_EQ(cell->rect(), CellRect(1, 3));
    QAccessibleTableCellInterface* asCell = cell->tableCellInterface();
    ASSERT_NE(asCell, nullptr);
    EXPECT_EQ(asCell->rowIndex(), 1);
    EXPECT_EQ(asCell->columnIndex(), 3);
    EXPECT_EQ(asCell->table(), table);
    const QList<QAccessibleInterface*> columnHeader = asCell->columnHeaderCells();
    ASSERT_EQ(columnHeader.size(), 1);
    EXPECT_EQ(columnHeader.front()->text(QAccessible::Name), "FileDate");

    EXPECT_EQ(table->childAt(CellRect(2, 1).center().x(), CellRect(2, 1).center().y()),
              table->tableInterface()->cellAt(2, 1));
    const QRect firstHeader = table->child(0)->rect();
    EXPECT_EQ(table->childAt(firstHeader.center().x(), firstHeader.center().y()), table->child(0));
    EXPECT_EQ(table->child(-1), nullptr);
    EXPECT_EQ(table->child(table->childCount()), nullptr);
    EXPECT_EQ(table->tableInterface()->cellAt(3, 0), nullptr);
}

TEST_F(ListViewAccessibleTest, CellsFollowTheSelectionAndTheFocus) {
    QAccessibleTableInterface* t = table->tableInterface();
    EXPECT_EQ(t->selectedRows(), QList<int>{0});
    EXPECT_TRUE(t->cellAt(0, 2)->state().selected);
    EXPECT_FALSE(t->cellAt(1, 2)->state().selected);

    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(t->selectedRows(), QList<int>{1});
    EXPECT_TRUE(t->isRowSelected(1));
    EXPECT_EQ(t->selectedCellCount(), 4);
    EXPECT_TRUE(t->cellAt(1, 0)->state().selected);
    EXPECT_FALSE(t->cellAt(0, 0)->state().selected);
    ASSERT_TRUE(list.hasFocus());
    EXPECT_EQ(table->focusChild(), t->cellAt(1, 0));
    EXPECT_TRUE(t->cellAt(1, 0)->state().focused);
    EXPECT_FALSE(t->cellAt(1, 1)->state().focused) << "one cell has the focus";

    // A screen reader cannot move the selection behind the buttons' back.
    EXPECT_FALSE(t->selectRow(2));
    EXPECT_FALSE(t->unselectRow(1));
    EXPECT_EQ(list.SelectedIndex(), 2);
}

// The rows are emptied and filled again by every discovery; a cell asked
// for afterwards is the new row's, never the old one's.
TEST_F(ListViewAccessibleTest, CellsOfARefilledListAreTheNewRows) {
    QAccessibleInterface* before = table->tableInterface()->cellAt(1, 0);
    ASSERT_EQ(before->text(QAccessible::Name), "Backup 1");

    Fill({"(Current)", "Backup 2"});
    EXPECT_EQ(table->childCount(), 3 * 4);
    QAccessibleInterface* after = table->tableInterface()->cellAt(1, 0);
    ASSERT_NE(after, nullptr);
    EXPECT_TRUE(after->isValid());
    EXPECT_EQ(after->text(QAccessible::Name), "Backup 2");
    EXPECT_EQ(table->tableInterface()->cellAt(2, 0), nullptr);

    list.ClearItems();
    EXPECT_EQ(table->childCount(), 4) << "the header row stays";
    EXPECT_EQ(table->tableInterface()->rowCount(), 0);
}

TEST_F(ListViewAccessibleTest, MirroredColumnsAreReportedWhereTheyAreDrawn) {
    list.setLayoutDirection(Qt::RightToLeft);
    QApplication::processEvents();
    QAccessibleInterface* first = table->tableInterface()->cellAt(0, 0);
    QAccessibleInterface* last = table->tableInterface()->cellAt(0, 3);
    EXPECT_GT(first->rect().x(), last->rect().x());
    EXPECT_EQ(first->rect(), CellRect(0, 0));
    EXPECT_GT(table->child(0)->rect().x(), table->child(3)->rect().x());
    EXPECT_TRUE(table->rect().contains(table->child(0)->rect()));
}

}  // namespace
