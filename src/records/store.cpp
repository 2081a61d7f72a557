#include "records/store.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "records/filter.h"
#include "records/text_search.h"

namespace records {

namespace {

constexpr size_t kBlock = 4 << 20;
constexpr char kEnd = kCellEnd;  // ends a cell in the text arena

// kText: in the text arena; kEntryText: the column's dictionary entry;
// kLongText: the number of a long text (long_texts.h).
enum Tag : uint8_t {
    kNull, kInteger, kDouble, kCurrency, kYes, kNo, kDate, kWideDate, kText, kInlineText, kBytes, kEntryText, kLongText,
};

void PutVarint(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out += static_cast<char>(v | 0x80);
        v >>= 7;
    }
    out += static_cast<char>(v);
}
uint64_t GetVarint(std::string_view in, size_t& at) {
    uint64_t v = 0;
    for (int shift = 0; at < in.size(); shift += 7) {
        const auto b = static_cast<unsigned char>(in[at++]);
        v |= uint64_t{b & 0x7Fu} << shift;
        if (!(b & 0x80)) break;
    }
    return v;
}
uint64_t Zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
int64_t Unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

template <class T>
void PutRaw(std::string& out, const T& value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof value);
}
template <class T>
T GetRaw(std::string_view in, size_t& at) {
    T value{};
    if (at + sizeof value <= in.size()) std::memcpy(&value, in.data() + at, sizeof value);
    at += sizeof value;
    return value;
}

// A date in five bytes where it fits: year 0 to 16383, the rest as Jet keeps them.
bool PackDate(const vb::DateTime& d, uint64_t& packed) {
    if (d.year < 0 || d.year > 16383 || d.month < 0 || d.month > 15 || d.day < 0 || d.day > 31 || d.hour < 0 ||
        d.hour > 31 || d.minute < 0 || d.minute > 63 || d.second < 0 || d.second > 63)
        return false;
    packed = uint64_t(d.year) << 26 | uint64_t(d.month) << 22 | uint64_t(d.day) << 17 | uint64_t(d.hour) << 12 |
             uint64_t(d.minute) << 6 | uint64_t(d.second);
    return true;
}

// Moves `at` past the value of a cell tagged `tag`.
void SkipValue(std::string_view cells, size_t& at, Tag tag) {
    switch (tag) {
    case kInteger:
    case kCurrency:
    case kLongText: GetVarint(cells, at); break;
    case kDouble: at += sizeof(double); break;
    case kDate: at += 5; break;
    case kWideDate: at += 6 * sizeof(int); break;
    case kInlineText:
    case kBytes: {
        const size_t length = GetVarint(cells, at);
        at += length;
        break;
    }
    default: break;
    }
}

}  // namespace

void RecordStore::Arena::Begin(size_t bytes) {
    if (blocks.empty() || blocks.back().size() + bytes > blocks.back().capacity()) {
        blocks.emplace_back();
        blocks.back().reserve(std::max(kBlock, bytes));
    }
    starts.push_back(uint64_t(blocks.size() - 1) << 32 | blocks.back().size());
}

std::string_view RecordStore::Arena::Of(size_t n) const {
    const uint64_t at = starts[n];
    const std::string& block = blocks[at >> 32];
    const size_t from = at & 0xFFFFFFFF;
    size_t to = block.size();
    if (n + 1 < starts.size() && (starts[n + 1] >> 32) == (at >> 32)) to = starts[n + 1] & 0xFFFFFFFF;
    return std::string_view(block).substr(from, to - from);
}

void RecordStore::Arena::Append(const Arena& more) {
    for (size_t n = 0; n < more.starts.size(); ++n) {
        const std::string_view bytes = more.Of(n);
        Begin(bytes.size());
        Last().append(bytes);
    }
}

size_t RecordStore::Arena::Bytes() const {
    size_t bytes = starts.capacity() * sizeof(uint64_t);
    for (const std::string& block : blocks) bytes += block.capacity();
    return bytes;
}

void RecordStore::Add(const Record& record) {
    size_t textBytes = 0, cellBytes = columns_.size() * 10 + 64;
    for (size_t i = 0; i < columns_.size() && i < record.size(); ++i) {
        if (const auto* t = std::get_if<std::string>(&record[i]))
            (columns_[i].kind == Kind::Text ? textBytes : cellBytes) += t->size() + 1;
        else if (const auto* b = std::get_if<Bytes>(&record[i]))
            cellBytes += b->data.size();
    }
    const auto n = static_cast<uint32_t>(Size());
    cells_.Begin(cellBytes);
    text_.Begin(textBytes);
    std::string& cells = cells_.Last();
    std::string& text = text_.Last();
    for (size_t i = 0; i < columns_.size(); ++i) {
        const Cell& cell = i < record.size() ? record[i] : Cell{Null{}};
        if (const auto* v = std::get_if<int64_t>(&cell)) {
            cells += static_cast<char>(kInteger);
            PutVarint(cells, Zigzag(*v));
        } else if (const auto* d = std::get_if<double>(&cell)) {
            cells += static_cast<char>(kDouble);
            PutRaw(cells, *d);
        } else if (const auto* c = std::get_if<Currency>(&cell)) {
            cells += static_cast<char>(kCurrency);
            PutVarint(cells, Zigzag(c->scaled));
        } else if (const auto* b = std::get_if<YesNo>(&cell)) {
            cells += static_cast<char>(b->value ? kYes : kNo);
        } else if (const auto* date = std::get_if<vb::DateTime>(&cell)) {
            uint64_t packed = 0;
            if (PackDate(*date, packed)) {
                cells += static_cast<char>(kDate);
                cells.append(reinterpret_cast<const char*>(&packed), 5);
            } else {
                cells += static_cast<char>(kWideDate);
                for (int part : {date->year, date->month, date->day, date->hour, date->minute, date->second})
                    PutRaw(cells, part);
            }
        } else if (const auto* t = std::get_if<std::string>(&cell)) {
            PutText(i, n, *t, cells, text, /*shared=*/false);
        } else if (const auto* bytes = std::get_if<Bytes>(&cell)) {
            cells += static_cast<char>(kBytes);
            PutVarint(cells, bytes->data.size());
            cells += bytes->data;
        } else {
            cells += static_cast<char>(kNull);
        }
    }
}

void RecordStore::PutText(size_t column, uint32_t n, std::string_view t, std::string& cells, std::string& text,
                          bool shared) {
    // Text of a Text column is kept once in the column's dictionary where
    // the column repeats its texts, else in the text arena, where Find
    // looks; one that holds the byte ending a cell there stays here (a text
    // from another store's arena or dictionary never does).
    if (columns_[column].kind == Kind::Text && (shared || t.find(kEnd) == std::string_view::npos)) {
        if (t.size() > LongTexts::kLong) {
            cells += static_cast<char>(kLongText);
            PutVarint(cells, long_.Put(n, t));
        } else if (shared && dictionaries_[column].Put(n, t)) {
            cells += static_cast<char>(kEntryText);
        } else {
            cells += static_cast<char>(kText);
            text += t;
            text += kEnd;
        }
        return;
    }
    cells += static_cast<char>(kInlineText);
    PutVarint(cells, t.size());
    cells += t;
    if (columns_[column].kind == Kind::Text && (aside_.empty() || aside_.back() != n)) aside_.push_back(n);
}

// Each record's cells copied as they are, but its texts put again, so that
// they join this store's dictionaries.
void RecordStore::Append(const RecordStore& more) {
    const auto offset = static_cast<uint32_t>(Size());
    for (uint32_t n : more.aside_) aside_.push_back(n + offset);
    std::string cells, text;
    for (size_t m = 0; m < more.Size(); ++m) {
        const std::string_view from = more.cells_.Of(m), fromText = more.text_.Of(m);
        const auto n = static_cast<uint32_t>(Size());
        cells.clear();
        text.clear();
        size_t at = 0, textAt = 0;
        for (size_t i = 0; i < columns_.size() && at < from.size(); ++i) {
            const size_t start = at;
            const auto tag = static_cast<Tag>(from[at++]);
            if (tag == kText) {
                const size_t end = fromText.find(kEnd, textAt);
                PutText(i, n, fromText.substr(textAt, end - textAt), cells, text, true);
                textAt = end + 1;
            } else if (tag == kEntryText) {
                PutText(i, n, *more.dictionaries_[i].Of(m), cells, text, true);
            } else if (tag == kLongText) {
                cells += static_cast<char>(kLongText);
                PutVarint(cells, long_.Take(more.long_, static_cast<uint32_t>(GetVarint(from, at)), n));
            } else {
                SkipValue(from, at, tag);
                cells.append(from.substr(start, at - start));
            }
        }
        cells_.Begin(cells.size());
        cells_.Last() += cells;
        text_.Begin(text.size());
        text_.Last() += text;
    }
}

Record RecordStore::Get(size_t n) const {
    Record record;
    if (n >= Size()) return record;
    record.reserve(columns_.size());
    const std::string_view cells = cells_.Of(n), text = text_.Of(n);
    size_t at = 0, textAt = 0;
    for (size_t i = 0; i < columns_.size() && at < cells.size(); ++i) {
        const auto tag = static_cast<Tag>(cells[at++]);
        switch (tag) {
        case kInteger: record.emplace_back(Unzigzag(GetVarint(cells, at))); break;
        case kDouble: record.emplace_back(GetRaw<double>(cells, at)); break;
        case kCurrency: record.emplace_back(Currency{Unzigzag(GetVarint(cells, at))}); break;
        case kYes: record.emplace_back(YesNo{true}); break;
        case kNo: record.emplace_back(YesNo{false}); break;
        case kDate: {
            uint64_t packed = 0;
            std::memcpy(&packed, cells.data() + at, 5);
            at += 5;
            record.emplace_back(vb::DateTime{int(packed >> 26), int(packed >> 22 & 15), int(packed >> 17 & 31),
                                             int(packed >> 12 & 31), int(packed >> 6 & 63), int(packed & 63)});
            break;
        }
        case kWideDate: {
            vb::DateTime d;
            for (int* part : {&d.year, &d.month, &d.day, &d.hour, &d.minute, &d.second}) *part = GetRaw<int>(cells, at);
            record.emplace_back(d);
            break;
        }
        case kEntryText: record.emplace_back(*dictionaries_[i].Of(n)); break;
        case kLongText: record.emplace_back(long_.Text(static_cast<uint32_t>(GetVarint(cells, at)))); break;
        case kText: {
            const size_t end = text.find(kEnd, textAt);
            record.emplace_back(std::string(text.substr(textAt, end - textAt)));
            textAt = end + 1;
            break;
        }
        case kInlineText:
        case kBytes: {
            const size_t length = GetVarint(cells, at);
            std::string bytes(cells.substr(at, length));
            at += length;
            if (tag == kBytes) record.emplace_back(Bytes{std::move(bytes)});
            else record.emplace_back(std::move(bytes));
            break;
        }
        default: record.emplace_back(Null{}); break;
        }
    }
    return record;
}

std::vector<uint32_t> RecordStore::Matching(std::string_view text, const std::vector<uint32_t>* within) const {
    FoundPlaces places;
    return Matching(text, within, places);
}

std::vector<uint32_t> RecordStore::Matching(std::string_view text, const std::vector<uint32_t>* within,
                                            FoundPlaces& places) const {
    constexpr uint16_t kElsewhere = FoundPlaces::kElsewhere, kUnknown = FoundPlaces::kUnknown;
    std::vector<uint32_t> found;
    std::vector<uint16_t> at;  // beside found
    // How often each pair of bytes comes in the text, from its first quarter
    // MB, for the search to look for its rarest characters.
    std::vector<uint32_t> pairs(1 << 16, 0);
    if (!text_.blocks.empty()) {
        const std::string_view sample = std::string_view(text_.blocks.front()).substr(0, 1 << 18);
        for (size_t k = 0; k + 1 < sample.size(); ++k)
            ++pairs[static_cast<unsigned char>(sample[k]) << 8 | static_cast<unsigned char>(sample[k + 1])];
    }
    const TextSearch search(text, pairs.data());
    const std::u32string& folded = search.Folded();
    // Each record's matches from the places a shorter text was found at.
    bool narrowing = within && !search.Empty() && !places.folded.empty() && places.at.size() == within->size() &&
                     folded.compare(0, places.folded.size(), places.folded) == 0;
    // Where most of many records no longer hold it from their place on (as
    // a thousand spread over them tell), one pass over all the text costs less.
    if (narrowing && within->size() > Size() / 4) {
        const size_t stride = within->size() / 1024 + 1;
        size_t held = 0, looked = 0;
        for (size_t k = 0; k < within->size() && (*within)[k] < Size(); k += stride, ++looked) {
            const uint16_t from = places.at[k];
            held += from == kElsewhere ||
                    search.Find(text_.Of((*within)[k]), from == kUnknown ? 0 : from) != std::string_view::npos;
        }
        narrowing = held * 2 >= looked;
    }
    const auto done = [&] {
        places.folded = folded;
        places.at = std::move(at);
        return std::move(found);
    };
    const auto aside = [&](uint32_t n) {
        return std::binary_search(aside_.begin(), aside_.end(), n) && Finder(text).InRecord(columns_, Get(n));
    };
    // Among many records, one pass over all the text and keeping those
    // within is faster than a search record by record.
    if (within && !search.Empty() && !narrowing && within->size() > Size() / 4) {
        FoundPlaces all;
        const std::vector<uint32_t> inAll = Matching(text, nullptr, all);
        for (size_t k = 0, w = 0; k < inAll.size() && w < within->size(); ++k) {
            while (w < within->size() && (*within)[w] < inAll[k]) ++w;
            if (w < within->size() && (*within)[w] == inAll[k]) {
                found.push_back(inAll[k]);
                at.push_back(all.at[k]);
            }
        }
        return done();
    }
    // The entries of each column's dictionary that hold the text, each
    // looked at once rather than in every record that holds it.
    std::vector<std::pair<size_t, std::vector<uint8_t>>> holding;
    if (!search.Empty())
        for (size_t c = 0; c < dictionaries_.size(); ++c)
            if (std::vector<uint8_t> entries = dictionaries_[c].Holding(search); !entries.empty())
                holding.emplace_back(c, std::move(entries));
    const auto byEntry = [&](uint32_t n) {
        return std::any_of(holding.begin(), holding.end(),
                           [&](const auto& h) { return dictionaries_[h.first].Holds(h.second, n); });
    };
    // Records found elsewhere than in the text arena, joined to those found.
    const auto join = [&](const std::vector<uint32_t>& more) {
        if (more.empty()) return;
        std::vector<uint32_t> records;
        std::vector<uint16_t> places;
        records.reserve(found.size() + more.size());
        places.reserve(records.capacity());
        for (size_t k = 0, m = 0; k < found.size() || m < more.size();) {
            const bool fromMore = k == found.size() || (m < more.size() && more[m] < found[k]);
            records.push_back(fromMore ? more[m++] : found[k]);
            places.push_back(fromMore ? kElsewhere : at[k++]);
        }
        found = std::move(records);
        at = std::move(places);
    };
    if (within) {
        found.reserve(within->size());
        at.reserve(within->size());
        std::vector<uint32_t> rest;  // found neither in the text arena nor by entry
        for (size_t k = 0; k < within->size(); ++k) {
            const uint32_t n = (*within)[k];
            if (n >= Size()) break;
            size_t p = std::string_view::npos;
            // From where the text before was found; not where it was not.
            const uint16_t from = narrowing ? places.at[k] : kUnknown;
            if (search.Empty()) {
                p = kUnknown;
            } else if (from != kElsewhere) {
                const std::string_view t = text_.Of(n);
                p = from != kUnknown && search.At(t, from) ? from : search.Find(t, from == kUnknown ? 0 : from + 1u);
            }
            if (p != std::string_view::npos || byEntry(n)) {
                found.push_back(n);
                at.push_back(p == std::string_view::npos ? kElsewhere : static_cast<uint16_t>(std::min<size_t>(p, kUnknown)));
            } else {
                rest.push_back(n);
            }
        }
        std::vector<uint32_t> more = long_.Holding(search, rest);
        for (uint32_t n : rest)
            if (aside(n) && !std::binary_search(more.begin(), more.end(), n))
                more.insert(std::upper_bound(more.begin(), more.end(), n), n);
        join(more);
        return done();
    }
    if (search.Empty()) {
        found.resize(Size());
        for (uint32_t n = 0; n < found.size(); ++n) found[n] = n;
        at.assign(Size(), kUnknown);
        return done();
    }
    // One pass over each block of text; each place found names its record,
    // and the search goes on at the next record's text.
    const std::vector<uint64_t>& starts = text_.starts;
    size_t n = 0;
    for (size_t b = 0; b < text_.blocks.size(); ++b) {
        const std::string_view block = text_.blocks[b];
        for (size_t p = 0; (p = search.Find(block, p)) != std::string_view::npos;) {
            // The record that holds the place: after the last one found, and
            // most often close after it, so looked for from there outwards.
            const uint64_t place = uint64_t(b) << 32 | p;
            size_t step = 1;
            while (n + step < starts.size() && starts[n + step] <= place) step *= 2;
            const auto from = starts.begin() + static_cast<std::ptrdiff_t>(n);
            const auto to = starts.begin() + static_cast<std::ptrdiff_t>(std::min(n + step, starts.size()));
            n = static_cast<size_t>(std::upper_bound(from, to, place) - starts.begin()) - 1;
            found.push_back(static_cast<uint32_t>(n));
            at.push_back(static_cast<uint16_t>(std::min<size_t>(p - (starts[n] & 0xFFFFFFFF), kUnknown)));
            p = n + 1 < starts.size() && (starts[n + 1] >> 32) == b ? starts[n + 1] & 0xFFFFFFFF : block.size();
        }
    }
    // Those whose entries hold the text: each looked at where few are left,
    // else marked column by column.
    if (!holding.empty() && found.size() < Size()) {
        std::vector<uint32_t> more;
        if (found.size() > Size() / 2) {
            for (uint32_t k = 0, next = 0; k < Size(); ++k)
                if (next < found.size() && found[next] == k) ++next;
                else if (byEntry(k)) more.push_back(k);
        } else {
            std::vector<uint8_t> marks(Size(), 0);
            for (const auto& [column, entries] : holding) dictionaries_[column].Mark(entries, marks);
            for (uint32_t k : found) marks[k] = 0;
            for (uint32_t k = 0; k < marks.size(); ++k)
                if (marks[k]) more.push_back(k);
        }
        join(more);
    }
    join(long_.Matching(search, found));
    std::vector<uint32_t> more;
    for (uint32_t held : aside_)
        if (!std::binary_search(found.begin(), found.end(), held) && aside(held)) more.push_back(held);
    join(more);
    return done();
}

size_t RecordStore::MemoryBytes() const {
    size_t bytes = cells_.Bytes() + text_.Bytes() + aside_.capacity() * sizeof(uint32_t);
    for (const TextDictionary& dictionary : dictionaries_) bytes += dictionary.Bytes();
    bytes += long_.Bytes();
    return bytes;
}

}  // namespace records
