#include "gui/listview_qt.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <algorithm>

#include "gui/listview_accessible.h"
#include "vb/error.h"

namespace gui {

namespace {

constexpr int kTagRole = Qt::UserRole;

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

// What the list-view control raises for an item or sub-item it does not have.
vb::Error IndexOutOfBounds() { return vb::Error(35600, "Index out of bounds"); }

// A cell's text runs in the direction of its first letter (a text without
// one, such as "28/12/26 21:41:12", in the window's), and stands at the
// cell's leading edge in the window's direction whichever way it runs.
// Drawn in the window's direction alone, "12/28/2026 09:41:12 PM" would
// read "PM 09:41:12 12/28/2026" in a mirrored window, and an Arabic date
// in a left-to-right one would be reversed.
class FirstLetterDirection : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const Qt::LayoutDirection window = option->direction;
        for (const QChar c : std::as_const(option->text)) {
            const QChar::Direction d = c.direction();
            if (d == QChar::DirL) option->direction = Qt::LeftToRight;
            else if (d == QChar::DirR || d == QChar::DirAL) option->direction = Qt::RightToLeft;
            else continue;
            break;
        }
        const Qt::Alignment horizontal = option->displayAlignment & Qt::AlignHorizontal_Mask;
        option->displayAlignment = (option->displayAlignment & ~Qt::AlignHorizontal_Mask) | Qt::AlignAbsolute |
                                   QStyle::visualAlignment(window, horizontal ? horizontal : Qt::AlignLeft);
    }
};

}  // namespace

QtListView::QtListView(QWidget* parent) : QTreeWidget(parent) {
    InstallListViewAccessibility();
    // Report view: a flat list of rows under one header row, no tree lines,
    // whole rows selected, one at a time; no in-place editing.
    setColumnCount(0);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header()->setVisible(true);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(false);
    // AutosizeColumn gives the last column the rest of the width when it is
    // sized; a header that stretched it by itself would also squeeze it
    // below its contents.
    header()->setStretchLastSection(false);
    setItemDelegate(new FirstLetterDirection(this));

    // However rows come and go, the description follows.
    rowWatch_ = {
        connect(model(), &QAbstractItemModel::rowsInserted, this, &QtListView::UpdateDescription),
        connect(model(), &QAbstractItemModel::rowsRemoved, this, &QtListView::UpdateDescription),
        connect(model(), &QAbstractItemModel::modelReset, this, &QtListView::UpdateDescription),
    };
}

// The tree widget empties its model while it is destroyed, when this part of
// it is gone already: nothing may follow the rows any more by then.
QtListView::~QtListView() {
    for (const QMetaObject::Connection& connection : rowWatch_) disconnect(connection);
}

void QtListView::SetDescription(const QString& text) {
    description_ = text;
    UpdateDescription();
}

void QtListView::SetEmptyText(const QString& text) {
    emptyText_ = text;
    UpdateDescription();
    viewport()->update();
}

void QtListView::UpdateDescription() {
    const QString& wanted = topLevelItemCount() == 0 && !emptyText_.isEmpty() ? emptyText_ : description_;
    if (accessibleDescription() != wanted) setAccessibleDescription(wanted);
}

QTreeWidgetItem* QtListView::Row(int Index) const {
    if (Index < 1 || Index > topLevelItemCount()) throw IndexOutOfBounds();
    return topLevelItem(Index - 1);
}

void QtListView::ClearItems() { clear(); }

int QtListView::AddColumnHeader(const std::string& Text) {
    const int count = columnCount() + 1;
    setColumnCount(count);
    headerItem()->setText(count - 1, ToQt(Text));
    return count;
}

int QtListView::ColumnHeaderCount() { return columnCount(); }

std::string QtListView::ColumnHeaderText(int Index) {
    if (Index < 1 || Index > columnCount()) throw IndexOutOfBounds();
    return headerItem()->text(Index - 1).toStdString();
}

int QtListView::AddItem(const std::string& Text) {
    auto* item = new QTreeWidgetItem(this, QStringList{ToQt(Text)});
    // The first row of a list that was empty becomes the selected row, as
    // the list-view control does it. No userSelected(): the user did nothing.
    if (topLevelItemCount() == 1)
        setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return topLevelItemCount();
}

int QtListView::ItemCount() { return topLevelItemCount(); }

std::string QtListView::ItemText(int Index) { return Row(Index)->text(0).toStdString(); }

std::string QtListView::SubItem(int Index, int Sub) {
    QTreeWidgetItem* row = Row(Index);
    if (Sub < 1 || Sub > 3) throw IndexOutOfBounds();
    return row->text(Sub).toStdString();
}

void QtListView::SetSubItem(int Index, int Sub, const std::string& Text) {
    QTreeWidgetItem* row = Row(Index);
    if (Sub < 1 || Sub > 3) throw IndexOutOfBounds();
    row->setText(Sub, ToQt(Text));
}

std::string QtListView::Tag(int Index) {
    return Row(Index)->data(0, kTagRole).toString().toStdString();
}

void QtListView::SetTag(int Index, const std::string& Text) {
    Row(Index)->setData(0, kTagRole, ToQt(Text));
}

int QtListView::SelectedIndex() {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (selected.isEmpty()) return 0;
    return indexOfTopLevelItem(selected.first()) + 1;
}

void QtListView::AutosizeColumn(int Column) {
    if (Column < 0 || Column >= columnCount()) throw IndexOutOfBounds();
    // A little air on either side, as the list-view control leaves.
    const int padding = fontMetrics().horizontalAdvance(QLatin1Char(' '));
    int width = std::max(sizeHintForColumn(Column), header()->sectionSizeHint(Column)) + 2 * padding;
    if (Column == columnCount() - 1) {
        int others = 0;
        for (int c = 0; c < Column; ++c) others += columnWidth(c);
        // Reckoned from the list's own width, which a hidden list (as at
        // discovery) knows before its viewport does.
        const int needed = others + width + Chrome();
        if (needed > this->width()) emit needsWidth(needed);
        width = std::max(width, this->width() - Chrome() - others);
    }
    setColumnWidth(Column, width);
}

int QtListView::Chrome() const {
    int chrome = 2 * frameWidth();
    const int rows = topLevelItemCount();
    const int rowsArea = height() - 2 * frameWidth() - (header()->isHidden() ? 0 : header()->sizeHint().height());
    if (rows == 0 || rows * sizeHintForRow(0) <= rowsArea || verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff ||
        style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, verticalScrollBar()))
        return chrome;
    chrome += verticalScrollBar()->sizeHint().width();
    QStyleOption option;
    option.initFrom(this);
    if (style()->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, &option, this))
        chrome += style()->pixelMetric(QStyle::PM_ScrollView_ScrollBarSpacing, &option, this);
    return chrome;
}

// A click is a press and a release in the list. The row selected at the
// press is kept so that the release can tell whether the user moved the
// selection (with any button, or by dragging) as well as clicked.
void QtListView::mousePressEvent(QMouseEvent* event) {
    if (event->buttons() == event->button()) selectedAtPress_ = SelectedIndex();
    QTreeWidget::mousePressEvent(event);
}

void QtListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    const bool moved = SelectedIndex() != selectedAtPress_;
    selectedAtPress_ = SelectedIndex();
    if (event->button() == Qt::LeftButton || moved) emit userSelected();
}

void QtListView::keyPressEvent(QKeyEvent* event) {
    const int before = SelectedIndex();
    QTreeWidget::keyPressEvent(event);
    if (SelectedIndex() != before) emit userSelected();
}

// The empty text, centred in the empty area in the desktop's ordinary font
// and the list's text colour; long paths break where they must.
void QtListView::paintEvent(QPaintEvent* event) {
    QTreeWidget::paintEvent(event);
    if (topLevelItemCount() != 0 || emptyText_.isEmpty()) return;
    QPainter painter(viewport());
    QFont font = QApplication::font();
    font.setResolveMask(QFont::AllPropertiesResolved);  // not the list's bold face
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::Text));
    QTextOption option(Qt::AlignCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const int margin = painter.fontMetrics().height();
    painter.drawText(QRectF(viewport()->rect().adjusted(margin, margin, -margin, -margin)), emptyText_, option);
}

// Exactly one row stays selected while there are rows: a click beside the
// rows, Ctrl+click or Ctrl+Space on the selected row keep the selection.
QItemSelectionModel::SelectionFlags QtListView::selectionCommand(const QModelIndex& index,
                                                                 const QEvent* event) const {
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags flags = QTreeWidget::selectionCommand(index, event);
    if (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::NoUpdate;
    return flags;
}

}  // namespace gui
