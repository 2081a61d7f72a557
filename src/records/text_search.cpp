#include "records/text_search.h"

#include <algorithm>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "vb/casefold.h"

namespace records {

namespace {

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

}  // namespace

TextSearch::TextSearch(std::string_view text, const uint32_t* pairCounts) : folded_(vb::FoldCase(text)) {
    if (folded_.empty()) return;
    std::vector<std::vector<std::string>> forms;
    for (const char32_t c : folded_) forms.push_back(FormsOf(c));
    // The bytes an anchor at character i may begin with, and those after.
    const auto anchor = [&](size_t i, std::string& first, std::string& second) {
        bool oneByteForm = false;
        for (const std::string& form : forms[i]) {
            AddByte(first, form[0]);
            if (form.size() > 1) AddByte(second, form[1]);
            else oneByteForm = true;
        }
        if (oneByteForm && i + 1 == forms.size()) second.clear();  // any byte may follow
        else if (oneByteForm)
            for (const std::string& form : forms[i + 1]) AddByte(second, form[0]);
    };
    anchor(0, first_, second_);
    if (!pairCounts) return;
    // How often the sample holds a byte of `first` followed by one of `second`.
    const auto cost = [&](const std::string& first, const std::string& second) {
        size_t sum = 0;
        for (const char a : first)
            for (size_t b = 0; b < 256; ++b)
                if (second.empty() || second.find(static_cast<char>(b)) != std::string::npos)
                    sum += pairCounts[static_cast<unsigned char>(a) << 8 | b];
        return sum;
    };
    size_t least = cost(first_, second_);
    for (size_t i = 1; i + 1 < forms.size(); ++i) {
        // The characters before the anchor each take one byte in every form.
        if (std::any_of(forms[i - 1].begin(), forms[i - 1].end(), [](const std::string& f) { return f.size() != 1; }))
            break;
        std::string first, second;
        anchor(i, first, second);
        if (const size_t c = cost(first, second); c < least) {
            least = c;
            first_ = std::move(first);
            second_ = std::move(second);
            offset_ = i;
        }
    }
}

bool TextSearch::Fits(std::string_view text, size_t at) const {
    if (first_.find(text[at]) == std::string::npos) return false;
    return second_.empty() || (at + 1 < text.size() && second_.find(text[at + 1]) != std::string::npos);
}

size_t TextSearch::Candidate(std::string_view text, size_t at) const {
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

bool TextSearch::At(std::string_view text, size_t at) const {
    // The byte that ends a cell is no character of any text here (a text
    // that holds it is kept aside).
    for (const char32_t want : folded_) {
        if (at >= text.size() || text[at] == kCellEnd) return false;
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

size_t TextSearch::Find(std::string_view text, size_t from) const {
    for (size_t at = from + offset_; (at = Candidate(text, at)) != std::string_view::npos; ++at)
        if (At(text, at - offset_)) return at - offset_;
    return std::string_view::npos;
}

}  // namespace records
