// The records of one database as the Records dialog's table shows them: a
// Qt model over records::Table that grows batch by batch as the reader
// gives them, and shows the records that hold the Find text.
//
// Each cell is shown on one line, made harmless (records::Escaped: control
// characters and direction marks as escapes, so that no value reorders the
// window), and cut after kShownCharacters with "…"; its tooltip shows a few
// lines, and Show Value (records_dialog.h) the whole value. Column names are the headers.
#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <vector>

#include "records/filter.h"
#include "records/record.h"

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
    // More records, with the index of their text (made off the window's
    // thread); those that hold the Find text are shown at once.
    void Append(std::vector<records::Record> batch, const records::TextIndex& text);
    // Shows only the records that hold `text` (all for the empty text).
    void SetFilter(const QString& text);

    const records::Table& Table() const { return table_; }
    // The record numbers shown, in order.
    const std::vector<uint32_t>& Shown() const { return shown_; }
    size_t Total() const { return table_.records.size(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    records::Table table_;
    records::TextIndex index_;
    std::string filter_;            // the Find text, as typed
    std::vector<uint32_t> shown_;
};

}  // namespace gui
