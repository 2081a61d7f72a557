// The texts of Text columns longer than kLong bytes (a pasted letter, a log
// kept in a memo), each kept compressed, with a summary of the characters
// and pairs of characters it holds, folded as Find folds them: Find unpacks
// only the texts that may hold what it looks for, and a million records
// with a long memo each among a thousand cost the window their compressed
// size, not their text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace records {

class TextSearch;

class LongTexts {
public:
    static constexpr size_t kLong = 4096;

    // Keeps `text`, a cell of record `record` (at or after any record kept
    // before); the number it is kept as.
    uint32_t Put(uint32_t record, std::string_view text);
    // Keeps text k of `more` as a cell of record `record`, as it is kept there.
    uint32_t Take(const LongTexts& more, uint32_t k, uint32_t record);
    // Text k, unpacked.
    std::string Text(uint32_t k) const;

    // The records, ascending and each once, one of whose texts here holds
    // what `search` looks for, but for those `found` (ascending) holds.
    std::vector<uint32_t> Matching(const TextSearch& search, const std::vector<uint32_t>& found) const;
    // Those of `records` (ascending) one of whose texts here holds it.
    std::vector<uint32_t> Holding(const TextSearch& search, const std::vector<uint32_t>& records) const;

    size_t Bytes() const;

private:
    struct Kept {
        uint32_t record = 0;
        uint32_t size = 0;      // unpacked
        bool raw = false;       // packed holds the text as it is
        std::string packed;
        // Bits of the characters and of the pairs of characters the text
        // holds, folded, each set by a hash of it.
        std::array<uint64_t, 64> summary{};
    };
    bool MayHold(const Kept& kept, const std::u32string& folded) const;
    bool Holds(const Kept& kept, const TextSearch& search, std::string& unpacked) const;

    std::vector<Kept> kept_;  // in record order
};

}  // namespace records
