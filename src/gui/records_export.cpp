#include "gui/records_export.h"

#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <string>

#include "records/csv.h"

namespace gui {

namespace {

// The progress window shows once an export has taken this long.
constexpr int kProgressAfterMs = 500;

}  // namespace

ExportOutcome WriteRecords(const records::RecordsView& table, const std::vector<uint32_t>& rows, const QString& file,
                           const std::function<bool(size_t written)>& goOn, size_t chunkBytes) {
    ExportOutcome outcome;
    QSaveFile out(file);
    bool ok = out.open(QIODevice::WriteOnly);
    std::string chunk;
    if (ok) records::AppendHeader(chunk, table.Columns(), records::kCsv);
    for (size_t i = 0; ok && i <= rows.size(); ++i) {
        const bool last = i == rows.size();
        if (!last && rows[i] < table.Count()) records::AppendRecord(chunk, table.At(rows[i]), records::kCsv);
        if (!last && chunk.size() < chunkBytes) continue;
        ok = out.write(chunk.data(), static_cast<qint64>(chunk.size())) == static_cast<qint64>(chunk.size());
        chunk.clear();
        outcome.records = last ? rows.size() : i + 1;
        if (ok && !last && !goOn(outcome.records)) {
            out.cancelWriting();
            outcome.cancelled = true;
            return outcome;
        }
    }
    outcome.written = ok && out.commit();
    if (!outcome.written) {
        outcome.error = out.errorString();
        out.cancelWriting();
    }
    return outcome;
}

bool AskPartialExport(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QObject::tr("Export Records"), text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QMessageBox::Yes);
    QPushButton* no = box.addButton(QMessageBox::No);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

RecordsExport::RecordsExport(QWidget* over) : QObject(over), over_(over) {}

RecordsExport::~RecordsExport() { job_.Stop(); }

bool RecordsExport::Start(const records::RecordsView& table, std::vector<uint32_t> rows, const QString& file) {
    if (running_) return false;
    running_ = true;
    endedSet_ = false;
    const size_t total = rows.size();
    progress_ = new QProgressDialog(tr("Exporting %1 records to %2…").arg(total).arg(file), tr("Cancel"), 0,
                                    static_cast<int>(std::min<size_t>(total, INT32_MAX)), over_);
    progress_->setObjectName(QStringLiteral("dlgExportProgress"));
    progress_->setWindowTitle(tr("Export Records"));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(kProgressAfterMs);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
    connect(progress_, &QProgressDialog::canceled, this, &RecordsExport::Cancel);
    job_.Start([this, &table, rows = std::move(rows), file](Background& job) {
        const ExportOutcome outcome = WriteRecords(table, rows, file, [&](size_t written) {
            job.Post([this, written] {
                if (progress_) progress_->setValue(static_cast<int>(std::min<size_t>(written, INT32_MAX)));
            });
            return !job.Stopped();
        });
        ended_ = outcome;
        endedSet_ = true;
        job.Post([this, outcome] { Finish(outcome); });
    });
    return true;
}

void RecordsExport::Cancel() {
    if (!running_) return;
    job_.Stop();  // the writing stops after its chunk and removes its file
    ExportOutcome outcome;
    outcome.cancelled = true;
    Finish(endedSet_ ? ended_ : outcome);
}

void RecordsExport::Finish(const ExportOutcome& outcome) {
    if (!running_) return;
    running_ = false;
    if (progress_) {
        progress_->disconnect(this);
        progress_->deleteLater();
        progress_ = nullptr;
    }
    emit finished(outcome);
}

}  // namespace gui
