#include "records/filter.h"

#include <algorithm>

#include "vb/casefold.h"

namespace records {

namespace {

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

}  // namespace records
