// The Qt message box, answered by the test: button order and default for
// each button set, title, no icon, plain text, and the answer for each way
// of closing it.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDialogButtonBox>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <utility>

#include "gui/msgbox_qt.h"

namespace {

using ports::MsgBoxResult;

struct Seen {
    QStringList buttons;  // left to right, mnemonics removed
    QString defaultButton;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Information;
    Qt::TextFormat format = Qt::RichText;
};

// Shows a box through QtMessageBox and, once it is on screen, records what
// it looks like and hands it to `act`, which must close it.
int ShowAndAct(int buttons, const std::string& prompt, const std::string& title, Seen& seen,
               std::function<void(QMessageBox&)> act) {
    std::function<void()> poll = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(0, poll);  // not shown yet
            return;
        }
        QList<QAbstractButton*> shown = box->buttons();
        std::sort(shown.begin(), shown.end(), [&](QAbstractButton* a, QAbstractButton* b) {
            return a->mapTo(box, QPoint()).x() < b->mapTo(box, QPoint()).x();
        });
        for (QAbstractButton* b : shown) seen.buttons << b->text().remove(QLatin1Char('&'));
        if (box->defaultButton()) seen.defaultButton = box->defaultButton()->text().remove(QLatin1Char('&'));
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.format = box->textFormat();
        act(*box);
    };
    QTimer::singleShot(0, poll);
    gui::QtMessageBox msgbox;
    return msgbox.Show(prompt, buttons, title);
}

std::function<void(QMessageBox&)> ClickButton(const QString& text) {
    return [text](QMessageBox& box) {
        for (QAbstractButton* b : box.buttons())
            if (b->text().remove(QLatin1Char('&')) == text) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        ADD_FAILURE() << "no button " << text.toStdString();
        box.done(0);
    };
}

std::function<void(QMessageBox&)> PressKey(Qt::Key key) {
    return [key](QMessageBox& box) { QTest::keyClick(&box, key); };
}

struct Case {
    const char* name;
    int buttons;
    QStringList order;
    QString click;
    int answer;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// A desktop style that orders dialog buttons the GNOME way (No before Yes,
// Cancel before Retry): the order must be the Windows one all the same.
class GnomeButtonOrder : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_DialogButtonLayout) return QDialogButtonBox::GnomeLayout;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

class QtMessageBoxButtons : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        styleName_ = QApplication::style()->name();
        QApplication::setStyle(new GnomeButtonOrder(QStyleFactory::create(styleName_)));
    }
    void TearDown() override { QApplication::setStyle(styleName_); }

private:
    QString styleName_;
};

TEST_P(QtMessageBoxButtons, InWindowsOrderFirstIsDefaultEachGivesItsAnswer) {
    const Case& c = GetParam();
    Seen seen;
    const int answer = ShowAndAct(c.buttons, "Prompt", "Title", seen, ClickButton(c.click));
    EXPECT_EQ(seen.buttons, c.order);
    EXPECT_EQ(seen.defaultButton, c.order.front());
    EXPECT_EQ(answer, c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    EveryButton, QtMessageBoxButtons,
    ::testing::Values(
        Case{"Ok", ports::vbOKOnly, {"OK"}, "OK", ports::vbOK},
        Case{"Abort", ports::vbAbortRetryIgnore, {"Abort", "Retry", "Ignore"}, "Abort", ports::vbAbort},
        Case{"Retry", ports::vbAbortRetryIgnore, {"Abort", "Retry", "Ignore"}, "Retry", ports::vbRetry},
        Case{"Ignore", ports::vbAbortRetryIgnore, {"Abort", "Retry", "Ignore"}, "Ignore", ports::vbIgnore},
        Case{"Yes", ports::vbYesNo, {"Yes", "No"}, "Yes", ports::vbYes},
        Case{"No", ports::vbYesNo, {"Yes", "No"}, "No", ports::vbNo},
        Case{"RetryOfRetryCancel", ports::vbRetryCancel, {"Retry", "Cancel"}, "Retry", ports::vbRetry},
        Case{"Cancel", ports::vbRetryCancel, {"Retry", "Cancel"}, "Cancel", ports::vbCancel}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QtMessageBox, ShowsThePromptAsPlainTextWithoutIconUnderTheGivenOrTheAppTitle) {
    Seen given;
    ShowAndAct(ports::vbOKOnly, "Unable to locate main database: C:\\<data>\\bsrv.mdb", "File in Use",
               given, ClickButton("OK"));
    EXPECT_EQ(given.title, "File in Use");
    EXPECT_EQ(given.text, "Unable to locate main database: C:\\<data>\\bsrv.mdb");
    EXPECT_EQ(given.format, Qt::PlainText);
    EXPECT_EQ(given.icon, QMessageBox::NoIcon);

    Seen untitled;
    ShowAndAct(ports::vbYesNo, "Prompt", "", untitled, ClickButton("No"));
    EXPECT_EQ(untitled.title, "Restore Rolvane Data");
}

// Esc and the close box of the window (a close request from the window
// system) answer No, Cancel or OK; on Abort / Retry / Ignore they do
// nothing, and the box stays until one of its buttons is pressed.
TEST(QtMessageBox, EscAndTheCloseBoxAnswerNoCancelOrOkAndNothingOnAbortRetryIgnore) {
    const std::function<void(QMessageBox&)> esc = PressKey(Qt::Key_Escape);
    const std::function<void(QMessageBox&)> closeBox = [](QMessageBox& box) { box.windowHandle()->close(); };
    const struct {
        const char* name;
        int buttons;
        std::function<void(QMessageBox&)> act;
        int answer;
    } cases[] = {
        {"Esc on Yes/No", ports::vbYesNo, esc, ports::vbNo},
        {"close on Yes/No", ports::vbYesNo, closeBox, ports::vbNo},
        {"Esc on Retry/Cancel", ports::vbRetryCancel, esc, ports::vbCancel},
        {"close on Retry/Cancel", ports::vbRetryCancel, closeBox, ports::vbCancel},
        {"Esc on OK", ports::vbOKOnly, esc, ports::vbOK},
        {"close on OK", ports::vbOKOnly, closeBox, ports::vbOK},
    };
    for (const auto& c : cases) {
        Seen seen;
        EXPECT_EQ(ShowAndAct(c.buttons, "p", "", seen, c.act), c.answer) << c.name;
    }

    for (const auto& [name, act] : {std::pair{"Esc", esc}, std::pair{"close", closeBox}}) {
        bool openAfter = false;
        Seen seen;
        const int answer = ShowAndAct(ports::vbAbortRetryIgnore, "p", "", seen, [&](QMessageBox& box) {
            act(box);
            QApplication::processEvents();
            openAfter = box.isVisible() && QApplication::activeModalWidget() == &box;
            ClickButton("Ignore")(box);
        });
        EXPECT_TRUE(openAfter) << name;
        EXPECT_EQ(answer, ports::vbIgnore) << name;
    }
}

// The box blocks the window until it is answered, and says so.
TEST(QtMessageBox, AScreenReaderHearsAModalAlertWithItsTitleAndText) {
    QAccessible::Role role = QAccessible::NoRole;
    bool modal = false;
    QString name, value;
    Seen seen;
    ShowAndAct(ports::vbYesNo, "Warning: You are about to erase all of the data", "Restore Warning", seen,
               [&](QMessageBox& box) {
                   QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&box);
                   if (accessible) {
                       role = accessible->role();
                       modal = accessible->state().modal;
                       name = accessible->text(QAccessible::Name);
                       value = accessible->text(QAccessible::Value);
                   }
                   ClickButton("No")(box);
               });
    EXPECT_EQ(role, QAccessible::AlertMessage);
    EXPECT_TRUE(modal);
    EXPECT_EQ(name, "Restore Warning");
    EXPECT_EQ(value, "Warning: You are about to erase all of the data");
}

TEST(QtMessageBox, EnterAnswersWithTheFirstButton) {
    Seen seen;
    EXPECT_EQ(ShowAndAct(ports::vbYesNo, "p", "", seen, PressKey(Qt::Key_Return)), ports::vbYes);
    EXPECT_EQ(ShowAndAct(ports::vbAbortRetryIgnore, "p", "", seen, PressKey(Qt::Key_Return)),
              ports::vbAbort);
}

}  // namespace
