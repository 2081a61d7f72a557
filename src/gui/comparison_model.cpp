#include "gui/comparison_model.h"

#include "records/render.h"

namespace gui {

namespace {

// What a line is, by its index's internal id: 0 a group; 1 to 3 a record of
// group id - 1; from 4 a field of changed record id - 4.
constexpr quintptr kFieldBase = 4;

QString Harmless(const std::string& text, size_t most = 80) {
    QString shown = QString::fromStdString(records::Escaped(text, false));
    if (shown.size() > static_cast<qsizetype>(most)) shown = shown.left(most) + QChar(0x2026);
    return shown;
}

QString CellText(const std::vector<records::Column>& columns, const records::Record& row, const std::string& field) {
    const int column = records::ColumnIndex(columns, field);
    if (column < 0 || static_cast<size_t>(column) >= row.size()) return {};
    if (std::holds_alternative<records::Null>(row[column])) return QObject::tr("(Null)");
    return Harmless(records::DisplayText(row[column]));
}

}  // namespace

ComparisonModel::ComparisonModel(const records::RecordsView& which, const records::Table& current,
                                 const records::Comparison& comparison, QString whichName, QString currentName,
                                 QObject* parent)
    : QAbstractItemModel(parent),
      which_(which),
      current_(current),
      comparison_(comparison),
      rows_(which, current, comparison, whichName.toStdString(), currentName.toStdString()),
      whichName_(std::move(whichName)),
      currentName_(std::move(currentName)) {}

QModelIndex ComparisonModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= 3 || row >= rowCount(parent)) return {};
    if (!parent.isValid()) return createIndex(row, column, quintptr{0});
    if (parent.internalId() == 0) return createIndex(row, column, quintptr(parent.row() + 1));
    return createIndex(row, column, kFieldBase + quintptr(parent.row()));
}

QModelIndex ComparisonModel::parent(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == 0) return {};
    if (index.internalId() < kFieldBase) return createIndex(int(index.internalId() - 1), 0, quintptr{0});
    return createIndex(int(index.internalId() - kFieldBase), 0, quintptr{3});
}

int ComparisonModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return 3;
    if (parent.column() != 0) return 0;
    if (parent.internalId() == 0) {
        switch (parent.row()) {
        case 0: return int(comparison_.onlyInFirst.size());
        case 1: return int(comparison_.onlyInSecond.size());
        default: return int(comparison_.changed.size());
        }
    }
    if (parent.internalId() == 3) return int(comparison_.changed[size_t(parent.row())].fields.size());
    return 0;
}

int ComparisonModel::columnCount(const QModelIndex&) const { return 3; }

QVariant ComparisonModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    const quintptr id = index.internalId();
    const size_t row = size_t(index.row());
    const std::vector<std::string>& key = comparison_.key;
    if (id == 0) {
        if (index.column() != 0) return {};
        switch (row) {
        case 0: return tr("Only in %1 (%2)").arg(whichName_).arg(comparison_.onlyInFirst.size());
        case 1: return tr("Only in %1 (%2)").arg(currentName_).arg(comparison_.onlyInSecond.size());
        default: return tr("Changed (%1)").arg(comparison_.changed.size());
        }
    }
    if (id < kFieldBase) {
        if (index.column() != 0) return {};
        // A record in one line: its key and its first texts, "ID 12, Ann, Smith".
        if (id == 1) return Harmless(records::RecordName(which_.Columns(), which_.At(comparison_.onlyInFirst[row]), key));
        if (id == 2) return Harmless(records::RecordName(current_, comparison_.onlyInSecond[row], key));
        return Harmless(records::RecordName(which_.Columns(), which_.At(comparison_.changed[row].first), key));
    }
    const records::Comparison::Changed& change = comparison_.changed[id - kFieldBase];
    const std::string& field = change.fields[row];
    switch (index.column()) {
    case 0: return Harmless(field);
    case 1: return CellText(which_.Columns(), which_.At(change.first), field);
    default: return CellText(current_.columns, current_.records[change.second], field);
    }
}

QVariant ComparisonModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case 0: return tr("Record");
    case 1: return tr("In %1").arg(whichName_);
    case 2: return tr("In %1").arg(currentName_);
    default: return {};
    }
}

std::pair<size_t, size_t> ComparisonModel::Rows(const QModelIndex& index) const {
    if (!index.isValid()) return {0, 0};
    const quintptr id = index.internalId();
    const size_t row = size_t(index.row());
    if (id == 0) {
        if (row == 0) return {0, rows_.OnlyInSecondStart()};
        if (row == 1) return {rows_.OnlyInSecondStart(), rows_.ChangedStart()};
        return {rows_.ChangedStart(), rows_.Size()};
    }
    if (id == 1) return {row, row + 1};
    if (id == 2) return {rows_.OnlyInSecondStart() + row, rows_.OnlyInSecondStart() + row + 1};
    if (id == 3) return {rows_.ChangedStart(row), rows_.ChangedStart(row) + comparison_.changed[row].fields.size()};
    const size_t first = rows_.ChangedStart(id - kFieldBase);
    return {first + row, first + row + 1};
}

}  // namespace gui
