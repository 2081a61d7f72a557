#include "records/json.h"

#include "records/render.h"

namespace records {

nlohmann::ordered_json CellJson(const Cell& cell) {
    using nlohmann::ordered_json;
    if (std::holds_alternative<Null>(cell)) return nullptr;
    if (const auto* v = std::get_if<int64_t>(&cell)) return *v;
    if (const auto* d = std::get_if<double>(&cell)) return *d;  // not finite: null, as JSON has no such number
    if (const auto* c = std::get_if<Currency>(&cell)) {
        // Exact while it fits a double's digits; a whole amount as an integer.
        if (c->scaled % 10000 == 0) return c->scaled / 10000;
        return static_cast<double>(c->scaled) / 10000.0;
    }
    if (const auto* b = std::get_if<YesNo>(&cell)) return b->value;
    if (const auto* t = std::get_if<std::string>(&cell)) return *t;
    return ExportText(cell);  // dates and bytes
}

nlohmann::ordered_json RecordJson(const std::vector<Column>& columns, const Record& record) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (size_t i = 0; i < columns.size(); ++i) object[columns[i].name] = i < record.size() ? CellJson(record[i]) : nullptr;
    return object;
}

}  // namespace records
