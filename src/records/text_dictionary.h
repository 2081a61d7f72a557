// The texts one Text column repeats (a city, a company, a title), each kept
// once, and for each record the entry its cell holds: a million contacts
// hold a few hundred cities, not a million. Find looks in the entries once
// and then at each record's entry number, not at each record's copy.
//
// A column whose texts do not repeat (an e-mail address, a phone number)
// soon stops taking entries: once it holds kMany of them, it takes no more
// while fewer than half of the texts looked up were found there, and none
// past kMost. From then on its texts stay in the records, and no record
// after that has an entry number.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace records {

class TextSearch;

class TextDictionary {
public:
    static constexpr size_t kMany = 4096, kMost = 65535;
    static constexpr size_t kLongest = 4096;  // longer texts are not looked up

    TextDictionary() = default;
    // Moved, the entries stay where they are (the index points into them);
    // never copied.
    TextDictionary(TextDictionary&&) = default;
    TextDictionary& operator=(TextDictionary&&) = default;
    TextDictionary(const TextDictionary&) = delete;
    TextDictionary& operator=(const TextDictionary&) = delete;

    // Record `record` (at or after any record put before) holds `text`:
    // true when it is kept here, as the record's entry.
    bool Put(uint32_t record, std::string_view text);
    // The text of record n's entry; nullptr: it has none.
    const std::string* Of(size_t n) const {
        return n < ids_.size() && ids_[n] != 0 ? &entries_[ids_[n] - 1] : nullptr;
    }

    // Which entries hold the text searched for, by entry number + 1
    // (element 0 unused); empty when none does.
    std::vector<uint8_t> Holding(const TextSearch& search) const;
    // Record n's entry is one of those `holding` marks.
    bool Holds(const std::vector<uint8_t>& holding, size_t n) const {
        return n < ids_.size() && holding[ids_[n]] != 0;
    }
    // Marks in `marks` (one per record) each record whose entry is marked.
    void Mark(const std::vector<uint8_t>& holding, std::vector<uint8_t>& marks) const;

    size_t Bytes() const;

private:
    std::deque<std::string> entries_;
    std::unordered_map<std::string_view, uint16_t> index_;  // entry number + 1 by text
    std::vector<uint16_t> ids_;                             // by record: entry number + 1; 0 none
    size_t lookups_ = 0, found_ = 0;
    bool closed_ = false;
};

}  // namespace records
