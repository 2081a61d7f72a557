// The whole-file check as the window's commands run it (Restore, Create
// Blank and Put Back check their source before their warning): the check
// runs on a worker thread while the window keeps painting; one that takes
// longer than about half a second brings up a modal dialog, "Checking
// Backup 2…", with a progress bar and Cancel, as long copies do
// (progress_files.h). Cancel, Esc or the close box stop the check at its
// next batch, and the command then ends as on No, with nothing changed.
// Until the dialog is up, input to the application is held back, so that
// nothing else starts meanwhile.
//
// Off the window's thread, or without an application, the check runs on
// the calling thread as the inner check makes it.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "ports/check.h"

namespace gui {

class ProgressCheck : public ports::FileCheck {
public:
    // `nameOf` names a path for the dialog ("Backup 2").
    ProgressCheck(std::unique_ptr<ports::FileCheck> inner, QWidget* window,
                  std::function<QString(const std::string&)> nameOf)
        : inner_(std::move(inner)), window_(window), nameOf_(std::move(nameOf)) {}

    ports::CheckResult Check(const std::string& Path, const ports::CheckProgress& Progress = {}) override;

    // How long a check runs before its dialog appears.
    static constexpr int kDialogAfterMs = 500;

private:
    std::unique_ptr<ports::FileCheck> inner_;
    QWidget* window_;
    std::function<QString(const std::string&)> nameOf_;
};

}  // namespace gui
