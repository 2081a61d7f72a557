#include "gui/accessible_qt.h"

#include <QAccessibleWidget>
#include <QDialog>
#include <QKeySequence>
#include <QMessageBox>

#include "gui/button_qt.h"

namespace gui {

namespace {

class DialogAccessible : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        if (widget()->isModal()) state.modal = true;
        return state;
    }

    QString text(QAccessible::Text t) const override {
        auto* box = qobject_cast<QMessageBox*>(widget());
        if (box && t == QAccessible::Value) return box->text();
        if (box && t == QAccessible::Name && QAccessibleWidget::text(t).isEmpty()) return box->text();
        return QAccessibleWidget::text(t);
    }
};

class CommandButtonAccessible : public QAccessibleWidget {
public:
    explicit CommandButtonAccessible(QtButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

    QtButton* Button() const { return static_cast<QtButton*>(widget()); }
    QString Mnemonic() const { return QKeySequence::mnemonic(Button()->text()).toString(QKeySequence::NativeText); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Accelerator) return Mnemonic();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        if (Button()->isDown()) state.pressed = true;
        return state;
    }
    // Press first, as Qt's own button has it; then setting the focus.
    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString& action) override {
        if (action != pressAction()) return QAccessibleWidget::doAction(action);
        if (Button()->isEnabled()) Button()->animateClick();
    }
    QStringList keyBindingsForAction(const QString& action) const override {
        if (action != pressAction() || Mnemonic().isEmpty()) return {};
        return {Mnemonic()};
    }
};

// Asked for each class of the object, from its own up to QObject: a message
// box is answered at "QMessageBox", any other dialog (QProgressDialog, a
// QDialog of the program's own) at "QDialog".
QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (className == QLatin1String(QtButton::staticMetaObject.className()))
        if (auto* button = qobject_cast<QtButton*>(object)) return new CommandButtonAccessible(button);
    auto* dialog = qobject_cast<QDialog*>(object);
    if (!dialog) return nullptr;
    if (className == QLatin1String("QMessageBox")) return new DialogAccessible(dialog, QAccessible::AlertMessage);
    if (className == QLatin1String("QDialog")) return new DialogAccessible(dialog, QAccessible::Dialog);
    return nullptr;
}

}  // namespace

void InstallAccessibility() {
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
}

}  // namespace gui
