#include "vb/casefold.h"

#include <locale.h>
#include <wctype.h>

namespace platform {

namespace {

// The character tables of C.UTF-8 cover all of Unicode and do not depend on
// the user's locale, so the comparison is the same for every user.
locale_t UnicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

char32_t Lower(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    locale_t locale = UnicodeLocale();
    if (locale == static_cast<locale_t>(0) || (c >= 0xDC80 && c <= 0xDCFF)) return c;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale));
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

}  // namespace

std::u32string FoldCase(std::string_view utf8) {
    std::u32string folded;
    folded.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) folded.push_back(Lower(Decode(utf8, i)));
    return folded;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) { return FoldCase(a) == FoldCase(b); }

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    std::u32string t = FoldCase(text), p = FoldCase(prefix);
    return t.compare(0, p.size(), p) == 0 && t.size() >= p.size();
}

}  // namespace platform
