// The catalogue list as a Qt widget: a QTreeWidget in report view (header
// row, flat rows, one selected row) that is also the ports::ListView the
// procedures fill and read.
//
// Two behaviours of the list-view control the procedures rely on are made
// here: when a row is added to an empty list that row becomes the selected
// row (so a list emptied and filled again has its first row selected without
// anyone selecting it), and the last column takes the rest of the width when
// it is sized; where the columns need more than the list's width, it asks
// for that width (needsWidth) rather than showing a horizontal scroll bar.
// Changes of the selected row that the user makes, by mouse or
// keyboard, are announced with userSelected(); changes the program makes are
// not, so no procedure runs twice.
//
// While the list has no rows it shows a text in its empty area (not a row:
// nothing can select it), and screen readers get that text as the list's
// description. Screen readers see the list as a table with column headers
// (listview_accessible.h). Each cell's text runs in the direction of its
// first letter, so a date in another script than the window's stays
// readable in a mirrored window and the other way round.
#pragma once

#include <QTreeWidget>
#include <vector>

#include "ports/listview.h"

namespace gui {

class QtListView : public QTreeWidget, public ports::ListView {
    Q_OBJECT

public:
    explicit QtListView(QWidget* parent = nullptr);
    ~QtListView() override;

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

    // The accessible description of the list while it has rows.
    void SetDescription(const QString& text);
    // The text shown, and given as the accessible description, while the
    // list has no rows; none when empty.
    void SetEmptyText(const QString& text);
    const QString& EmptyText() const { return emptyText_; }

signals:
    // The user clicked in the list, or changed the selected row by mouse or
    // keyboard. Not raised for selections the program makes.
    void userSelected();
    // Autosizing found that every column shows whole only in a list `width`
    // pixels wide (frame and vertical scroll bar included), more than it is.
    // Whoever places the list may widen it before the signal returns.
    void needsWidth(int width);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

private:
    QTreeWidgetItem* Row(int Index) const;  // throws for an index without a row
    // Gives the description that fits whether the list has rows.
    void UpdateDescription();
    // What the frame and, when the rows need it, the vertical scroll bar
    // take of the list's width.
    int Chrome() const;

    bool pressed_ = false;       // a mouse button went down inside the list
    int selectedAtPress_ = 0;    // the selected row when it did
    QString description_;
    QString emptyText_;
    std::vector<QMetaObject::Connection> rowWatch_;  // model signals to UpdateDescription
};

}  // namespace gui
