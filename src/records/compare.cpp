#include "records/compare.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <unordered_map>

#include "records/render.h"
#include "vb/casefold.h"

namespace records {

namespace {

// The bytes of a cell, told apart by kind, so that equal encodings are
// equal values. Each is prefixed by its kind and, for texts and bytes, by
// its length, so that a concatenation of encodings is unambiguous.
void Encode(std::string& out, const Cell& cell) {
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

const Cell kNull = Null{};

const Cell& At(const Record& record, int column) {
    return column >= 0 && static_cast<size_t>(column) < record.size() ? record[column] : kNull;
}

// The key columns chosen, as indexes into both tables; empty: whole record.
struct KeyColumns {
    std::vector<int> first, second;
};

bool AllCommon(const std::vector<std::string>& names, const Table& a, const Table& b, KeyColumns& key) {
    if (names.empty()) return false;
    KeyColumns found;
    for (const std::string& name : names) {
        const int i = ColumnIndex(a.columns, name), j = ColumnIndex(b.columns, name);
        if (i < 0 || j < 0) return false;
        found.first.push_back(i);
        found.second.push_back(j);
    }
    key = std::move(found);
    return true;
}

}  // namespace

bool SameValue(const Cell& a, const Cell& b) {
    std::string x, y;
    Encode(x, a);
    Encode(y, b);
    return x == y;
}

Comparison Compare(const Table& first, const Table& second) {
    Comparison result;
    std::vector<int> mine, theirs;  // the common columns in each table
    for (size_t i = 0; i < first.columns.size(); ++i) {
        const int j = ColumnIndex(second.columns, first.columns[i].name);
        if (j < 0) {
            result.onlyInFirstColumns.push_back(first.columns[i].name);
            continue;
        }
        result.common.push_back(first.columns[i].name);
        mine.push_back(static_cast<int>(i));
        theirs.push_back(j);
    }
    for (const Column& column : second.columns)
        if (ColumnIndex(first.columns, column.name) < 0) result.onlyInSecondColumns.push_back(column.name);

    KeyColumns key;
    if (AllCommon(first.primaryKey, first, second, key) || AllCommon(second.primaryKey, first, second, key)) {
        result.matchedBy = Comparison::MatchedBy::PrimaryKey;
    } else if (AllCommon({"ID"}, first, second, key)) {
        result.matchedBy = Comparison::MatchedBy::IdColumn;
    }
    for (int i : key.first) result.key.push_back(first.columns[i].name);

    // "K" and the key's values; "R" and every common value where there is
    // no key or the key holds a Null.
    const auto identity = [&](const Record& record, const std::vector<int>& keyColumns,
                              const std::vector<int>& common) {
        std::string id = "K";
        for (int c : keyColumns) {
            if (std::holds_alternative<Null>(At(record, c))) {
                id.clear();
                break;
            }
            Encode(id, At(record, c));
        }
        if (keyColumns.empty() || id.empty()) {
            id = "R";
            for (int c : common) Encode(id, At(record, c));
        }
        return id;
    };

    std::unordered_map<std::string, std::deque<size_t>> waiting;
    waiting.reserve(second.records.size());
    for (size_t n = 0; n < second.records.size(); ++n)
        waiting[identity(second.records[n], key.second, theirs)].push_back(n);

    std::vector<bool> paired(second.records.size(), false);
    for (size_t n = 0; n < first.records.size(); ++n) {
        const auto it = waiting.find(identity(first.records[n], key.first, mine));
        if (it == waiting.end() || it->second.empty()) {
            result.onlyInFirst.push_back(n);
            continue;
        }
        const size_t m = it->second.front();
        it->second.pop_front();
        paired[m] = true;
        Comparison::Changed change{n, m, {}};
        for (size_t c = 0; c < mine.size(); ++c)
            if (!SameValue(At(first.records[n], mine[c]), At(second.records[m], theirs[c])))
                change.fields.push_back(result.common[c]);
        if (!change.fields.empty()) result.changed.push_back(std::move(change));
    }
    for (size_t m = 0; m < second.records.size(); ++m)
        if (!paired[m]) result.onlyInSecond.push_back(m);
    return result;
}

int ColumnIndex(const std::vector<Column>& columns, const std::string& name) {
    for (size_t i = 0; i < columns.size(); ++i)
        if (vb::EqualsIgnoringCase(columns[i].name, name)) return static_cast<int>(i);
    return -1;
}

std::string RecordName(const Table& table, size_t record, const std::vector<std::string>& key) {
    const Record& row = table.records[record];
    const auto value = [&](size_t c) {
        return c < row.size() && !std::holds_alternative<Null>(row[c]) ? DisplayText(row[c]) : std::string("(Null)");
    };
    std::string name;
    std::vector<size_t> named;
    for (const std::string& column : key)
        if (const int c = ColumnIndex(table.columns, column); c >= 0) named.push_back(static_cast<size_t>(c));
    if (named.empty())
        for (size_t c = 0; c < table.columns.size() && c < 3; ++c) named.push_back(c);
    for (size_t c : named) name += (name.empty() ? "" : ", ") + table.columns[c].name + " " + value(c);
    size_t texts = 0;
    for (size_t c = 0; c < table.columns.size() && c < row.size() && texts < 2; ++c) {
        if (table.columns[c].kind != Kind::Text || std::find(named.begin(), named.end(), c) != named.end()) continue;
        const std::string* text = std::get_if<std::string>(&row[c]);
        if (!text || text->empty()) continue;
        name += ", " + *text;
        ++texts;
    }
    return name;
}

}  // namespace records
