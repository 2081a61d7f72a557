// The message box and the process of a run without a window, for the
// command line (console.h). A question is answered from the consent given
// (--yes, or the user at a terminal), the file-in-use question with Cancel
// (a script tries again later), an error report with Ignore, so that one
// file that cannot be read never stops a command on another; every box is
// one line on stderr. What a command ended with is its returned value, not
// what its boxes said.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "ports/msgbox.h"
#include "ports/path_presenter.h"
#include "ports/process.h"

namespace cli {

class ConsoleMessageBox : public ports::MessageBox {
public:
    // Asks the user a question and returns the line typed; false when there
    // is no terminal to ask on, which answers No.
    using Ask = std::function<bool(const std::string& question, std::string& answer)>;

    // consented: --yes was given, every question is answered Yes unasked.
    ConsoleMessageBox(bool consented, Ask ask, std::FILE* err = stderr);

    int Show(const std::string& Prompt, int Buttons, const std::string& Title) override;
    // One line on stderr, as a message.
    void Notice(const std::string& Prompt, const std::string& Title) override;

private:
    void Tell(const std::string& text);

    bool consented_;
    Ask ask_;
    std::FILE* err_;
};

// Names a file by its path on this machine, as --list --json spells it,
// never by the Windows path the procedures hold.
class ConsolePaths : public ports::PathPresenter {
public:
    explicit ConsolePaths(std::function<std::string(const std::string&)> hostPath) : hostPath_(std::move(hostPath)) {}
    std::string Present(const std::string& Path) const override { return hostPath_(Path); }

private:
    std::function<std::string(const std::string&)> hostPath_;
};

// Ends the run by throwing ProcessEnded, which the console runner turns
// into exit status 1, so that what it holds is released on the way out.
class ConsoleProcess : public ports::Process {
public:
    [[noreturn]] void End() override { throw ports::ProcessEnded{}; }
};

// The text of a box on one line: its line breaks as blanks, runs of blanks as one.
std::string OneLine(const std::string& text);

}  // namespace cli
