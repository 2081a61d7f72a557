// Export… of the Records dialog: the records chosen written as CSV
// (records/csv.h) off the window's thread, a chunk at a time, to a
// temporary file beside the one the user named, which takes its name only
// when every record chosen has been written (QSaveFile). A progress window
// shows after half a second, and its Cancel (or closing the dialog) leaves
// no file behind.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "gui/background.h"
#include "records/record.h"

class QProgressDialog;
class QWidget;

namespace gui {

struct ExportOutcome {
    bool written = false;    // the file holds every record chosen
    bool cancelled = false;  // told to stop: no file was left
    size_t records = 0;      // records written
    QString error;           // why the file could not be written
};

// Writes the header and records `rows` of `table` to `file`, through a
// temporary file beside it. `goOn` is asked after each chunk of about
// `chunkBytes` with the records written so far; false stops the writing
// and leaves no file.
ExportOutcome WriteRecords(const records::RecordsView& table, const std::vector<uint32_t>& rows, const QString& file,
                           const std::function<bool(size_t written)>& goOn, size_t chunkBytes = 1 << 20);

// Asks whether to export what could be read of a damaged copy: Yes or No,
// No the default; Esc or the close box is No.
bool AskPartialExport(QWidget* parent, const QString& text);

// One export at a time, for one dialog.
class RecordsExport : public QObject {
    Q_OBJECT

public:
    explicit RecordsExport(QWidget* over);
    ~RecordsExport() override;

    // Starts writing `rows` of `table`, which must not change until
    // finished; false when an export is running already.
    bool Start(const records::RecordsView& table, std::vector<uint32_t> rows, const QString& file);
    bool Running() const { return running_; }
    // Stops the export and removes what it wrote; finished follows.
    void Cancel();

signals:
    void finished(const gui::ExportOutcome& outcome);

private:
    void Finish(const ExportOutcome& outcome);
    QWidget* over_;
    QProgressDialog* progress_ = nullptr;
    bool running_ = false;
    // What the job ended with, read once it has been joined (a Cancel that
    // comes after the last record was written finds the file whole).
    ExportOutcome ended_;
    bool endedSet_ = false;
    Background job_{this};
};

}  // namespace gui
