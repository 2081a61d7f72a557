#include "records/compare_text.h"

#include <algorithm>

#include "records/render.h"

namespace records {

DifferenceRows::DifferenceRows(const RecordsView& first, const Table& second, const Comparison& comparison,
                               std::string firstName, std::string secondName)
    : first_(first),
      second_(second),
      comparison_(comparison),
      firstName_(std::move(firstName)),
      secondName_(std::move(secondName)) {
    size_t rows = 0;
    for (const Comparison::Changed& change : comparison_.changed) {
        changedStarts_.push_back(rows);
        rows += change.fields.size();
    }
    size_ = ChangedStart() + rows;
}

void DifferenceRows::AppendHeader(std::string& out, const Delimited& style) const {
    const std::string names[] = {"Difference", "Record", "Field", "In " + firstName_, "In " + secondName_};
    for (size_t i = 0; i < std::size(names); ++i) {
        if (i > 0) out += style.separator;
        AppendField(out, names[i], style);
    }
    out += style.lineEnd;
}

void DifferenceRows::AppendRows(std::string& out, size_t from, size_t to, const Delimited& style) const {
    for (size_t row = from; row < to && row < size_; ++row) AppendRow(out, row, style);
}

void DifferenceRows::AppendRow(std::string& out, size_t row, const Delimited& style) const {
    const auto fields = [&](const std::vector<std::string>& cells) {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i > 0) out += style.separator;
            AppendField(out, cells[i], style);
        }
        out += style.lineEnd;
    };
    const std::vector<std::string>& key = comparison_.key;
    if (row < OnlyInSecondStart()) {
        fields({"Only in " + firstName_, RecordName(first_.Columns(), first_.At(comparison_.onlyInFirst[row]), key), "",
                "", ""});
        return;
    }
    if (row < ChangedStart()) {
        fields({"Only in " + secondName_, RecordName(second_, comparison_.onlyInSecond[row - OnlyInSecondStart()], key),
                "", "", ""});
        return;
    }
    const size_t at = row - ChangedStart();
    const size_t k = static_cast<size_t>(std::upper_bound(changedStarts_.begin(), changedStarts_.end(), at) -
                                         changedStarts_.begin()) - 1;
    const Comparison::Changed& change = comparison_.changed[k];
    const std::string& field = change.fields[at - changedStarts_[k]];
    const Record mine = first_.At(change.first);
    const auto value = [&](const std::vector<Column>& columns, const Record& record) {
        const int c = ColumnIndex(columns, field);
        return c < 0 || static_cast<size_t>(c) >= record.size() ? std::string()
                                                                  : ExportText(record[static_cast<size_t>(c)]);
    };
    fields({"Changed", RecordName(first_.Columns(), mine, key), field, value(first_.Columns(), mine),
            value(second_.columns, second_.records[change.second])});
}

}  // namespace records
