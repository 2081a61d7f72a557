// The fake list view: rows, columns and the selection, in memory.
#include "fakes/fakes.h"

namespace fakes {

FakeListView::Item& FakeListView::At(int index) {
    if (index < 1 || index > static_cast<int>(items.size()))
        throw vb::Error(35600, "Index out of bounds");
    return items[static_cast<size_t>(index) - 1];
}

void FakeListView::ClearItems() {
    failures.Check("ClearItems");
    items.clear();
    selected = 0;
}
int FakeListView::AddColumnHeader(const std::string& Text) {
    failures.Check("AddColumnHeader");
    headers.push_back(Text);
    return static_cast<int>(headers.size());
}
int FakeListView::ColumnHeaderCount() {
    failures.Check("ColumnHeaderCount");
    return static_cast<int>(headers.size());
}
std::string FakeListView::ColumnHeaderText(int Index) {
    failures.Check("ColumnHeaderText");
    if (Index < 1 || Index > static_cast<int>(headers.size())) throw vb::Error(35600, "Index out of bounds");
    return headers[static_cast<size_t>(Index) - 1];
}
int FakeListView::AddItem(const std::string& Text) {
    failures.Check("AddItem");
    items.push_back({Text, {}, {}});
    // The list selects its first row by itself once it has been refilled.
    if (items.size() == 1) selected = 1;
    return static_cast<int>(items.size());
}
int FakeListView::ItemCount() {
    failures.Check("ItemCount");
    return static_cast<int>(items.size());
}
std::string FakeListView::ItemText(int Index) {
    failures.Check("ItemText");
    return At(Index).text;
}
std::string FakeListView::SubItem(int Index, int Sub) {
    failures.Check("SubItem");
    return At(Index).sub[Sub];
}
void FakeListView::SetSubItem(int Index, int Sub, const std::string& Text) {
    failures.Check("SetSubItem");
    At(Index).sub[Sub] = Text;
}
std::string FakeListView::Tag(int Index) {
    failures.Check("Tag");
    return At(Index).tag;
}
void FakeListView::SetTag(int Index, const std::string& Text) {
    failures.Check("SetTag");
    At(Index).tag = Text;
}
int FakeListView::SelectedIndex() {
    failures.Check("SelectedIndex");
    return selected;
}
void FakeListView::AutosizeColumn(int Column) {
    failures.Check("AutosizeColumn");
    autosized.push_back(Column);
}

}  // namespace fakes
