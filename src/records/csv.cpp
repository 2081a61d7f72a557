#include "records/csv.h"

#include "records/render.h"

namespace records {

void AppendField(std::string& out, std::string_view text, const Delimited& style, bool quoteEmpty) {
    bool quote = text.empty() ? quoteEmpty : (text.front() == ' ' || text.back() == ' ');
    for (char c : text)
        if (c == style.separator || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    if (!quote) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void AppendHeader(std::string& out, const std::vector<Column>& columns, const Delimited& style) {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) out += style.separator;
        AppendField(out, columns[i].name, style);
    }
    out += style.lineEnd;
}

void AppendRecord(std::string& out, const Record& record, const Delimited& style) {
    for (size_t i = 0; i < record.size(); ++i) {
        if (i > 0) out += style.separator;
        if (const auto* text = std::get_if<std::string>(&record[i]))
            AppendField(out, *text, style, /*quoteEmpty=*/true);
        else
            AppendField(out, ExportText(record[i]), style);
    }
    out += style.lineEnd;
}

std::string Write(const RecordsView& table, const std::vector<size_t>& rows, const Delimited& style) {
    std::string out;
    AppendHeader(out, table.Columns(), style);
    for (size_t n : rows)
        if (n < table.Count()) AppendRecord(out, table.At(n), style);
    return out;
}

}  // namespace records
