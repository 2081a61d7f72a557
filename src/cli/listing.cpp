#include "cli/listing.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>

namespace cli {

namespace {

// The number of characters of UTF-8 text, for aligning columns.
size_t Width(const std::string& text) {
    size_t width = 0;
    for (unsigned char c : text) width += (c & 0xC0) != 0x80;
    return width;
}

// text as a JSON string.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

}  // namespace

std::string ModifiedOf(const std::string& hostPath) {
    struct stat st{};
    std::tm local{};
    if (stat(hostPath.c_str(), &st) != 0 || !localtime_r(&st.st_mtim.tv_sec, &local)) return {};
    char text[40];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0) return {};
    std::string iso = text;
    iso.insert(iso.size() - 2, ":");  // +0100 as +01:00
    return iso;
}

std::string TableText(const std::vector<Listed>& rows, bool versions) {
    std::vector<std::vector<std::string>> lines;
    lines.push_back(versions ? std::vector<std::string>{"Name", "Records", "FileDate", "Size"}
                             : std::vector<std::string>{"Database", "Version", "Records", "FileDate"});
    for (const Listed& row : rows) {
        const std::string records = row.records ? std::to_string(*row.records) : kCannotBeRead;
        lines.push_back(versions ? std::vector<std::string>{row.caption, records, row.date, row.size}
                                 : std::vector<std::string>{row.caption, row.edition, records, row.date});
    }
    std::vector<size_t> widths(lines.front().size(), 0);
    for (const auto& line : lines)
        for (size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], Width(line[c]));
    std::string text;
    for (const auto& line : lines) {
        for (size_t c = 0; c < line.size(); ++c) {
            text += line[c];
            if (c + 1 < line.size()) text += std::string(widths[c] - Width(line[c]) + 2, ' ');
        }
        text += "\n";
    }
    return text;
}

std::string JsonText(const std::vector<Listed>& rows) {
    std::string text = "[";
    for (size_t i = 0; i < rows.size(); ++i) {
        const Listed& row = rows[i];
        text += i ? ",\n  {" : "\n  {";
        text += "\"edition\": " + Quoted(row.edition);
        text += ", \"caption\": " + Quoted(row.caption);
        text += ", \"records\": " + (row.records ? std::to_string(*row.records) : std::string("null"));
        if (!row.records) text += ", \"error\": " + Quoted(row.error);
        text += ", \"modified\": " + (row.modified.empty() ? std::string("null") : Quoted(row.modified));
        text += ", \"file\": " + Quoted(row.file) + "}";
    }
    return text + (rows.empty() ? "]\n" : "\n]\n");
}

}  // namespace cli
