// The message box that answers from a script and keeps what it showed.
#include "fakes/fakes.h"

#include <gtest/gtest.h>

namespace fakes {

int ScriptedMessageBox::Show(const std::string& Prompt, int Buttons, const std::string& Title) {
    failures.Check("Show");
    shown.push_back({Prompt, Buttons, Title});
    if (onShow) onShow(shown.back());
    if (script_.empty()) {
        ADD_FAILURE() << "unexpected message box \"" << Title << "\": " << Prompt;
        return 0;
    }
    int answer = script_.front();
    script_.pop_front();
    return answer;
}

}  // namespace fakes
