// Records as JSON, for the command line: an object per record keyed by
// column name in table order. Numbers are numbers (currency as the amount
// it stands for), Yes/No true or false, dates ISO 8601 without an offset,
// binary base64, Null null. Text is kept as its bytes; whoever writes the
// JSON out replaces what is not UTF-8 (nlohmann's error_handler_t::replace).
#pragma once

#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

#include "records/record.h"

namespace records {

nlohmann::ordered_json CellJson(const Cell& cell);
nlohmann::ordered_json RecordJson(const std::vector<Column>& columns, const Record& record);

// Appends the same object as RecordJson's dump(-1) with what is not UTF-8
// replaced, written straight out: what prints a million records writes it.
void AppendRecordJson(std::string& out, const std::vector<Column>& columns, const Record& record);

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(std::string_view text);

}  // namespace records
