#include "gui/records_model.h"

#include <QTextDocument>

#include "records/filter.h"
#include "records/render.h"

namespace gui {

namespace {

QString OneLine(const std::string& text) {
    QString line = QString::fromStdString(records::Escaped(text, /*backslash=*/false));
    if (line.size() > RecordsModel::kShownCharacters) {
        line.truncate(RecordsModel::kShownCharacters);
        if (line.back().isHighSurrogate()) line.chop(1);
        line += QChar(0x2026);
    }
    return line;
}

// A few lines of the value, each made harmless and cut, as plain text
// (never markup); Show Value gives the value whole.
QString Tooltip(const std::string& text) {
    constexpr int kLines = 8;
    QStringList lines;
    size_t from = 0;
    for (size_t at; lines.size() < kLines && (at = text.find('\n', from)) != std::string::npos; from = at + 1)
        lines << OneLine(text.substr(from, at - from));
    if (lines.size() < kLines) lines << OneLine(text.substr(from));
    else lines << QStringLiteral("\u2026");
    return Qt::convertFromPlainText(lines.join(QLatin1Char('\n')), Qt::WhiteSpaceNormal);
}

}  // namespace

RecordsModel::RecordsModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordsModel::SetColumns(std::vector<records::Column> columns, std::vector<std::string> primaryKey,
                              std::optional<uint64_t> storedCount) {
    beginResetModel();
    store_ = records::RecordStore(std::move(columns), std::move(primaryKey), storedCount);
    decodedNumber_ = SIZE_MAX;
    shown_.clear();
    places_ = {};
    endResetModel();
}

void RecordsModel::Append(const records::RecordStore& batch) {
    if (batch.Size() == 0) return;
    const uint32_t first = static_cast<uint32_t>(store_.Size());
    std::vector<uint32_t> added;
    if (filter_.empty()) {
        for (uint32_t n = 0; n < batch.Size(); ++n) added.push_back(first + n);
    } else {
        for (uint32_t n : batch.Matching(filter_)) added.push_back(first + n);
    }
    store_.Append(batch);
    if (added.empty()) return;
    beginInsertRows({}, static_cast<int>(shown_.size()), static_cast<int>(shown_.size() + added.size() - 1));
    shown_.insert(shown_.end(), added.begin(), added.end());
    places_.at.insert(places_.at.end(), added.size(), records::FoundPlaces::kUnknown);
    endInsertRows();
}

void RecordsModel::SetFilter(const QString& text) {
    const std::string typed = text.toStdString();
    if (typed == filter_) return;
    // Text that contains the last one can match only records that matched
    // it; one that begins with it, only from where each of those held it.
    const bool narrower = records::FoldedText(typed).find(records::FoldedText(filter_)) != std::string::npos;
    std::vector<uint32_t> shown = store_.Matching(typed, narrower && !filter_.empty() ? &shown_ : nullptr, places_);
    filter_ = typed;
    // The same records as before (a letter more that every one shown still
    // holds): the table stays as it is, without a reset of a million rows.
    if (shown == shown_) return;
    beginResetModel();
    shown_ = std::move(shown);
    endResetModel();
}

int RecordsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int RecordsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(store_.Columns().size());
}

const records::Record& RecordsModel::Decoded(size_t n) const {
    if (n != decodedNumber_) {
        decoded_ = store_.Get(n);
        decodedNumber_ = n;
    }
    return decoded_;
}

QVariant RecordsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const records::Record& record = Decoded(shown_[index.row()]);
    if (static_cast<size_t>(index.column()) >= record.size()) return {};
    const records::Cell& cell = record[index.column()];
    switch (role) {
    case Qt::DisplayRole:
        return OneLine(records::DisplayText(cell));
    case Qt::ToolTipRole:
        if (const auto* text = std::get_if<std::string>(&cell);
            text && (text->find('\n') != std::string::npos ||
                     records::CharacterCount(*text) > static_cast<size_t>(kShownCharacters)))
            return Tooltip(*text);
        return {};
    case Qt::TextAlignmentRole: {
        const records::Kind kind = store_.Columns()[index.column()].kind;
        const bool number = kind == records::Kind::Integer || kind == records::Kind::Floating ||
                            kind == records::Kind::Currency;
        return QVariant::fromValue(Qt::Alignment((number ? Qt::AlignTrailing : Qt::AlignLeading) | Qt::AlignVCenter));
    }
    default:
        return {};
    }
}

QVariant RecordsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(records::Escaped(store_.Columns()[section].name, false));
    return {};
}

}  // namespace gui
