// The search the window's Find runs over its records' text.
#include "records/text_search.h"

#include <gtest/gtest.h>

#include <vector>

namespace records {
namespace {

std::vector<size_t> Places(const TextSearch& search, std::string_view text) {
    std::vector<size_t> places;
    for (size_t at = 0; (at = search.Find(text, at)) != std::string_view::npos; ++at) places.push_back(at);
    return places;
}

// Told how common each pair of bytes is, the search looks for the rarest
// two characters it can and checks from where the text would begin: it
// finds the same places as looking for the first two, at the start of the
// text, next to a cell's end, and where a character before the rarest has
// a form of more than one byte ("ſ" for "S").
TEST(TextSearch, FindsTheSamePlacesWhateverTwoCharactersItLooksFor) {
    std::string text = "t7@x\xff";
    for (int n = 0; n < 50; ++n) text += "contact" + std::to_string(n) + "@example.org\xff";
    text += "CONTACT77@X\xff" "ſun7 SUN7 sun\xff" "7ct7\xff" "kontakt7";
    std::vector<uint32_t> pairs(1 << 16, 0);
    for (size_t k = 0; k + 1 < text.size(); ++k)
        ++pairs[static_cast<unsigned char>(text[k]) << 8 | static_cast<unsigned char>(text[k + 1])];
    for (const char* find : {"contact7", "t7@", "T7", "ct77@x", "sun7", "UN7", "kontakt7", "7", "@", "org\xff"}) {
        const std::vector<size_t> first = Places(TextSearch(find), text);
        EXPECT_EQ(Places(TextSearch(find, pairs.data()), text), first) << find;
        EXPECT_EQ(first.empty(), std::string(find) == "org\xff") << find;  // no match runs across a cell's end
    }
}

}  // namespace
}  // namespace records
