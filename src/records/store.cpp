#include "records/store.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "records/filter.h"
#include "vb/casefold.h"

namespace records {

namespace {

constexpr size_t kBlock = 4 << 20;
constexpr char kEnd = '\xFF';  // ends a cell in the text arena

enum Tag : uint8_t {
    kNull, kInteger, kDouble, kCurrency, kYes, kNo, kDate, kWideDate, kText, kInlineText, kBytes,
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

// Each character of the Basic Multilingual Plane folded, and the characters
// that fold to each: made once.
struct FoldTables {
    std::vector<char16_t> fold;                           // by character
    std::vector<std::vector<char32_t>> folding;           // by folded character
    FoldTables() : fold(0x10000), folding(0x10000) {
        for (char32_t c = 0; c < 0x10000; ++c) {
            const char32_t f = vb::UpperOf(c);
            fold[c] = static_cast<char16_t>(f);
            if (f < 0x10000) folding[f].push_back(c);
        }
    }
};
const FoldTables& Tables() {
    static const FoldTables tables;
    return tables;
}
char32_t Fold(char32_t c) { return c < 0x10000 ? Tables().fold[c] : c; }

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
            // Text of a Text column goes to the text arena, where Find looks;
            // one that holds the byte ending a cell there stays here.
            if (columns_[i].kind == Kind::Text && t->find(kEnd) == std::string::npos) {
                cells += static_cast<char>(kText);
                text += *t;
                text += kEnd;
            } else {
                cells += static_cast<char>(kInlineText);
                PutVarint(cells, t->size());
                cells += *t;
                if (columns_[i].kind == Kind::Text &&
                    (aside_.empty() || aside_.back() != static_cast<uint32_t>(Size() - 1)))
                    aside_.push_back(static_cast<uint32_t>(Size() - 1));
            }
        } else if (const auto* bytes = std::get_if<Bytes>(&cell)) {
            cells += static_cast<char>(kBytes);
            PutVarint(cells, bytes->data.size());
            cells += bytes->data;
        } else {
            cells += static_cast<char>(kNull);
        }
    }
}

void RecordStore::Append(const RecordStore& more) {
    const auto offset = static_cast<uint32_t>(Size());
    for (uint32_t n : more.aside_) aside_.push_back(n + offset);
    cells_.Append(more.cells_);
    text_.Append(more.text_);
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

// The text to find, folded; where it may begin (its first character in each
// form that folds to it); and whether it begins at a place, read and folded
// character by character.
// The first bytes of the forms that fold to c, each form as UTF-8 (a
// stand-in as the byte it stands for).
std::vector<std::string> FormsOf(char32_t c) {
    std::vector<char32_t> forms;
    if (c < 0x10000) forms = Tables().folding[c];
    if (forms.empty()) forms.push_back(c);
    std::vector<std::string> out;
    for (char32_t form : forms) {
        std::string bytes;
        if (form >= 0xDC80 && form <= 0xDCFF) bytes += static_cast<char>(form - 0xDC00);
        else vb::AppendUtf8(bytes, form);
        out.push_back(std::move(bytes));
    }
    return out;
}

void AddByte(std::string& set, char byte) {
    if (set.find(byte) == std::string::npos) set += byte;
}

class RecordStore::Search {
public:
    // Where a match may begin: its first byte is one of first_, and (when
    // second_ is not empty) the byte after it one of second_: the second
    // byte of a form of the first character, or the first byte of a form of
    // the second. Both are checked 16 bytes at a time, so that the text is
    // read once whatever the case of what it holds.
    explicit Search(std::string_view text) : folded_(vb::FoldCase(text)) {
        if (folded_.empty()) return;
        bool oneByteForm = false;
        for (const std::string& form : FormsOf(folded_[0])) {
            AddByte(first_, form[0]);
            if (form.size() > 1) AddByte(second_, form[1]);
            else oneByteForm = true;
        }
        if (oneByteForm && folded_.size() == 1) second_.clear();  // any byte may follow
        else if (oneByteForm)
            for (const std::string& form : FormsOf(folded_[1])) AddByte(second_, form[0]);
    }
    bool Empty() const { return folded_.empty(); }

    // The first place at or after `from` where the text begins; npos: none.
    size_t Find(std::string_view text, size_t from) const {
        for (size_t at = from; (at = Candidate(text, at)) != std::string_view::npos; ++at)
            if (At(text, at)) return at;
        return std::string_view::npos;
    }

private:
    bool Fits(std::string_view text, size_t at) const {
        if (first_.find(text[at]) == std::string::npos) return false;
        return second_.empty() || (at + 1 < text.size() && second_.find(text[at + 1]) != std::string::npos);
    }

    size_t Candidate(std::string_view text, size_t at) const {
#if defined(__SSE2__)
        // Each set as four bytes (repeated to fill them), compared at once.
        if (first_.size() <= 4 && second_.size() <= 4) {
            const auto wide = [](const std::string& set, __m128i* out) {
                for (size_t k = 0; k < 4; ++k) out[k] = _mm_set1_epi8(set.empty() ? 0 : set[std::min(k, set.size() - 1)]);
            };
            __m128i f[4], g[4];
            wide(first_, f);
            wide(second_, g);
            const auto any = [](__m128i v, const __m128i* set) {
                return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, set[0]), _mm_cmpeq_epi8(v, set[1])),
                                    _mm_or_si128(_mm_cmpeq_epi8(v, set[2]), _mm_cmpeq_epi8(v, set[3])));
            };
            const bool pair = !second_.empty();
            for (; at + 17 <= text.size(); at += 16) {
                __m128i hits = any(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at)), f);
                if (pair)
                    hits = _mm_and_si128(hits, any(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at + 1)), g));
                if (const int mask = _mm_movemask_epi8(hits)) return at + static_cast<size_t>(__builtin_ctz(mask));
            }
        }
#endif
        for (; at < text.size(); ++at)
            if (Fits(text, at)) return at;
        return std::string_view::npos;
    }

    bool At(std::string_view text, size_t at) const {
        // The byte that ends a cell is no character of any text here (a text
        // that holds it is kept aside).
        for (const char32_t want : folded_) {
            if (at >= text.size() || text[at] == kEnd) return false;
            // ASCII folds to its capitals, as FoldCase folds it.
            if (const auto byte = static_cast<unsigned char>(text[at]); byte < 0x80) {
                if (static_cast<char32_t>(byte >= 'a' && byte <= 'z' ? byte - ('a' - 'A') : byte) != want) return false;
                ++at;
            } else if (Fold(vb::DecodeUtf8(text, at)) != want) {
                return false;
            }
        }
        return true;
    }

    std::u32string folded_;
    std::string first_, second_;
};

std::vector<uint32_t> RecordStore::Matching(std::string_view text, const std::vector<uint32_t>* within) const {
    std::vector<uint32_t> found;
    const Search search(text);
    const auto aside = [&](uint32_t n) {
        return std::binary_search(aside_.begin(), aside_.end(), n) && Finder(text).InRecord(columns_, Get(n));
    };
    // Among many records, one pass over all the text and keeping those
    // within is faster than a search record by record.
    if (within && !search.Empty() && within->size() > Size() / 4) {
        std::vector<uint32_t> all = Matching(text), both;
        std::set_intersection(all.begin(), all.end(), within->begin(), within->end(), std::back_inserter(both));
        return both;
    }
    if (within) {
        for (uint32_t n : *within) {
            if (n >= Size()) break;
            if (search.Empty() || search.Find(text_.Of(n), 0) != std::string_view::npos || aside(n)) found.push_back(n);
        }
        return found;
    }
    if (search.Empty()) {
        found.resize(Size());
        for (uint32_t n = 0; n < found.size(); ++n) found[n] = n;
        return found;
    }
    // One pass over each block of text; each place found names its record,
    // and the search goes on at the next record's text.
    const std::vector<uint64_t>& starts = text_.starts;
    size_t n = 0;
    for (size_t b = 0; b < text_.blocks.size(); ++b) {
        const std::string_view block = text_.blocks[b];
        for (size_t at = 0; (at = search.Find(block, at)) != std::string_view::npos;) {
            // The record that holds the place: after the last one found, and
            // most often close after it, so looked for from there outwards.
            const uint64_t place = uint64_t(b) << 32 | at;
            size_t step = 1;
            while (n + step < starts.size() && starts[n + step] <= place) step *= 2;
            const auto from = starts.begin() + static_cast<std::ptrdiff_t>(n);
            const auto to = starts.begin() + static_cast<std::ptrdiff_t>(std::min(n + step, starts.size()));
            n = static_cast<size_t>(std::upper_bound(from, to, place) - starts.begin()) - 1;
            found.push_back(static_cast<uint32_t>(n));
            at = n + 1 < starts.size() && (starts[n + 1] >> 32) == b ? starts[n + 1] & 0xFFFFFFFF : block.size();
        }
    }
    for (uint32_t held : aside_)
        if (!std::binary_search(found.begin(), found.end(), held) && aside(held))
            found.insert(std::upper_bound(found.begin(), found.end(), held), held);
    return found;
}

size_t RecordStore::MemoryBytes() const { return cells_.Bytes() + text_.Bytes() + aside_.capacity() * sizeof(uint32_t); }

}  // namespace records
