#include "vb/casefold.h"

#include <locale.h>
#include <wctype.h>

namespace vb {

namespace {

// The character tables of C.UTF-8 cover all of Unicode and do not depend on
// the user's locale, so the comparison is the same for every user. They are
// loaded when the program starts: the database reader child compares names
// inside a sandbox that no longer lets it open the locale's files.
const locale_t kUnicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));

char32_t Upper(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
    // Above the Basic Multilingual Plane, and for the stand-ins of invalid
    // bytes (see Decode), the character is its own upper-case form.
    if (kUnicode == static_cast<locale_t>(0) || c > 0xFFFF || (c >= 0xDC80 && c <= 0xDCFF)) return c;
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), kUnicode));
}

// Decodes one UTF-8 sequence at text[i], advancing i. A byte that does not
// start a valid sequence becomes U+DC80..U+DCFF (as Python's surrogateescape
// does), so that two different invalid names never compare equal.
char32_t Decode(std::string_view text, size_t& i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 1) {
        ++i;
        return lead;
    }
    auto invalid = [&] {
        ++i;
        return static_cast<char32_t>(0xDC00 + lead);
    };
    if (length == 0 || i + length > text.size()) return invalid();
    char32_t c = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        unsigned char next = byte(i + k);
        if ((next & 0xC0) != 0x80) return invalid();
        c = (c << 6) | (next & 0x3F);
    }
    static const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < minimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return invalid();
    i += length;
    return c;
}

// Both texts in ASCII: the common case for names, compared without decoding.
bool Ascii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }

}  // namespace

std::u32string FoldCase(std::string_view utf8) {
    std::u32string folded;
    folded.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) folded.push_back(Upper(Decode(utf8, i)));
    return folded;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (Ascii(a) && Ascii(b)) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
        return true;
    }
    return FoldCase(a) == FoldCase(b);
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    std::u32string t = FoldCase(text), p = FoldCase(prefix);
    return t.size() >= p.size() && t.compare(0, p.size(), p) == 0;
}

TextFinder::TextFinder(std::string_view part) : folded_(FoldCase(part)), asciiPart_(Ascii(part)) {
    if (asciiPart_)
        for (char c : part) ascii_.push_back(AsciiUpper(c));
}

bool TextFinder::In(std::string_view text) const {
    if (folded_.empty()) return true;
    // An ASCII text matches only through ASCII characters of the part; a
    // part that is not ASCII may still fold onto ASCII ("ı" is "I"), so it
    // is compared folded.
    if (asciiPart_ && Ascii(text)) {
        if (text.size() < ascii_.size()) return false;
        const char first = ascii_.front();
        for (size_t i = 0; i + ascii_.size() <= text.size(); ++i) {
            if (AsciiUpper(text[i]) != first) continue;
            size_t k = 1;
            while (k < ascii_.size() && AsciiUpper(text[i + k]) == ascii_[k]) ++k;
            if (k == ascii_.size()) return true;
        }
        return false;
    }
    return FoldCase(text).find(folded_) != std::u32string::npos;
}

std::optional<bool> TextFinder::InUtf16(std::string_view le) const {
    if (le.size() % 2 != 0) return std::nullopt;
    const size_t n = le.size() / 2, m = folded_.size();
    std::u32string& units = scratch_;
    units.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const char32_t u = static_cast<unsigned char>(le[2 * i]) | static_cast<char32_t>(static_cast<unsigned char>(le[2 * i + 1])) << 8;
        if (u >= 0xD800 && u <= 0xDFFF) return std::nullopt;
        units[i] = Upper(u);
    }
    if (m == 0) return true;
    return std::u32string_view(units).find(folded_) != std::u32string_view::npos;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char32_t UpperOf(char32_t c) { return Upper(c); }

char32_t DecodeUtf8(std::string_view text, size_t& i) { return Decode(text, i); }

}  // namespace vb
