#include "records/matching.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace records {

namespace {

uint64_t Mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ull;
    x ^= x >> 33;
    return x;
}

// A 64-bit digest of `bytes` under `seed`: each eight bytes mixed in turn.
uint64_t Digest(const std::string& bytes, uint64_t seed) {
    uint64_t h = Mix(seed ^ (bytes.size() * 0x9E3779B97F4A7C15ull));
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        h = Mix(h ^ Mix(word + seed));
    }
    uint64_t tail = 0;
    std::memcpy(&tail, bytes.data() + i, bytes.size() - i);
    return Mix(h ^ Mix(tail ^ (seed << 1)));
}

void Digest128(const std::string& bytes, uint64_t out[2]) {
    out[0] = Digest(bytes, 0x243F6A8885A308D3ull);
    out[1] = Digest(bytes, 0x13198A2E03707344ull);
}

const Cell kNull = Null{};

const Cell& At(const Record& record, int column) {
    return column >= 0 && static_cast<size_t>(column) < record.size() ? record[column] : kNull;
}

bool AllCommon(const std::vector<std::string>& names, const std::vector<Column>& a, const std::vector<Column>& b,
               std::vector<int>& first, std::vector<int>& second) {
    if (names.empty()) return false;
    std::vector<int> x, y;
    for (const std::string& name : names) {
        const int i = ColumnIndex(a, name), j = ColumnIndex(b, name);
        if (i < 0 || j < 0) return false;
        x.push_back(i);
        y.push_back(j);
    }
    first = std::move(x);
    second = std::move(y);
    return true;
}

auto IdOf(const Fingerprint& f) { return std::tie(f.id[0], f.id[1]); }

}  // namespace

Comparison Matching::Empty() const {
    Comparison c;
    c.matchedBy = matchedBy;
    c.key = key;
    c.common = common;
    c.onlyInFirstColumns = onlyInFirstColumns;
    c.onlyInSecondColumns = onlyInSecondColumns;
    return c;
}

std::vector<std::string> Matching::Differing(const Record& first, const Record& second) const {
    std::vector<std::string> fields;
    for (size_t c = 0; c < firstCommon.size(); ++c)
        if (!SameValue(At(first, firstCommon[c]), At(second, secondCommon[c]))) fields.push_back(common[c]);
    return fields;
}

Matching MatchColumns(const std::vector<Column>& first, const std::vector<std::string>& firstKey,
                      const std::vector<Column>& second, const std::vector<std::string>& secondKey) {
    Matching m;
    for (size_t i = 0; i < first.size(); ++i) {
        const int j = ColumnIndex(second, first[i].name);
        if (j < 0) {
            m.onlyInFirstColumns.push_back(first[i].name);
            continue;
        }
        m.common.push_back(first[i].name);
        m.firstCommon.push_back(static_cast<int>(i));
        m.secondCommon.push_back(j);
    }
    for (const Column& column : second)
        if (ColumnIndex(first, column.name) < 0) m.onlyInSecondColumns.push_back(column.name);
    if (AllCommon(firstKey, first, second, m.firstKey, m.secondKey) ||
        AllCommon(secondKey, first, second, m.firstKey, m.secondKey))
        m.matchedBy = Comparison::MatchedBy::PrimaryKey;
    else if (AllCommon({"ID"}, first, second, m.firstKey, m.secondKey))
        m.matchedBy = Comparison::MatchedBy::IdColumn;
    for (int i : m.firstKey) m.key.push_back(first[static_cast<size_t>(i)].name);
    return m;
}

Fingerprint FingerprintOf(const Record& record, const std::vector<int>& key, const std::vector<int>& common,
                          uint32_t number) {
    Fingerprint f;
    f.record = number;
    std::string values = "R";
    for (int c : common) EncodeCell(values, At(record, c));
    Digest128(values, f.values);
    // "K" and the key's values; the record's values where there is no key
    // or the key holds a Null, which identifies nothing.
    std::string id = "K";
    for (int c : key) {
        if (std::holds_alternative<Null>(At(record, c))) {
            id.clear();
            break;
        }
        EncodeCell(id, At(record, c));
    }
    if (key.empty() || id.empty()) std::copy(std::begin(f.values), std::end(f.values), std::begin(f.id));
    else Digest128(id, f.id);
    return f;
}

PairingIndex::PairingIndex(std::vector<Fingerprint> first) : sorted_(std::move(first)), taken_(sorted_.size(), 0) {
    std::sort(sorted_.begin(), sorted_.end(), [](const Fingerprint& a, const Fingerprint& b) {
        return std::tie(a.id[0], a.id[1], a.record) < std::tie(b.id[0], b.id[1], b.record);
    });
}

std::optional<PairingIndex::Pair> PairingIndex::Take(const Fingerprint& other) {
    const auto run = std::lower_bound(sorted_.begin(), sorted_.end(), other,
                                      [](const Fingerprint& a, const Fingerprint& b) { return IdOf(a) < IdOf(b); });
    if (run == sorted_.end() || IdOf(*run) != IdOf(other)) return std::nullopt;
    const size_t start = static_cast<size_t>(run - sorted_.begin());
    const size_t at = start + taken_[start];
    if (at >= sorted_.size() || IdOf(sorted_[at]) != IdOf(other)) return std::nullopt;  // the run is used up
    ++taken_[start];
    const Fingerprint& mine = sorted_[at];
    return Pair{mine.record, mine.values[0] != other.values[0] || mine.values[1] != other.values[1]};
}

std::vector<uint32_t> PairingIndex::Unpaired() const {
    std::vector<uint32_t> left;
    for (size_t start = 0; start < sorted_.size();) {
        size_t end = start + 1;
        while (end < sorted_.size() && IdOf(sorted_[end]) == IdOf(sorted_[start])) ++end;
        for (size_t k = start + taken_[start]; k < end; ++k) left.push_back(sorted_[k].record);
        start = end;
    }
    std::sort(left.begin(), left.end());
    return left;
}

void CompareAsRead::Layout(Source::Layout layout) {
    matching_ = MatchColumns(first_.Columns(), first_.PrimaryKey(), layout.columns, layout.primaryKey);
    result_ = matching_.Empty();
    kept_ = Table{std::move(layout.columns), std::move(layout.primaryKey), {}, layout.storedCount};
    std::vector<Fingerprint> prints;
    prints.reserve(first_.Count());
    for (size_t n = 0; n < first_.Count(); ++n)
        prints.push_back(
            FingerprintOf(first_.At(n), matching_.firstKey, matching_.firstCommon, static_cast<uint32_t>(n)));
    index_.emplace(std::move(prints));
}

void CompareAsRead::Add(Record&& record) {
    if (!index_) Layout({});
    const Fingerprint print = FingerprintOf(record, matching_.secondKey, matching_.secondCommon, read_++);
    const std::optional<PairingIndex::Pair> pair = index_->Take(print);
    if (!pair) {
        result_.onlyInSecond.push_back(kept_.records.size());
        kept_.records.push_back(std::move(record));
        return;
    }
    if (!pair->differs) return;
    Comparison::Changed change{pair->first, kept_.records.size(),
                               matching_.Differing(first_.At(pair->first), record)};
    if (change.fields.empty()) return;  // only their digests differed
    kept_.records.push_back(std::move(record));
    result_.changed.push_back(std::move(change));
}

Comparison CompareAsRead::Finish() {
    if (!index_) Layout({});
    for (uint32_t n : index_->Unpaired()) result_.onlyInFirst.push_back(n);
    std::sort(result_.changed.begin(), result_.changed.end(),
              [](const Comparison::Changed& a, const Comparison::Changed& b) { return a.first < b.first; });
    return std::move(result_);
}

}  // namespace records
