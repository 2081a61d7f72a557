// The differences of Compare as a Qt model for the window's tree: three
// groups (records only in this copy, only in the live database, changed),
// each record a row under its group, and each changed record its fields,
// with the values in each copy. Rows are made as the view asks for them, so
// that a million records only in one copy cost the view a few bytes each,
// not a widget item each.
#pragma once

#include <QAbstractItemModel>
#include <utility>

#include "records/compare.h"
#include "records/compare_text.h"

namespace gui {

class ComparisonModel : public QAbstractItemModel {
    Q_OBJECT

public:
    // The tables and the comparison must outlive the model.
    ComparisonModel(const records::RecordsView& which, const records::Table& current,
                    const records::Comparison& comparison, QString whichName, QString currentName,
                    QObject* parent = nullptr);

    // The rows of records::DifferenceRows a line of the tree covers: a
    // group all of its records, a record its own (a changed one each of its
    // fields), a field its own.
    std::pair<size_t, size_t> Rows(const QModelIndex& index) const;
    const records::DifferenceRows& Differences() const { return rows_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const records::RecordsView& which_;
    const records::Table& current_;
    const records::Comparison& comparison_;
    records::DifferenceRows rows_;
    QString whichName_, currentName_;
};

}  // namespace gui
