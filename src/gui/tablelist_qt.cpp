#include "gui/tablelist_qt.h"

#include <QHeaderView>
#include <algorithm>

#include "vb/error.h"

namespace gui {

namespace {

constexpr int kTagRole = Qt::UserRole;

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

// What the list-view control raises for an item or sub-item it does not have.
vb::Error IndexOutOfBounds() { return vb::Error(35600, "Index out of bounds"); }

}  // namespace

QtTableList::QtTableList(QWidget* parent) : QTableWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    setSortingEnabled(false);
    setCornerButtonEnabled(false);
    verticalHeader()->setVisible(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

QTableWidgetItem* QtTableList::Cell(int Index, int Column) const {
    if (Index < 1 || Index > rowCount() || Column < 0 || Column >= columnCount()) throw IndexOutOfBounds();
    return item(Index - 1, Column);
}

void QtTableList::ClearItems() { setRowCount(0); }

int QtTableList::AddColumnHeader(const std::string& Text) {
    const int count = columnCount() + 1;
    setColumnCount(count);
    setHorizontalHeaderItem(count - 1, new QTableWidgetItem(ToQt(Text)));
    // Every row has a cell in every column, so that each can be read out.
    for (int row = 0; row < rowCount(); ++row) setItem(row, count - 1, new QTableWidgetItem);
    return count;
}

int QtTableList::ColumnHeaderCount() { return columnCount(); }

std::string QtTableList::ColumnHeaderText(int Index) {
    if (Index < 1 || Index > columnCount()) throw IndexOutOfBounds();
    return horizontalHeaderItem(Index - 1)->text().toStdString();
}

int QtTableList::AddItem(const std::string& Text) {
    const int row = rowCount();
    insertRow(row);
    setItem(row, 0, new QTableWidgetItem(ToQt(Text)));
    for (int column = 1; column < columnCount(); ++column) setItem(row, column, new QTableWidgetItem);
    // The first row of a list that was empty becomes the selected row.
    if (row == 0) setCurrentCell(0, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return rowCount();
}

int QtTableList::ItemCount() { return rowCount(); }

std::string QtTableList::ItemText(int Index) { return Cell(Index, 0)->text().toStdString(); }

std::string QtTableList::SubItem(int Index, int Sub) {
    if (Sub < 1) throw IndexOutOfBounds();  // Cell: a column the list has
    return Cell(Index, Sub)->text().toStdString();
}

void QtTableList::SetSubItem(int Index, int Sub, const std::string& Text) {
    if (Sub < 1) throw IndexOutOfBounds();  // Cell: a column the list has
    Cell(Index, Sub)->setText(ToQt(Text));
}

std::string QtTableList::Tag(int Index) { return Cell(Index, 0)->data(kTagRole).toString().toStdString(); }

void QtTableList::SetTag(int Index, const std::string& Text) { Cell(Index, 0)->setData(kTagRole, ToQt(Text)); }

int QtTableList::SelectedIndex() {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

void QtTableList::AutosizeColumn(int Column) {
    if (Column < 0 || Column >= columnCount()) throw IndexOutOfBounds();
    const int padding = fontMetrics().horizontalAdvance(QLatin1Char(' '));
    int width = std::max(sizeHintForColumn(Column), horizontalHeader()->sectionSizeHint(Column)) + 2 * padding;
    if (Column == columnCount() - 1) {
        int others = 0;
        for (int c = 0; c < Column; ++c) others += columnWidth(c);
        width = std::max(width, viewport()->width() - others);
    }
    setColumnWidth(Column, width);
}

// Exactly one row stays selected while there are rows.
QItemSelectionModel::SelectionFlags QtTableList::selectionCommand(const QModelIndex& index,
                                                                  const QEvent* event) const {
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags flags = QTableWidget::selectionCommand(index, event);
    if (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)) return QItemSelectionModel::NoUpdate;
    return flags;
}

}  // namespace gui
