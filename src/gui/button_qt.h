// A push button of the window as the procedures see it: its enabled flag.
// A disabled QPushButton can be neither clicked nor tabbed to, which is what
// the commands rely on.
#pragma once

#include <QPushButton>

#include "ports/listview.h"

namespace gui {

class QtButton : public QPushButton, public ports::Button {
    Q_OBJECT

public:
    explicit QtButton(const QString& text, QWidget* parent = nullptr) : QPushButton(text, parent) {}

    bool Enabled() override { return isEnabled(); }
    void SetEnabled(bool Enabled) override { setEnabled(Enabled); }
};

}  // namespace gui
