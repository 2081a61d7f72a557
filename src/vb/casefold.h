// Comparing names without regard to case the way Windows does: each
// character is replaced by its upper-case form, one character for one, and
// the results are compared code point by code point. Nothing is folded into
// several characters or several into one: "ß" is not "SS", "ﬁ" is not "FI".
// As in Windows' upper-case table, only characters of the Basic Multilingual
// Plane (U+0000 to U+FFFF) have an upper-case form. Text is UTF-8; bytes
// that are not valid UTF-8 compare as themselves.
//
// The one comparison for names of files, folders, registry keys, tables and
// columns, in the window's process and in the database reader child alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vb {

// The text with every character in its upper-case form (UTF-32). Two names
// are equal without regard to case exactly when their forms are equal.
std::u32string FoldCase(std::string_view utf8);

// One character in its upper-case form, as FoldCase gives each.
char32_t UpperOf(char32_t c);
// The character at text[i] (UTF-8), i moved past it; a byte that does not
// start a valid sequence is its stand-in U+DC80..U+DCFF, as FoldCase reads it.
char32_t DecodeUtf8(std::string_view text, size_t& i);

// Appends the UTF-8 form of c to out (the stand-ins U+DC80..U+DCFF that
// FoldCase gives invalid bytes included, as three bytes).
void AppendUtf8(std::string& out, char32_t c);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// True when text begins with prefix, without regard to case.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

// Finds one text in many without regard to case, by the same rule: `part`
// is folded once, and each text searched as it comes. An empty part is in
// every text. When both are ASCII the text is searched without decoding.
// A finder is for one thread at a time.
class TextFinder {
public:
    explicit TextFinder(std::string_view part);
    bool In(std::string_view text) const;
    // As In, for text given as UTF-16 little-endian code units (as Jet 4
    // stores it), without converting it; nullopt for text that holds a
    // surrogate or an odd byte, which the caller converts and gives to In.
    std::optional<bool> InUtf16(std::string_view littleEndian) const;

private:
    std::u32string folded_;
    std::string ascii_;  // the upper-cased part when it is ASCII
    mutable std::u32string scratch_;  // InUtf16's folded text
    bool asciiPart_ = false;
};

}  // namespace vb
