// A text found without regard to case in UTF-8 text as it is, without a
// folded copy beside it: the first character of the folded text to find is
// looked for in each of the forms that fold to it (both cases of a letter;
// "ı" for "I" too), 16 bytes at a time, and each place found is checked
// character by character, folded as FoldCase folds (vb/casefold.h), so that
// it finds exactly what records::Finder finds (filter.h). The byte
// kCellEnd, which UTF-8 never holds, ends a cell: no match runs across it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace records {

inline constexpr char kCellEnd = '\xFF';

class TextSearch {
public:
    explicit TextSearch(std::string_view text);
    bool Empty() const { return folded_.empty(); }

    // The first place at or after `from` where the text begins; npos: none.
    size_t Find(std::string_view text, size_t from = 0) const;

private:
    bool Fits(std::string_view text, size_t at) const;
    size_t Candidate(std::string_view text, size_t at) const;
    bool At(std::string_view text, size_t at) const;

    std::u32string folded_;
    // Where a match may begin: its first byte is one of first_, and (when
    // second_ is not empty) the byte after it one of second_: the second
    // byte of a form of the first character, or the first byte of a form of
    // the second.
    std::string first_, second_;
};

}  // namespace records
