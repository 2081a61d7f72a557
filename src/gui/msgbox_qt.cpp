#include "gui/msgbox_qt.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>
#include <vector>

#include "app/program.h"
#include "gui/accessible_qt.h"

namespace gui {

namespace {

struct Choice {
    const char* text;
    int answer;
};

// The buttons of each set, left to right, as Windows lays them out, and the
// one that Esc and the close box answer with: No on Yes / No (only Yes may
// let a command go ahead), Cancel on Retry / Cancel, OK alone. Abort / Retry /
// Ignore has none: Qt then ignores Esc and the close box, and the user
// answers with one of the three buttons the report offers.
struct ButtonSet {
    std::vector<Choice> choices;
    int escape;  // index into choices, -1 for none
};

ButtonSet SetFor(int Buttons) {
    using namespace ports;
    switch (Buttons) {
    case vbAbortRetryIgnore:
        return {{{"&Abort", vbAbort}, {"&Retry", vbRetry}, {"&Ignore", vbIgnore}}, -1};
    case vbYesNo:
        return {{{"&Yes", vbYes}, {"&No", vbNo}}, 1};
    case vbRetryCancel:
        return {{{"&Retry", vbRetry}, {"Cancel", vbCancel}}, 1};
    default:
        return {{{"OK", vbOK}}, 0};
    }
}

}  // namespace

void QtMessageBox::Notice(const std::string& Prompt, const std::string& Title) {
    notice_.reset();
    if (Prompt.empty()) return;
    notice_ = std::make_unique<QDialog>();
    notice_->setWindowTitle(QString::fromUtf8(Title.empty() ? app::kAppTitle : Title.c_str()));
    auto* text = new QLabel(QString::fromStdString(Prompt), notice_.get());
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    (new QVBoxLayout(notice_.get()))->addWidget(text);
    notice_->show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

int QtMessageBox::Show(const std::string& Prompt, int Buttons, const std::string& Title) {
    notice_.reset();
    InstallAccessibility();  // the box reports itself modal
    QMessageBox box;
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(QString::fromUtf8(Title.empty() ? app::kAppTitle : Title.c_str()));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(Prompt));
    box.setWindowModality(Qt::ApplicationModal);

    // All buttons share one role: a button box orders buttons of different
    // roles by the desktop's convention (No before Yes on some), but keeps
    // buttons of one role in the order they were added.
    const ButtonSet set = SetFor(Buttons);
    std::vector<std::pair<QPushButton*, int>> buttons;
    for (const Choice& choice : set.choices)
        buttons.emplace_back(box.addButton(QString::fromUtf8(choice.text), QMessageBox::ActionRole),
                             choice.answer);
    box.setDefaultButton(buttons.front().first);
    box.setEscapeButton(set.escape >= 0 ? buttons[set.escape].first : nullptr);

    box.exec();

    for (const auto& [button, answer] : buttons)
        if (box.clickedButton() == button) return answer;
    return ports::vbNoAnswer;
}

}  // namespace gui
