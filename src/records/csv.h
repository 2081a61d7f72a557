// Records as delimited text: CSV as RFC 4180 has it (comma-separated, CRLF
// line ends, UTF-8 without a byte-order mark, a header row of the column
// names) and, with a tab for the comma, the tab-separated text the
// clipboard carries to a spreadsheet. Values are their ExportText
// (render.h): Null is an empty field, binary base64, dates ISO 8601.
//
// A field is quoted, its quotes doubled, when it holds the separator, a
// quote, a line end or begins or ends with a blank; an empty text is
// written as "" so that it reads back apart from a Null.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/record.h"

namespace records {

struct Delimited {
    char separator = ',';
    std::string_view lineEnd = "\r\n";
};
inline constexpr Delimited kCsv{',', "\r\n"};
inline constexpr Delimited kTabSeparated{'\t', "\r\n"};

// Appends one field, quoted where it must be.
void AppendField(std::string& out, std::string_view text, const Delimited& style, bool quoteEmpty = false);
// Appends the header row: the column names.
void AppendHeader(std::string& out, const std::vector<Column>& columns, const Delimited& style);
// Appends one record as a row.
void AppendRecord(std::string& out, const Record& record, const Delimited& style);

// The header and the given records of `table` (record numbers, in the
// order given).
std::string Write(const RecordsView& table, const std::vector<size_t>& rows, const Delimited& style = kCsv);
inline std::string Write(const Table& table, const std::vector<size_t>& rows, const Delimited& style = kCsv) {
    return Write(TableView(table), rows, style);
}

}  // namespace records
