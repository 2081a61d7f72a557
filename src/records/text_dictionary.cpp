#include "records/text_dictionary.h"

#include <algorithm>

#include "records/text_search.h"

namespace records {

bool TextDictionary::Put(uint32_t record, std::string_view text) {
    if (closed_ || text.size() > kLongest) return false;
    ++lookups_;
    uint16_t id = 0;
    if (const auto it = index_.find(text); it != index_.end()) {
        id = it->second;
        ++found_;
    } else {
        const size_t held = entries_.size();
        if (held >= kMost || (held >= kMany && found_ * 2 < lookups_)) {
            closed_ = true;
            return false;
        }
        entries_.emplace_back(text);
        id = static_cast<uint16_t>(held + 1);
        index_.emplace(entries_.back(), id);
    }
    if (ids_.size() < record) ids_.resize(record, 0);
    ids_.push_back(id);
    return true;
}

std::vector<uint8_t> TextDictionary::Holding(const TextSearch& search) const {
    std::vector<uint8_t> holding;
    for (size_t k = 0; k < entries_.size(); ++k) {
        if (search.Find(entries_[k]) == std::string_view::npos) continue;
        if (holding.empty()) holding.resize(entries_.size() + 1, 0);
        holding[k + 1] = 1;
    }
    return holding;
}

void TextDictionary::Mark(const std::vector<uint8_t>& holding, std::vector<uint8_t>& marks) const {
    const size_t end = std::min(ids_.size(), marks.size());
    for (size_t n = 0; n < end; ++n) marks[n] |= holding[ids_[n]];
}

size_t TextDictionary::Bytes() const {
    size_t bytes = ids_.capacity() * sizeof(uint16_t) + index_.bucket_count() * sizeof(void*);
    // Each entry: its text (beyond what a string holds in itself) and its
    // node in the index.
    for (const std::string& entry : entries_)
        bytes += sizeof(std::string) + (entry.capacity() > 15 ? entry.capacity() + 1 : 0) + 40;
    return bytes;
}

}  // namespace records
