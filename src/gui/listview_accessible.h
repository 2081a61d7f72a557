// The catalogue list as screen readers see it: a table (role Table) whose
// first row of children is the header row (role ColumnHeader, one per
// column) followed by one cell per column of each row (role Cell), with
// the table and table-cell interfaces that let a screen reader name a
// cell's column. Qt gives a QTreeWidget the same children but the role of
// a tree, which screen readers announce as one.
//
// The children are numbered as the tree view numbers them in the focus and
// selection events it sends: (row + 1) × columns + column, the header row
// first. Cells are made on demand, kept while they still stand where they
// were asked for, and given up when the rows change.
//
// The selection is not changed through this interface: the commands'
// buttons follow the selected row only as the user changes it with the
// mouse or the keyboard (QtListView::userSelected).
#pragma once

namespace gui {

// Gives every QtListView this interface; once is enough, more is harmless.
void InstallListViewAccessibility();

}  // namespace gui
