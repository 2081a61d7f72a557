// What screen readers learn beyond Qt's own reports: a command button's key
// binding whatever its state, and modal dialogs that say so.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QAccessible>
#include <QDialog>
#include <QSignalSpy>
#include <QTest>

#include "gui/accessible_qt.h"
#include "gui/button_qt.h"

namespace {

class CommandButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        gui::InstallAccessibility();
        window.resize(200, 100);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QWidget window;
};

TEST_F(CommandButtonTest, OffersItsMnemonicAsTheKeyOfItsPressEvenWhileDisabled) {
    auto* restore = new gui::QtButton(QStringLiteral("&Restore"), &window);
    restore->setAccessibleName(QStringLiteral("Restore"));
    auto* cancel = new gui::QtButton(QStringLiteral("Cancel"), &window);
    const struct {
        gui::QtButton* button;
        bool enabled;
        QString keys;
    } cases[] = {{restore, true, "Alt+R"}, {restore, false, "Alt+R"}, {cancel, true, ""}};
    for (const auto& c : cases) {
        const std::string what = c.button->text().toStdString() + (c.enabled ? " enabled" : " disabled");
        c.button->setEnabled(c.enabled);
        QAccessibleInterface* button = QAccessible::queryAccessibleInterface(c.button);
        ASSERT_NE(button, nullptr) << what;
        EXPECT_EQ(button->role(), QAccessible::Button) << what;
        EXPECT_EQ(button->state().disabled, !c.enabled) << what;
        QAccessibleActionInterface* actions = button->actionInterface();
        ASSERT_NE(actions, nullptr) << what;
        ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction())) << what;
        EXPECT_EQ(actions->keyBindingsForAction(QAccessibleActionInterface::pressAction()).join(','), c.keys)
            << what;
        EXPECT_EQ(button->text(QAccessible::Accelerator), c.keys) << what;
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(restore)->text(QAccessible::Name), "Restore")
        << "the name a screen reader speaks has no '&'";
}

TEST_F(CommandButtonTest, PressingDoesNothingWhileDisabledAndClicksOtherwise) {
    auto* button = new gui::QtButton(QStringLiteral("Create &Blank"), &window);
    button->show();
    QSignalSpy clicked(button, &QPushButton::clicked);
    QAccessibleActionInterface* actions = QAccessible::queryAccessibleInterface(button)->actionInterface();

    // A press shows the button down at once and clicks it a moment later.
    button->setEnabled(false);
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(button->isDown()) << "a disabled command cannot be started";

    button->setEnabled(true);
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(button->isDown());
    EXPECT_TRUE(clicked.wait(5000));
    EXPECT_EQ(clicked.count(), 1);
}

TEST(DialogAccessible, ADialogThatBlocksTheWindowReportsModal) {
    gui::InstallAccessibility();
    const struct {
        Qt::WindowModality modality;
        bool modal;
    } cases[] = {{Qt::ApplicationModal, true}, {Qt::WindowModal, true}, {Qt::NonModal, false}};
    for (const auto& c : cases) {
        QDialog dialog;
        dialog.setWindowTitle(QStringLiteral("Restore Rolvane Data"));
        dialog.setWindowModality(c.modality);
        dialog.show();
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&dialog);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), QAccessible::Dialog);
        EXPECT_EQ(accessible->state().modal, c.modal) << c.modality;
        EXPECT_EQ(accessible->text(QAccessible::Name), "Restore Rolvane Data");
    }
}

}  // namespace
