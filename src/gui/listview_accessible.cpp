#include "gui/listview_accessible.h"

#include <QAccessibleWidget>
#include <QHeaderView>
#include <QPointer>
#include <QTreeView>
#include <map>

#include "gui/listview_qt.h"

namespace gui {

namespace {

QAccessibleInterface* TableOf(QTreeView* view) { return view ? QAccessible::queryAccessibleInterface(view) : nullptr; }

// A caption of the header row.
class HeaderCell : public QAccessibleInterface {
public:
    HeaderCell(QTreeView* view, int column) : view_(view), column_(column) {}

    int Column() const { return column_; }

    bool isValid() const override { return view_ && column_ < view_->model()->columnCount(); }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return TableOf(view_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !isValid()) return {};
        return view_->model()->headerData(column_, Qt::Horizontal).toString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid() || !view_->isVisible()) return {};
        const QHeaderView* header = view_->header();
        const QRect section(header->sectionViewportPosition(column_), 0, header->sectionSize(column_),
                            header->height());
        return QRect(header->viewport()->mapToGlobal(section.topLeft()), section.size());
    }
    QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid() || !view_->isVisible()) state.invisible = true;
        return state;
    }

private:
    QPointer<QTreeView> view_;
    int column_;
};

// One cell of a row.
class Cell : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    Cell(QTreeView* view, const QModelIndex& index) : view_(view), index_(index) {}

    bool isValid() const override { return view_ && index_.isValid(); }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return TableOf(view_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !isValid()) return {};
        return index_.data(Qt::DisplayRole).toString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid() || !view_->isVisible()) return {};
        const QRect cell = view_->visualRect(index_);
        return QRect(view_->viewport()->mapToGlobal(cell.topLeft()), cell.size());
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid() || !view_->isVisible()) {
            state.invisible = true;
            return state;
        }
        state.selectable = true;
        state.focusable = true;
        state.selected = isSelected();
        state.focused = view_->hasFocus() && view_->currentIndex() == index_;
        if (!view_->viewport()->rect().intersects(view_->visualRect(index_))) state.offscreen = true;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this) : nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override { return isValid() && view_->selectionModel()->isSelected(index_); }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        QAccessibleInterface* table = parent();
        QAccessibleInterface* header = table && isValid() ? table->child(index_.column()) : nullptr;
        return header ? QList<QAccessibleInterface*>{header} : QList<QAccessibleInterface*>{};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return index_.column(); }
    int rowIndex() const override { return index_.row(); }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QPointer<QTreeView> view_;
    QPersistentModelIndex index_;
};

class ListTable : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit ListTable(QTreeView* view) : QAccessibleWidget(view, QAccessible::Table) {}
    ~ListTable() override { Forget(); }

    QTreeView* View() const { return static_cast<QTreeView*>(widget()); }
    int Columns() const { return View()->model()->columnCount(); }
    int Rows() const { return View()->model()->rowCount(); }

    int childCount() const override { return (Rows() + 1) * Columns(); }

    QAccessibleInterface* child(int index) const override {
        const int columns = Columns();
        if (index < 0 || index >= childCount()) return nullptr;
        if (const auto kept = children_.find(index); kept != children_.end()) {
            QAccessibleInterface* iface = QAccessible::accessibleInterface(kept->second);
            if (iface && iface->isValid() && indexOfChild(iface) == index) return iface;
            if (iface) QAccessible::deleteAccessibleInterface(kept->second);
            children_.erase(kept);
        }
        QAccessibleInterface* made = nullptr;
        if (index < columns)
            made = new HeaderCell(View(), index);
        else
            made = new Cell(View(), View()->model()->index(index / columns - 1, index % columns));
        children_[index] = QAccessible::registerAccessibleInterface(made);
        return made;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) return -1;
        if (const auto* header = dynamic_cast<const HeaderCell*>(child))
            return header->isValid() && header->parent() == this ? header->Column() : -1;
        if (const auto* cell = dynamic_cast<const Cell*>(child))
            return cell->isValid() && cell->parent() == this
                       ? (cell->rowIndex() + 1) * Columns() + cell->columnIndex() : -1;
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint global(x, y);
        const QHeaderView* header = View()->header();
        const QPoint inHeader = header->viewport()->mapFromGlobal(global);
        if (header->isVisible() && header->viewport()->rect().contains(inHeader)) {
            const int column = header->logicalIndexAt(inHeader);
            return column >= 0 ? child(column) : nullptr;
        }
        const QModelIndex index = View()->indexAt(View()->viewport()->mapFromGlobal(global));
        return index.isValid() ? child((index.row() + 1) * Columns() + index.column()) : nullptr;
    }

    // The current cell, where the list has the focus.
    QAccessibleInterface* focusChild() const override {
        const QModelIndex current = View()->currentIndex();
        return View()->hasFocus() && current.isValid() ? cellAt(current.row(), current.column()) : nullptr;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        if (row < 0 || row >= Rows() || column < 0 || column >= Columns()) return nullptr;
        return child((row + 1) * Columns() + column);
    }
    int selectedCellCount() const override { return static_cast<int>(Selected().size()); }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> cells;
        for (const QModelIndex& index : Selected()) cells << cellAt(index.row(), index.column());
        return cells;
    }
    QString columnDescription(int column) const override {
        return View()->model()->headerData(column, Qt::Horizontal).toString();
    }
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return static_cast<int>(selectedRows().size()); }
    int columnCount() const override { return Columns(); }
    int rowCount() const override { return Rows(); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override {
        QList<int> rows;
        for (const QModelIndex& index : View()->selectionModel()->selectedRows()) rows << index.row();
        return rows;
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override { return View()->selectionModel()->isRowSelected(row, {}); }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override {
        if (event->modelChangeType() != QAccessibleTableModelChangeEvent::DataChanged) Forget();
    }

private:
    QModelIndexList Selected() const { return View()->selectionModel()->selectedIndexes(); }

    void Forget() {
        for (const auto& [index, id] : children_)
            if (QAccessible::accessibleInterface(id)) QAccessible::deleteAccessibleInterface(id);
        children_.clear();
    }

    mutable std::map<int, QAccessible::Id> children_;  // by child index
};

QAccessibleInterface* ListViewAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String(QtListView::staticMetaObject.className())) return nullptr;
    auto* view = qobject_cast<QTreeView*>(object);
    return view ? new ListTable(view) : nullptr;
}

}  // namespace

void InstallListViewAccessibility() {
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(ListViewAccessible);
        return true;
    }();
}

}  // namespace gui
