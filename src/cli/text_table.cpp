#include "cli/text_table.h"

#include <algorithm>

#include "records/render.h"

namespace cli {

TextTable::TextTable(std::vector<records::Column> columns, size_t widest)
    : columns_(std::move(columns)),
      widest_(widest),
      align_(widest == kWhole ? 40 : widest),
      width_(columns_.size(), 0) {
    for (size_t c = 0; c < columns_.size(); ++c) {
        const std::string name = records::CutToColumns(records::Escaped(columns_[c].name), widest_);
        width_[c] = std::min(records::TerminalColumns(name), align_);
    }
}

std::string TextTable::Cell(const records::Record& record, size_t c) const {
    return c < record.size() ? records::CutToColumns(records::Escaped(records::DisplayText(record[c])), widest_)
                             : std::string();
}

void TextTable::Fit(const std::vector<records::Record>& records) {
    for (const records::Record& record : records)
        for (size_t c = 0; c < columns_.size(); ++c)
            width_[c] = std::max(width_[c], std::min(records::TerminalColumns(Cell(record, c)), align_));
}

std::string TextTable::Lined(const std::vector<std::string>& cells) const {
    std::string row;
    for (size_t c = 0; c < cells.size(); ++c) {
        const std::string cell = widest_ == kWhole ? cells[c] : records::CutToColumns(cells[c], width_[c]);
        row += cell;
        const size_t drawn = records::TerminalColumns(cell);
        if (c + 1 < cells.size()) row += std::string(drawn < width_[c] ? width_[c] - drawn + 2 : 2, ' ');
    }
    while (!row.empty() && row.back() == ' ') row.pop_back();
    return row + "\n";
}

std::string TextTable::Header() const {
    std::vector<std::string> cells;
    for (const records::Column& column : columns_)
        cells.push_back(records::CutToColumns(records::Escaped(column.name), widest_));
    return Lined(cells);
}

std::string TextTable::Line(const records::Record& record) const {
    std::vector<std::string> cells;
    for (size_t c = 0; c < columns_.size(); ++c) cells.push_back(Cell(record, c));
    return Lined(cells);
}

std::string RecordsTableText(const records::Table& table, const std::vector<size_t>& rows, size_t widest) {
    TextTable text(table.columns, widest);
    for (size_t n : rows) text.Fit({table.records[n]});
    std::string out = text.Header();
    for (size_t n : rows) out += text.Line(table.records[n]);
    return out;
}

}  // namespace cli
