// A report-view list built on QTableWidget, as the ports::ListView that
// the Previous Versions dialog is filled through. Screen readers meet it as
// a table (its cells and column headers), which is what it is.
//
// It behaves as the catalogue's list does: rows keep the order they were
// added in, the first row added to an empty list becomes the selected row,
// exactly one row stays selected while there are rows, the last column
// takes the rest of the width when it is sized, and nothing is edited in
// place. Tab leaves the list instead of moving from cell to cell.
#pragma once

#include <QTableWidget>

#include "ports/listview.h"

namespace gui {

class QtTableList : public QTableWidget, public ports::ListView {
    Q_OBJECT

public:
    explicit QtTableList(QWidget* parent = nullptr);

    void ClearItems() override;
    int AddColumnHeader(const std::string& Text) override;
    int ColumnHeaderCount() override;
    std::string ColumnHeaderText(int Index) override;

    int AddItem(const std::string& Text) override;
    int ItemCount() override;
    std::string ItemText(int Index) override;
    std::string SubItem(int Index, int Sub) override;
    void SetSubItem(int Index, int Sub, const std::string& Text) override;
    std::string Tag(int Index) override;
    void SetTag(int Index, const std::string& Text) override;

    int SelectedIndex() override;
    void AutosizeColumn(int Column) override;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

private:
    QTableWidgetItem* Cell(int Index, int Column) const;  // throws for a cell the list does not have
};

}  // namespace gui
