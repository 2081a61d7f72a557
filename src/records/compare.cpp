#include "records/compare.h"

#include <algorithm>
#include <cstring>

#include "records/matching.h"
#include "records/render.h"
#include "vb/casefold.h"

namespace records {

void EncodeCell(std::string& out, const Cell& cell) {
    out += static_cast<char>('0' + cell.index());
    const auto raw = [&out](const auto& value) {
        char bytes[sizeof value];
        std::memcpy(bytes, &value, sizeof value);
        out.append(bytes, sizeof value);
    };
    const auto counted = [&](const std::string& text) {
        raw(static_cast<uint64_t>(text.size()));
        out += text;
    };
    if (const auto* v = std::get_if<int64_t>(&cell)) raw(*v);
    else if (const auto* d = std::get_if<double>(&cell)) raw(*d == 0 ? 0.0 : *d);
    else if (const auto* c = std::get_if<Currency>(&cell)) raw(c->scaled);
    else if (const auto* b = std::get_if<YesNo>(&cell)) out += b->value ? '1' : '0';
    else if (const auto* t = std::get_if<std::string>(&cell)) counted(*t);
    else if (const auto* dt = std::get_if<vb::DateTime>(&cell))
        for (int part : {dt->year, dt->month, dt->day, dt->hour, dt->minute, dt->second}) raw(part);
    else if (const auto* bytes = std::get_if<Bytes>(&cell)) counted(bytes->data);
}

bool SameValue(const Cell& a, const Cell& b) {
    std::string x, y;
    EncodeCell(x, a);
    EncodeCell(y, b);
    return x == y;
}

// The first table's fingerprints index the pairs; the second's records are
// paired with them in turn (matching.h), so that nothing the size of either
// table is built beside them.
Comparison Compare(const Table& first, const Table& second) {
    const Matching m = MatchColumns(first.columns, first.primaryKey, second.columns, second.primaryKey);
    Comparison result = m.Empty();
    std::vector<Fingerprint> prints;
    prints.reserve(first.records.size());
    for (size_t n = 0; n < first.records.size(); ++n)
        prints.push_back(FingerprintOf(first.records[n], m.firstKey, m.firstCommon, static_cast<uint32_t>(n)));
    PairingIndex index(std::move(prints));
    for (size_t n = 0; n < second.records.size(); ++n) {
        const auto pair =
            index.Take(FingerprintOf(second.records[n], m.secondKey, m.secondCommon, static_cast<uint32_t>(n)));
        if (!pair) {
            result.onlyInSecond.push_back(n);
            continue;
        }
        if (!pair->differs) continue;
        Comparison::Changed change{pair->first, n, m.Differing(first.records[pair->first], second.records[n])};
        if (!change.fields.empty()) result.changed.push_back(std::move(change));
    }
    for (uint32_t n : index.Unpaired()) result.onlyInFirst.push_back(n);
    std::sort(result.changed.begin(), result.changed.end(),
              [](const Comparison::Changed& a, const Comparison::Changed& b) { return a.first < b.first; });
    return result;
}

int ColumnIndex(const std::vector<Column>& columns, const std::string& name) {
    for (size_t i = 0; i < columns.size(); ++i)
        if (vb::EqualsIgnoringCase(columns[i].name, name)) return static_cast<int>(i);
    return -1;
}

std::string RecordName(const Table& table, size_t record, const std::vector<std::string>& key) {
    return RecordName(table.columns, table.records[record], key);
}

std::string RecordName(const std::vector<Column>& columns, const Record& row, const std::vector<std::string>& key) {
    const auto value = [&](size_t c) {
        return c < row.size() && !std::holds_alternative<Null>(row[c]) ? DisplayText(row[c]) : std::string("(Null)");
    };
    std::string name;
    std::vector<size_t> named;
    for (const std::string& column : key)
        if (const int c = ColumnIndex(columns, column); c >= 0) named.push_back(static_cast<size_t>(c));
    if (named.empty())
        for (size_t c = 0; c < columns.size() && c < 3; ++c) named.push_back(c);
    for (size_t c : named) name += (name.empty() ? "" : ", ") + columns[c].name + " " + value(c);
    size_t texts = 0;
    for (size_t c = 0; c < columns.size() && c < row.size() && texts < 2; ++c) {
        if (columns[c].kind != Kind::Text || std::find(named.begin(), named.end(), c) != named.end()) continue;
        const std::string* text = std::get_if<std::string>(&row[c]);
        if (!text || text->empty()) continue;
        name += ", " + *text;
        ++texts;
    }
    return name;
}

}  // namespace records
