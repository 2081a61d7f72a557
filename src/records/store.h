// Records kept compactly, for the window that holds a million of them: the
// texts a Text column repeats once each, in the column's dictionary
// (text_dictionary.h); long ones compressed (long_texts.h); its other
// texts in one arena, each cell ended by a byte UTF-8 never holds, each
// record's text together; every other cell
// packed in a second arena (a tag byte and as few bytes as its value
// needs). A record is decoded when it is asked for (to show, copy, export
// or compare it).
//
// Find searches the text arena as it is, without a folded copy beside it
// (text_search.h), each dictionary's entries once, and the long texts that
// may hold what it looks for, so that it finds
// exactly what records::Finder finds (filter.h); cells never run into each
// other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/long_texts.h"
#include "records/record.h"
#include "records/text_dictionary.h"

namespace records {

// Where each record a search found holds the text it looked for, so that
// the search for a longer text that begins with it (a letter more) looks
// in each record only from there: a match of the longer text is a match of
// the shorter one, so it begins nowhere before the earliest of those.
struct FoundPlaces {
    // Not in the text arena: only in a dictionary entry, a long text or a
    // text held aside. Unknown: anywhere in the record.
    static constexpr uint16_t kElsewhere = 0xFFFF, kUnknown = 0xFFFE;
    std::u32string folded;     // the text found, folded
    std::vector<uint16_t> at;  // by record found, in order: where its earliest match begins in its text
};

class RecordStore final : public RecordsView {
public:
    RecordStore() = default;
    explicit RecordStore(std::vector<Column> columns, std::vector<std::string> primaryKey = {},
                         std::optional<uint64_t> storedCount = {})
        : columns_(std::move(columns)),
          primaryKey_(std::move(primaryKey)),
          storedCount_(storedCount),
          dictionaries_(columns_.size()) {}

    const std::vector<Column>& Columns() const override { return columns_; }
    const std::vector<std::string>& PrimaryKey() const override { return primaryKey_; }
    std::optional<uint64_t> StoredCount() const override { return storedCount_; }
    size_t Count() const override { return Size(); }
    Record At(size_t n) const override { return Get(n); }

    size_t Size() const { return cells_.starts.size(); }
    // The record after these, its texts as they are: a batch being read
    // takes its records this way, off the window's thread.
    void Add(const Record& record);
    // The records of `more` (of the same columns) after these, copied into
    // this store's blocks so that many small batches leave no half-empty
    // ones; the texts its columns repeat go into its dictionaries.
    void Append(const RecordStore& more);
    Record Get(size_t n) const;
    // The bytes the records take.
    size_t MemoryBytes() const;

    // The numbers of the records a Text column of which holds `text`
    // without regard to case, ascending; with `within`, only among those.
    std::vector<uint32_t> Matching(std::string_view text, const std::vector<uint32_t>* within = nullptr) const;
    // The same, and where each record found holds the text, to `places`.
    // When `within` are the records `places` tells of and `text` begins
    // with the text found there, each is looked at from its place on.
    std::vector<uint32_t> Matching(std::string_view text, const std::vector<uint32_t>* within,
                                   FoundPlaces& places) const;

private:
    // An arena in blocks, so that growing it never copies what it holds;
    // one record's bytes never straddle two blocks.
    struct Arena {
        std::vector<std::string> blocks;
        std::vector<uint64_t> starts;  // each record's block << 32 | offset
        void Begin(size_t bytes);      // a record of about this many bytes begins
        std::string& Last() { return blocks.back(); }
        std::string_view Of(size_t n) const;  // record n's bytes
        void Append(const Arena& more);
        size_t Bytes() const;
    };
    // Cell `column` of record n, a text: its tag to `cells`, the text to
    // the column's dictionary (when `shared`), to `text` (the text arena)
    // or after the tag.
    void PutText(size_t column, uint32_t n, std::string_view t, std::string& cells, std::string& text, bool shared);

    std::vector<Column> columns_;
    std::vector<std::string> primaryKey_;
    std::optional<uint64_t> storedCount_;
    std::vector<TextDictionary> dictionaries_;  // by column; used for Text columns
    LongTexts long_;
    Arena cells_, text_;
    // Records whose text a Text column holds outside the text arena (it
    // holds the byte that ends a cell there): checked one by one.
    std::vector<uint32_t> aside_;
};

}  // namespace records
