// Holds back the user's input while a long step runs on another thread: the
// windows paint, the user cannot act, and no window can be closed. One
// window may be let through: a dialog that offers its own Cancel.
#pragma once

#include <QObject>

class QEvent;
class QWidget;

namespace gui {

class InputBlocker : public QObject {
public:
    InputBlocker();
    ~InputBlocker() override;

    // The window whose input still reaches it (its close requests too);
    // none by default.
    QWidget* open = nullptr;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
};

}  // namespace gui
