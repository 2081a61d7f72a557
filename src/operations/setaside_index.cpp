#include "operations/setaside_index.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "common/parsedir.h"
#include "vb/casefold.h"
#include "vb/error.h"

namespace operations {

namespace {

constexpr const char* kFirstLine = "restore-rolvane-data set-aside index 1";

std::string DateText(const vb::DateTime& d) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute,
                  d.second);
    return text;
}

bool ParseDate(const std::string& text, vb::DateTime& d) {
    char tail = 0;
    return text.size() == 19 &&
           std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &d.year, &d.month, &d.day, &d.hour, &d.minute,
                       &d.second, &tail) == 6;
}

}  // namespace

std::string SetAsideIndexPath(common::Services& sys, const std::string& LivePath) {
    return common::ParseDir(sys, LivePath, "dir") + kSetAsideIndexName;
}

std::string SetAsideIndexText(const std::vector<SetAsideEntry>& Entries) {
    std::string text = std::string(kFirstLine) + "\n";
    for (const SetAsideEntry& e : Entries)
        text += std::to_string(e.order) + " " + std::to_string(e.at) + " " + std::to_string(e.size) + " " +
                DateText(e.modified) + " " + e.name + "\n";
    return text;
}

std::vector<SetAsideEntry> ParseSetAsideIndex(const std::string& Text) {
    std::vector<SetAsideEntry> entries;
    std::istringstream lines(Text);
    std::string line;
    if (!std::getline(lines, line) || line != kFirstLine) return entries;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        SetAsideEntry e;
        std::string date, rest;
        if (!(fields >> e.order >> e.at >> e.size >> date >> e.name) || fields >> rest) continue;
        if (e.order <= 0 || e.size < 0 || !ParseDate(date, e.modified)) continue;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::optional<std::vector<SetAsideEntry>> ReadSetAsideIndex(common::Services& sys, const std::string& LivePath) {
    try {
        const std::optional<std::string> text = sys.files.ReadWhole(SetAsideIndexPath(sys, LivePath));
        if (!text) return std::vector<SetAsideEntry>{};
        return ParseSetAsideIndex(*text);
    } catch (const vb::Error&) {
        return std::nullopt;
    }
}

const SetAsideEntry* FindSetAside(const std::vector<SetAsideEntry>& Entries, const std::string& Name, int64_t Size,
                                  const vb::DateTime& Modified) {
    for (const SetAsideEntry& e : Entries)
        if (vb::EqualsIgnoringCase(e.name, Name)) return e.size == Size && e.modified == Modified ? &e : nullptr;
    return nullptr;
}

void RecordSetAside(common::Services& sys, const std::string& LivePath, const std::string& CopyPath) {
    try {
        // An index that is there but cannot be read is left as it is: the
        // order it holds is worth more than this one line.
        std::optional<std::vector<SetAsideEntry>> entries = ReadSetAsideIndex(sys, LivePath);
        if (!entries) return;
        SetAsideEntry entry;
        entry.name = common::ParseDir(sys, CopyPath, "filename");
        entry.size = sys.files.FileLen(CopyPath);
        entry.modified = sys.files.FileDateTime(CopyPath);
        entry.at = sys.locale.Now();
        std::erase_if(*entries, [&](const SetAsideEntry& e) { return vb::EqualsIgnoringCase(e.name, entry.name); });
        for (const SetAsideEntry& e : *entries) entry.order = std::max(entry.order, e.order);
        ++entry.order;
        entries->push_back(entry);
        sys.files.WriteWhole(SetAsideIndexPath(sys, LivePath), SetAsideIndexText(*entries));
    } catch (const vb::Error&) {
    }
}

}  // namespace operations
