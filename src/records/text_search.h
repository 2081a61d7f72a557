// A text found without regard to case in UTF-8 text as it is, without a
// folded copy beside it: two characters of the folded text to find (the
// anchor) are looked for in each of the forms that fold to them (both cases
// of a letter; "ı" for "I" too), 16 bytes at a time, and each place found
// is checked character by character from where the text would begin,
// folded as FoldCase folds (vb/casefold.h), so that it finds exactly what
// records::Finder finds (filter.h). The byte kCellEnd, which UTF-8 never
// holds, ends a cell: no match runs across it.
//
// The anchor is the first two characters, or, given how often each pair of
// bytes comes in the text searched, the two that come least often among
// those only ASCII characters precede: "7@" of "contact7@", so that the
// common "co" of every address is not checked each time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace records {

inline constexpr char kCellEnd = '\xFF';

class TextSearch {
public:
    // `pairCounts`: how often each pair of bytes comes in (a sample of) the
    // text searched, by first byte << 8 | second; none: the anchor is the
    // first characters.
    explicit TextSearch(std::string_view text, const uint32_t* pairCounts = nullptr);
    bool Empty() const { return folded_.empty(); }
    // The text looked for, folded, one character each.
    const std::u32string& Folded() const { return folded_; }

    // The first place at or after `from` where the text begins; npos: none.
    size_t Find(std::string_view text, size_t from = 0) const;
    // Whether the text begins at `at`.
    bool At(std::string_view text, size_t at) const;

private:
    bool Fits(std::string_view text, size_t at) const;
    size_t Candidate(std::string_view text, size_t at) const;

    std::u32string folded_;
    size_t offset_ = 0;  // bytes before the anchor (each an ASCII character)
    // Where the anchor may be: its first byte is one of first_, and (when
    // second_ is not empty) the byte after it one of second_: the second
    // byte of a form of its first character, or the first byte of a form of
    // its second.
    std::string first_, second_;
};

}  // namespace records
