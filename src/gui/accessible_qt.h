// What screen readers are told about the program's dialogs and command
// buttons beyond what Qt's own accessibility reports.
//
// Dialogs: Qt reports a message box as an alert and another dialog as a
// dialog, but never says that it is modal, although each of the program's
// blocks the window behind it until it is answered. Here every dialog whose
// window modality is not NonModal has the state "modal" (AT-SPI
// STATE_MODAL), and a message box gives its text as its value.
//
// Command buttons (QtButton): Qt offers a button's action, and with it the
// key binding of its mnemonic (Alt+R for "&Restore"), only while the button
// is enabled, so a screen reader finds no key binding on Restore while the
// live database is selected. Here the action and its key binding are
// offered whatever the state, as GTK does; the state tells that the button
// is disabled, and pressing a disabled button does nothing. The name is the
// caption without its "&".
#pragma once

namespace gui {

// Gives every QMessageBox, QDialog and QtButton these interfaces; once is
// enough, more is harmless.
void InstallAccessibility();

}  // namespace gui
