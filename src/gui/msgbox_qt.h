// Every question and message of the utility as a modal Qt message box:
// no icon, the buttons in the order Windows shows them, the first button
// the default, the application's title when none is given.
#pragma once

#include "ports/msgbox.h"

namespace gui {

class QtMessageBox : public ports::MessageBox {
public:
    int Show(const std::string& Prompt, int Buttons, const std::string& Title) override;
};

}  // namespace gui
