// The report-view list the catalogue lives in, and the push buttons whose
// enabled flags follow its selected row.
// In production: QtListView and QtButton (gui/listview_qt.h, gui/button_qt.h).
// In tests: FakeListView and FakeButton (tests/fakes/fakes.h).
//
// Rows keep the order they were added in; item indexes are one-based,
// column indexes for sizing zero-based. A row has a text (first column),
// sub-items 1 to 3 and a Tag that is not shown.
#pragma once

#include <string>

namespace ports {

class ListView {
public:
    virtual ~ListView() = default;

    virtual void ClearItems() = 0;
    virtual int AddColumnHeader(const std::string& Text) = 0;  // returns the new count
    virtual int ColumnHeaderCount() = 0;
    virtual std::string ColumnHeaderText(int Index) = 0;       // one-based

    virtual int AddItem(const std::string& Text) = 0;          // returns its index
    virtual int ItemCount() = 0;
    virtual std::string ItemText(int Index) = 0;
    virtual std::string SubItem(int Index, int Sub) = 0;       // Sub 1..3
    virtual void SetSubItem(int Index, int Sub, const std::string& Text) = 0;
    virtual std::string Tag(int Index) = 0;
    virtual void SetTag(int Index, const std::string& Text) = 0;

    // Index of the selected row, 0 when no row is selected. After the list
    // has been emptied and filled again the list selects its first row itself.
    virtual int SelectedIndex() = 0;

    // Sizes a column to the wider of its header and its widest cell; the
    // last column also takes the rest of the control's width.
    virtual void AutosizeColumn(int Column) = 0;
};

class Button {
public:
    virtual ~Button() = default;
    virtual bool Enabled() = 0;
    virtual void SetEnabled(bool Enabled) = 0;
};

}  // namespace ports
