// The Records dialog of one database ("Records - Business Backup 2"),
// opened with Show Records… from a catalogue row's context menu or from
// Previous Versions:
//
//   the table     the roof table's records, the column names as headers,
//                 filled batch by batch as the reader gives them
//   Find          filters as one types, across the text columns, without
//                 regard to case as names compare ("N of M records")
//   Compare with Current  this copy against the live database: records only
//                 in one, and those changed, field by field (results_dialogs.h)
//   Export…       all, the found or the selected records as a CSV file, off
//                 the window's thread (records_export.h); of a copy read
//                 only in part, after a question that says so
//   Find in All Copies    the Find text in every database of the edition:
//                 which hold matching records, and how many
//   Copy          (Ctrl+C, or the table's context menu) the selected records
//                 as tab-separated text, with the header row
//   Restore… / Put Back…  of a backup / a numbered copy, where the window
//                 gives a way (RecordsContext::replaceLive): the command as
//                 the window runs it, with its usual warning
//   Close, Esc and the close box close the dialog
//
// Every read runs off the window's thread (Background), each through a
// Source of its own (RecordsContext::sources), so the window never waits
// on a database. The dialog says how much it read where that is not all:
// a copy that cannot be read, or only in part, says so and why; a count
// that disagrees with the table's definition is a warning. Find in All
// Copies still works, and so does Close. Nothing here writes to a
// database.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/background.h"
#include "gui/records_export.h"
#include "gui/records_model.h"
#include "records/places.h"
#include "records/source.h"
#include "app/history_versions.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;

namespace gui {

struct RecordsContext {
    records::SourceFactory sources;
    // Every database of the edition, for Find in All Copies.
    std::function<std::vector<records::Place>()> places;
    // The host path of a path as the procedures hold it, to name files.
    std::function<std::string(const std::string&)> hostPath;
    // Asks where to save an export, suggesting a name; empty: not saved.
    std::function<QString(QWidget* parent, const QString& suggested)> saveFileName;
    // Restore (of a backup) or Put Back (of a numbered copy) of the copy
    // shown, run as the window runs those commands, with their warnings,
    // over `over`; unset, the dialog has no such button.
    std::function<void(const records::Place& copy, QWidget* over)> replaceLive;
    // Asks whether to export the records read of a copy that could not be
    // read to its end (the text says so); true only for Yes.
    std::function<bool(QWidget* parent, const QString& text)> confirmPartial;
    // The history store's versions of the live database (livePath), of the
    // edition as the catalogue labels it; unset, Find in All Copies searches
    // no version.
    std::shared_ptr<app::RebuiltVersions> store;
    std::string storeEdition, livePath;
};

class RecordsDialog : public QDialog {
    Q_OBJECT

public:
    // `livePath`: the edition's live database, compared with; the empty
    // path, or the place itself, leaves Compare with Current disabled.
    RecordsDialog(RecordsContext context, records::Place place, const QString& edition, std::string livePath,
                  QWidget* parent = nullptr);
    ~RecordsDialog() override;

    // Starts reading the records.
    void Load();

    enum class Scope { All, Found, Selected };
    // Starts writing the records of `scope` to a file the user names (of a
    // copy read only in part, once the user agrees); exported follows.
    // False when nothing was started.
    bool Export(Scope scope);
    RecordsExport& Exporter() { return *exporter_; }
    void CopySelected();
    void CompareWithCurrent();
    void FindInAllCopies();
    // The value at `index` of the table, whole, in a window of its own.
    void ShowValue(const QModelIndex& index);

    RecordsModel& Model() { return *model_; }
    QTableView& Table() { return *table_; }
    QLineEdit& FindField() { return *find_; }
    QLabel& CountLabel() { return *count_; }
    QLabel& StatusLabel() { return *status_; }
    QPushButton& CompareButton() { return *compare_; }
    QPushButton& ExportButton() { return *export_; }
    QPushButton& CopyButton() { return *copy_; }
    QPushButton& FindAllButton() { return *findAll_; }
    // Restore… or Put Back…; null for the live database or without a way.
    QPushButton* ReplaceButton() { return replace_; }
    QPushButton& CloseButton() { return *close_; }

signals:
    // Every record has been read, or the reading failed (StatusLabel says).
    void loaded();
    // The window that shows a comparison's or a search's results opened.
    void resultsShown(QDialog* results);
    // The window that shows one value whole opened.
    void valueShown(QDialog* value);
    // An export ended: the file holds the records chosen, or it was not
    // written (cancelled, or it could not be; StatusLabel says).
    void exported(bool written);

private:
    void ShowCount();
    void FollowState();
    QString Name() const;  // "Business Backup 2"
    std::vector<size_t> Rows(Scope scope) const;

    RecordsContext context_;
    records::Place place_;
    QString edition_;
    std::string live_;
    RecordsModel* model_;
    QLineEdit* find_;
    QTableView* table_;
    QLabel* count_;
    QLabel* status_;
    QPushButton* compare_;
    QPushButton* export_;
    QPushButton* copy_;
    QPushButton* findAll_;
    QPushButton* replace_ = nullptr;
    QPushButton* close_;
    QMenu* exportMenu_;
    RecordsExport* exporter_;
    bool complete_ = false;  // every record read
    bool failed_ = false;
    QString failure_;        // why the reading stopped, when it failed
    QString exportFile_;     // where the export running or last run writes
    bool comparingNow_ = false;
    // Last, so that they stop before anything they post to goes.
    Background loading_{this};
    Background comparing_{this};
};

}  // namespace gui
