// The modal message box every question and message goes through.
// In production: QtMessageBox (gui/msgbox_qt.h). In tests:
// ScriptedMessageBox (tests/fakes/fakes.h), which gives the answers it was
// told and records every box. Without a window: ConsoleMessageBox
// (cli/console_ports.h), which answers from the consent given.
#pragma once

#include <string>

namespace ports {

enum MsgBoxButtons : int {
    vbOKOnly = 0,
    vbAbortRetryIgnore = 2,
    vbYesNo = 4,
    vbRetryCancel = 5,
};

enum MsgBoxResult : int {
    vbNoAnswer = 0,  // closed without a button (never a Yes, Retry or OK)
    vbOK = 1,
    vbCancel = 2,
    vbAbort = 3,
    vbRetry = 4,
    vbIgnore = 5,
    vbYes = 6,
    vbNo = 7,
};

class MessageBox {
public:
    virtual ~MessageBox() = default;

    // Shows Prompt with the button set and Title (empty: the application's
    // title), no icon, the first button the default; returns the answer.
    virtual int Show(const std::string& Prompt, int Buttons, const std::string& Title) = 0;

    // A passing message while the program waits or ends ("waiting for another
    // restore"): no button, no answer, nothing waits for the user. It stays
    // until the next Show or Notice; an empty Prompt takes it away.
    virtual void Notice(const std::string& Prompt, const std::string& Title) = 0;
};

}  // namespace ports
