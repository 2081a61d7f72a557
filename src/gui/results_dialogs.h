// The two windows of results the Records dialog opens:
//
//   ComparisonDialog  "Compare - Business Backup 2 with Current": a tree of
//                     three groups, the records only in this copy, those
//                     only in the live database, and those changed, each
//                     changed record with one line per field that differs
//                     ("Phone: 555 0100 → 555 0199"); above it, how records
//                     were matched, the columns only one of them has, and
//                     how many records each had (a warning where that
//                     disagrees with its table's count). Copy and Export…
//                     give the differences as text (records/compare_text.h).
//   FindAllDialog     "Find in All Copies - Business": one row per database
//                     of the edition, newest first as the context's places
//                     come (records::NewestFirst): caption, how it came to
//                     be, its date, matching records ("N
//                     (partly read)" for a copy damaged part way, or
//                     "cannot be read", file), filled off the window's
//                     thread as each database is searched; Enter or a
//                     double click opens Show Records of that copy with the
//                     same Find text. With the history store, each record
//                     found in its versions follows, once: the last version
//                     holding it ("@7"), when that was kept, "in @3 to @7,
//                     not in the current database" and the record's values;
//                     Enter opens that version, rebuilt, where Put Back… is.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <vector>
#include <string>

#include "gui/background.h"
#include "gui/comparison_model.h"
#include "gui/records_dialog.h"
#include "records/compare.h"
#include "records/compare_text.h"

class QLabel;
class QPushButton;
class QTableWidget;
class QTreeView;

namespace gui {

class ComparisonDialog : public QDialog {
    Q_OBJECT

public:
    // `which` stays with its Records dialog, the parent, which outlives this;
    // `current` holds the live database's records that differ, of `read`.
    // `saveFileName` asks where Export… writes.
    ComparisonDialog(const records::RecordsView& which, records::Table current, size_t read,
                     records::Comparison comparison, const QString& whichName, const QString& edition,
                     std::function<QString(QWidget*, const QString&)> saveFileName, QWidget* parent);
    ~ComparisonDialog() override;

    // Copy (the button, Ctrl+C): the differences of the selected lines (a
    // group, a record, a field), else of the current one, as tab-separated
    // text with a header row (records/compare_text.h).
    void CopySelected();
    // Export…: every difference as a CSV file the user names; true when written.
    bool Export();

    QTreeView& Tree() { return *tree_; }
    QLabel& Summary() { return *summary_; }
    QLabel& Status() { return *status_; }
    QPushButton& CopyButton() { return *copy_; }
    QPushButton& ExportButton() { return *export_; }
    const records::Comparison& Result() const { return comparison_; }

private:
    const records::RecordsView& which_;
    records::Table current_;
    records::Comparison comparison_;
    std::function<QString(QWidget*, const QString&)> saveFileName_;
    QString whichName_;
    QLabel* summary_;
    QTreeView* tree_;
    ComparisonModel* model_ = nullptr;
    QLabel* status_;
    QPushButton* copy_;
    QPushButton* export_;
};

class FindAllDialog : public QDialog {
    Q_OBJECT

public:
    FindAllDialog(const RecordsContext& context, std::string text, const QString& edition, QWidget* parent);
    ~FindAllDialog() override;

    QTableWidget& List() { return *list_; }
    QLabel& Status() { return *status_; }

signals:
    // Every database has been searched.
    void finished();
    // A copy was opened from its row (Enter or a double click).
    void opened(QDialog* records);

private:
    QString SearchVersions(Background& job, const RecordsContext& context, const std::string& text,
                           const std::optional<records::Table>& live);

    QLabel* status_;
    QTableWidget* list_;
    std::vector<int64_t> versionRows_;  // the version each row after the databases' opens
    Background searching_{this};
};

}  // namespace gui
