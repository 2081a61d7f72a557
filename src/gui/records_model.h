// The records of one database as the Records dialog's table shows them: a
// Qt model over records::RecordStore (the records kept compactly, decoded
// as a row is drawn) that grows batch by batch as the reader gives them,
// and shows the records that hold the Find text.
//
// Each cell is shown on one line, made harmless (records::Escaped: control
// characters and direction marks as escapes, so that no value reorders the
// window), and cut after kShownCharacters with "…"; its tooltip shows a few
// lines, and Show Value (records_dialog.h) the whole value. Column names are the headers.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <optional>
#include <vector>

#include "records/record.h"
#include "records/store.h"

namespace gui {

class RecordsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kShownCharacters = 200;

    explicit RecordsModel(QObject* parent = nullptr);

    // The columns, before the first records, and the count the table's
    // definition holds, if known; the model is emptied.
    void SetColumns(std::vector<records::Column> columns, std::vector<std::string> primaryKey,
                    std::optional<uint64_t> storedCount = {});
    // More records, stored (off the window's thread) with the columns given
    // to SetColumns; those that hold the Find text are shown at once.
    void Append(const records::RecordStore& batch);
    // Shows only the records that hold `text` (all for the empty text).
    void SetFilter(const QString& text);

    // Every record read; it changes only as batches are appended.
    const records::RecordStore& Records() const { return store_; }
    // The record numbers shown, in order.
    const std::vector<uint32_t>& Shown() const { return shown_; }
    size_t Total() const { return store_.Size(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // Record n decoded once for the cells of its row.
    const records::Record& Decoded(size_t n) const;

    records::RecordStore store_;
    mutable size_t decodedNumber_ = SIZE_MAX;
    mutable records::Record decoded_;
    std::string filter_;            // the Find text, as typed
    std::vector<uint32_t> shown_;
    records::FoundPlaces places_;   // where each record shown holds the Find text
};

}  // namespace gui
