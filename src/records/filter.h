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

// Many records are searched through RecordStore::Matching (store.h),
// which finds exactly what Finder finds.

}  // namespace records
