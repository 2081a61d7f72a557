// Every question and message of the utility as a modal Qt message box:
// no icon, the buttons in the order Windows shows them, the first button
// the default, the application's title when none is given.
#pragma once

#include <QDialog>
#include <memory>

#include "ports/msgbox.h"

namespace gui {

class QtMessageBox : public ports::MessageBox {
public:
    int Show(const std::string& Prompt, int Buttons, const std::string& Title) override;
    // A small window with the text and no button, painted at once (the
    // program is about to wait without running its event loop), until the
    // next box or notice.
    void Notice(const std::string& Prompt, const std::string& Title) override;

private:
    std::unique_ptr<QDialog> notice_;
};

}  // namespace gui
