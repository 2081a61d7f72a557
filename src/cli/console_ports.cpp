#include "cli/console_ports.h"

#include <algorithm>
#include <cctype>

#include "vb/error.h"

namespace cli {

void ConsoleListView::ClearItems() {
    rows_.clear();
    selected_ = 0;
}

int ConsoleListView::AddColumnHeader(const std::string& Text) {
    headers_.push_back(Text);
    return ColumnHeaderCount();
}

std::string ConsoleListView::ColumnHeaderText(int Index) {
    if (Index < 1 || Index > ColumnHeaderCount()) throw vb::Error(35600, "Index out of bounds");
    return headers_[Index - 1];
}

int ConsoleListView::AddItem(const std::string& Text) {
    rows_.push_back({Text, {}, {}});
    // The list selects its first row itself, as the window's does.
    if (selected_ == 0) selected_ = 1;
    return ItemCount();
}

ConsoleListView::Row& ConsoleListView::At(int Index) {
    if (Index < 1 || Index > ItemCount()) throw vb::Error(35600, "Index out of bounds");
    return rows_[Index - 1];
}

std::string ConsoleListView::ItemText(int Index) { return At(Index).text; }

std::string ConsoleListView::SubItem(int Index, int Sub) {
    if (Sub < 1 || Sub > 3) throw vb::Error(380, "Invalid property value");
    return At(Index).subItems[Sub - 1];
}

void ConsoleListView::SetSubItem(int Index, int Sub, const std::string& Text) {
    if (Sub < 1 || Sub > 3) throw vb::Error(380, "Invalid property value");
    At(Index).subItems[Sub - 1] = Text;
}

std::string ConsoleListView::Tag(int Index) { return At(Index).tag; }

void ConsoleListView::SetTag(int Index, const std::string& Text) { At(Index).tag = Text; }

std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        const bool blank = c == '\r' || c == '\n' || c == '\t' || c == ' ';
        if (blank && (line.empty() || line.back() == ' ')) continue;
        line += blank ? ' ' : c;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

ConsoleMessageBox::ConsoleMessageBox(bool consented,
                                     std::function<bool(const std::string&, std::string&)> ask,
                                     std::vector<std::string> succeeded, std::FILE* err)
    : consented_(consented), ask_(std::move(ask)), succeeded_(std::move(succeeded)), err_(err) {}

void ConsoleMessageBox::Record(Outcome outcome) {
    // The worst of what happened stands: a later success does not hide a failure.
    if (static_cast<int>(outcome) > static_cast<int>(outcome_)) outcome_ = outcome;
}

void ConsoleMessageBox::Tell(const std::string& text) {
    std::fprintf(err_, "%s\n", OneLine(text).c_str());
    std::fflush(err_);
}

int ConsoleMessageBox::Show(const std::string& Prompt, int Buttons, const std::string& Title) {
    switch (Buttons) {
        case ports::vbYesNo: {
            if (consented_) return ports::vbYes;
            // Only a typed "y" or "yes" is consent; anything else, an empty
            // line, the end of input or no terminal at all mean No.
            std::string answer;
            const bool asked = ask_ && ask_(OneLine(Prompt) + " [y/N] ", answer);
            std::string word;
            for (char c : answer)
                if (!std::isspace(static_cast<unsigned char>(c))) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (asked && (word == "y" || word == "yes")) return ports::vbYes;
            Record(Outcome::Declined);
            return ports::vbNo;
        }
        case ports::vbRetryCancel:
            // The file-in-use dialog: a script tries again later (exit 75).
            Tell(Prompt);
            Record(Outcome::InUse);
            return ports::vbCancel;
        case ports::vbAbortRetryIgnore:
            // An error report: told as text, answered as Abort.
            Tell((Title.empty() ? std::string(ports::kAppTitle) : Title) + ": " + Prompt);
            Record(Outcome::Failed);
            return ports::vbAbort;
        default:
            Tell(Prompt);
            if (std::find(succeeded_.begin(), succeeded_.end(), Title) != succeeded_.end())
                Record(Outcome::Succeeded);
            else
                Record(Outcome::Failed);
            return ports::vbOK;
    }
}

}  // namespace cli
