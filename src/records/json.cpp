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

namespace {


// A JSON string as nlohmann writes it: quotes, backslashes and control
// characters escaped, everything else as it is.
void AppendString(std::string& out, std::string_view text) {
    if (!IsUtf8(text)) {
        out += nlohmann::ordered_json(std::string(text)).dump(-1, ' ', false,
                                                             nlohmann::ordered_json::error_handler_t::replace);
        return;
    }
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static const char kHex[] = "0123456789abcdef";
                out += "\\u00";
                out += kHex[(c >> 4) & 0xF];
                out += kHex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

}  // namespace

void AppendRecordJson(std::string& out, const std::vector<Column>& columns, const Record& record) {
    out += '{';
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) out += ',';
        AppendString(out, columns[i].name);
        out += ':';
        const Cell* cell = i < record.size() ? &record[i] : nullptr;
        if (!cell || std::holds_alternative<Null>(*cell)) {
            out += "null";
        } else if (const auto* v = std::get_if<int64_t>(cell)) {
            out += std::to_string(*v);
        } else if (const auto* t = std::get_if<std::string>(cell)) {
            AppendString(out, *t);
        } else if (const auto* b = std::get_if<YesNo>(cell)) {
            out += b->value ? "true" : "false";
        } else if (std::holds_alternative<vb::DateTime>(*cell) || std::holds_alternative<Bytes>(*cell)) {
            AppendString(out, ExportText(*cell));
        } else {
            out += CellJson(*cell).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
        }
    }
    out += '}';
}

nlohmann::ordered_json RecordJson(const std::vector<Column>& columns, const Record& record) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (size_t i = 0; i < columns.size(); ++i) object[columns[i].name] = i < record.size() ? CellJson(record[i]) : nullptr;
    return object;
}

bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length;
        char32_t value, least;
        // The length of the sequence c starts, and the least value it may
        // stand for (a longer form than needed is not UTF-8).
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2, value = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, value = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, value = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            value = (value << 6) | (next & 0x3F);
        }
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

}  // namespace records
