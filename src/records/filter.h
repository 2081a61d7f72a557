// Finding a text in records: a record matches when one of its text columns
// (Text and Memo) contains the text, without regard to case as the utility
// compares names (vb/casefold.h: each character against its upper-case
// form, one for one). An empty text matches every record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/record.h"

namespace records {

// The upper-case form of UTF-8 text (vb::FoldCase), written back as UTF-8.
// The stand-ins of bytes that are not UTF-8 keep their own encoding, so two
// texts contain each other, without regard to case, exactly when their
// forms do as bytes.
std::string FoldedText(std::string_view utf8);

// One text to find in many records.
class Finder {
public:
    explicit Finder(std::string_view text);
    bool Empty() const { return folded_.empty(); }
    bool InText(std::string_view text) const;
    bool InRecord(const std::vector<Column>& columns, const Record& record) const;

private:
    std::string folded_;
};

// The text columns of loaded records, folded once, so that finding as one
// types costs one pass over the folded text and nothing per record.
class TextIndex {
public:
    // Records are added in their table's order; the first is number 0.
    void Add(const std::vector<Column>& columns, const Record& record);
    // The records of `more`, after these.
    void Append(const TextIndex& more);
    size_t Size() const { return starts_.size(); }
    void Clear();

    // The numbers of the records that hold `text`, ascending. With `within`
    // (ascending numbers), only those among them: the records that matched
    // the text typed before, when the new text contains it.
    std::vector<uint32_t> Matching(std::string_view text, const std::vector<uint32_t>* within = nullptr) const;

private:
    std::string folded_;           // each record's text cells, folded, each ended by kEnd
    std::vector<size_t> starts_;   // where each record's text begins in folded_
};

}  // namespace records
