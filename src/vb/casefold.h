// Comparing names without regard to case the way Windows does: character
// by character over the whole of Unicode, not only A-Z. Text is UTF-8; bytes
// that are not valid UTF-8 compare as themselves.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The text with every character in its lower-case form (UTF-32).
std::u32string FoldCase(std::string_view utf8);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// True when text begins with prefix, without regard to case.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

}  // namespace platform
