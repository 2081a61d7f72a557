// The list, buttons, message box and process of a run without a window, for
// the command line (console.h). The procedures run on them unchanged: the
// list keeps its rows in memory for printing, a question is answered from
// the consent given (--yes, or the user at a terminal), every other box is
// one line on stderr, and what each box said decides the exit status.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ports/listview.h"
#include "ports/msgbox.h"
#include "ports/process.h"

namespace cli {

class ConsoleListView : public ports::ListView {
public:
    void ClearItems() override;
    int AddColumnHeader(const std::string& Text) override;
    int ColumnHeaderCount() override { return static_cast<int>(headers_.size()); }
    std::string ColumnHeaderText(int Index) override;
    int AddItem(const std::string& Text) override;
    int ItemCount() override { return static_cast<int>(rows_.size()); }
    std::string ItemText(int Index) override;
    std::string SubItem(int Index, int Sub) override;
    void SetSubItem(int Index, int Sub, const std::string& Text) override;
    std::string Tag(int Index) override;
    void SetTag(int Index, const std::string& Text) override;
    int SelectedIndex() override { return selected_; }
    void AutosizeColumn(int) override {}

    // Selects row Index (one-based), as a click on it would.
    void Select(int Index) { selected_ = Index; }

private:
    struct Row {
        std::string text;
        std::string subItems[3];
        std::string tag;
    };
    Row& At(int Index);

    std::vector<std::string> headers_;
    std::vector<Row> rows_;
    int selected_ = 0;
};

class ConsoleButton : public ports::Button {
public:
    bool Enabled() override { return enabled_; }
    void SetEnabled(bool Enabled) override { enabled_ = Enabled; }

private:
    bool enabled_ = true;
};

class ConsoleMessageBox : public ports::MessageBox {
public:
    // What the boxes of a run added up to, worst last.
    enum class Outcome {
        Nothing,    // no box but questions answered Yes
        Succeeded,  // a command told it had finished
        Declined,   // a question was answered No: nothing was replaced
        Failed,     // a command told it failed, or an error report was answered Abort
        InUse,      // the live database is held open by another program
    };

    // consented: --yes was given, every question is answered Yes unasked.
    // ask: asks the user a question and returns the line typed (nullptr:
    // no terminal to ask on, which answers No). succeeded: the titles of the
    // boxes that tell a command finished.
    ConsoleMessageBox(bool consented, std::function<bool(const std::string& question, std::string& answer)> ask,
                      std::vector<std::string> succeeded, std::FILE* err = stderr);

    int Show(const std::string& Prompt, int Buttons, const std::string& Title) override;

    Outcome outcome() const { return outcome_; }

private:
    void Record(Outcome outcome);
    void Tell(const std::string& text);

    bool consented_;
    std::function<bool(const std::string&, std::string&)> ask_;
    std::vector<std::string> succeeded_;
    std::FILE* err_;
    Outcome outcome_ = Outcome::Nothing;
};

// Ends the run the way an Abort in an error report asks: by throwing
// ProcessEnded, which the console runner turns into exit status 1, so that
// what it holds is released on the way out.
class ConsoleProcess : public ports::Process {
public:
    [[noreturn]] void End() override { throw ports::ProcessEnded{}; }
};

// The text of a box on one line: its line breaks as blanks, runs of blanks as one.
std::string OneLine(const std::string& text);

}  // namespace cli
