#include "cli/console_ports.h"

#include <cctype>

#include "app/program.h"

namespace cli {

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

ConsoleMessageBox::ConsoleMessageBox(bool consented, Ask ask, std::FILE* err)
    : consented_(consented), ask_(std::move(ask)), err_(err) {}

void ConsoleMessageBox::Tell(const std::string& text) {
    std::fprintf(err_, "%s\n", text.c_str());
    std::fflush(err_);
}

int ConsoleMessageBox::Show(const std::string& Prompt, int Buttons, const std::string& Title) {
    const std::string ours = std::string(app::kProgramName) + ": ";
    switch (Buttons) {
        case ports::vbYesNo: {
            if (consented_) return ports::vbYes;
            // Only a typed "y" or "yes" is consent; anything else, an empty
            // line, the end of input or no terminal at all mean No.
            std::string answer;
            const bool asked = ask_ && ask_(OneLine(Prompt) + " [y/N] ", answer);
            std::string word;
            for (char c : answer)
                if (!std::isspace(static_cast<unsigned char>(c)))
                    word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return asked && (word == "y" || word == "yes") ? ports::vbYes : ports::vbNo;
        }
        case ports::vbRetryCancel:
            Tell(ours + OneLine(Prompt));
            return ports::vbCancel;
        case ports::vbAbortRetryIgnore:
            // An error report, as the window shows it, on one line.
            Tell((Title.empty() ? std::string(app::kAppTitle) : Title) + ": " + OneLine(Prompt));
            return ports::vbIgnore;
        default:
            Tell(ours + OneLine(Prompt));
            return ports::vbOK;
    }
}

void ConsoleMessageBox::Notice(const std::string& Prompt, const std::string&) {
    if (Prompt.empty()) return;
    Tell(std::string(app::kProgramName) + ": " + OneLine(Prompt));
}

}  // namespace cli
