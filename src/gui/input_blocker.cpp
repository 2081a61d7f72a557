#include "gui/input_blocker.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace gui {

InputBlocker::InputBlocker() { qApp->installEventFilter(this); }

InputBlocker::~InputBlocker() { qApp->removeEventFilter(this); }

bool InputBlocker::eventFilter(QObject* object, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
        break;
    default:
        return false;
    }
    if (open) {
        auto* widget = qobject_cast<QWidget*>(object);
        if (widget && widget->window() == open) return false;
    }
    // Closing the window would end the program once the step is done; the
    // request is refused instead.
    if (event->type() == QEvent::Close) event->ignore();
    return true;
}

}  // namespace gui
