#include "records/filter.h"

#include <algorithm>

#include "vb/casefold.h"

namespace records {

namespace {

// Ends each cell in the folded text: a byte that UTF-8 never holds, so that
// no match runs from one cell into the next.
constexpr char kEnd = '\xFF';


bool Ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void AppendFolded(std::string& out, std::string_view utf8) {
    if (Ascii(utf8)) {
        for (char c : utf8) out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
        return;
    }
    for (char32_t c : vb::FoldCase(utf8)) vb::AppendUtf8(out, c);
}

}  // namespace

std::string FoldedText(std::string_view utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    AppendFolded(folded, utf8);
    return folded;
}

Finder::Finder(std::string_view text) : folded_(FoldedText(text)) {}

bool Finder::InText(std::string_view text) const {
    return folded_.empty() || FoldedText(text).find(folded_) != std::string::npos;
}

bool Finder::InRecord(const std::vector<Column>& columns, const Record& record) const {
    if (folded_.empty()) return true;
    for (size_t i = 0; i < columns.size() && i < record.size(); ++i) {
        if (columns[i].kind != Kind::Text) continue;
        if (const auto* text = std::get_if<std::string>(&record[i]); text && InText(*text)) return true;
    }
    return false;
}

void TextIndex::Add(const std::vector<Column>& columns, const Record& record) {
    starts_.push_back(folded_.size());
    for (size_t i = 0; i < columns.size() && i < record.size(); ++i) {
        if (columns[i].kind != Kind::Text) continue;
        if (const auto* text = std::get_if<std::string>(&record[i])) {
            AppendFolded(folded_, *text);
            folded_ += kEnd;
        }
    }
}

void TextIndex::Append(const TextIndex& more) {
    const size_t offset = folded_.size();
    folded_ += more.folded_;
    for (size_t start : more.starts_) starts_.push_back(offset + start);
}

void TextIndex::Clear() {
    folded_.clear();
    starts_.clear();
}

std::vector<uint32_t> TextIndex::Matching(std::string_view text, const std::vector<uint32_t>* within) const {
    std::vector<uint32_t> found;
    const std::string part = FoldedText(text);
    const auto end = [&](size_t n) { return n + 1 < starts_.size() ? starts_[n + 1] : folded_.size(); };
    if (part.empty() || within) {
        if (!within) {
            found.resize(starts_.size());
            for (uint32_t n = 0; n < found.size(); ++n) found[n] = n;
            return found;
        }
        const std::string_view all(folded_);
        for (uint32_t n : *within) {
            if (n >= starts_.size()) break;
            if (part.empty() || all.substr(starts_[n], end(n) - starts_[n]).find(part) != std::string_view::npos)
                found.push_back(n);
        }
        return found;
    }
    // One pass over all the text; each hit names its record, and the search
    // goes on at the next record's text.
    size_t at = 0;
    uint32_t n = 0;
    while ((at = folded_.find(part, at)) != std::string::npos) {
        n = static_cast<uint32_t>(std::upper_bound(starts_.begin() + n, starts_.end(), at) - starts_.begin() - 1);
        found.push_back(n);
        at = end(n);
    }
    return found;
}

}  // namespace records
