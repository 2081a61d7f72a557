// The Check… dialog of one database ("Check - Backup 2 (Business)"),
// opened from the context menu of a catalogue row or from Previous
// Versions: the whole-file check (ports/check.h) run off the window's
// thread (background.h), a progress bar while it runs, then the verdict
// and the findings in a table (severity, table, page, row, what). Esc,
// Close and the close box stop a check that is running and close the
// dialog. Texts from the file are shown escaped (records::Escaped).
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "gui/background.h"
#include "ports/check.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace gui {

class CheckDialog : public QDialog {
    Q_OBJECT

public:
    // A check of its own for each dialog (its own reader child).
    using MakeCheck = std::function<std::unique_ptr<ports::FileCheck>()>;

    // `path` as the procedures hold it; `caption` names the database
    // ("Backup 2 (Business)"), `file` is where it is on this machine.
    CheckDialog(MakeCheck makeCheck, std::string path, const QString& caption, const QString& file,
                QWidget* parent = nullptr);
    ~CheckDialog() override;

    // Starts the check.
    void Start();
    bool Running() const { return background_.Running() && !done_; }

    QProgressBar& Bar() { return *bar_; }
    QLabel& Verdict() { return *verdict_; }
    QTableWidget& Findings() { return *findings_; }
    QPushButton& CloseButton() { return *close_; }

public slots:
    void reject() override;

private:
    void Show(const ports::CheckResult& result);

    MakeCheck makeCheck_;
    std::string path_;
    QLabel* verdict_;
    QProgressBar* bar_;
    QTableWidget* findings_;
    QPushButton* close_;
    bool done_ = false;
    Background background_{this};  // last: stopped first when the dialog goes
};

}  // namespace gui
