#include "cli/listing.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>

#include <nlohmann/json.hpp>

#include "catalogue/catalogue.h"
#include "records/json.h"
#include "records/render.h"

namespace cli {

std::string ModifiedOf(const std::string& hostPath) {
    struct stat st{};
    if (stat(hostPath.c_str(), &st) != 0) return {};
    return IsoOf(st.st_mtim.tv_sec);
}

std::string IsoOf(int64_t seconds) {
    const time_t when = static_cast<time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&when, &local)) return {};
    char text[40];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0) return {};
    std::string iso = text;
    iso.insert(iso.size() - 2, ":");  // +0100 as +01:00
    return iso;
}

std::string TableText(const std::vector<Listed>& rows, bool versions) {
    std::vector<std::vector<std::string>> lines;
    using Line = std::vector<std::string>;
    lines.push_back(versions ? Line{"Name", "Records", "FileDate", "Size", "Set Aside", "Kept", "Same Data"}
                             : Line{"Database", "Version", "Records", "FileDate"});
    for (const Listed& row : rows) {
        const std::string records = row.records ? std::to_string(*row.records) : row.version ? row.error : catalogue::kCannotBeRead;
        const char* kept = row.version ? kKeptAutomatically : kSetAsideByRestore;
        const std::string same = row.sameAs.empty() ? std::string() : "same as " + row.sameAs;
        lines.push_back(versions ? Line{row.caption, records, row.date, row.size, row.setAsideDate, kept, same}
                                 : Line{row.caption, row.edition, records, row.date});
    }
    std::vector<size_t> widths(lines.front().size(), 0);
    for (const auto& line : lines)
        for (size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], records::TerminalColumns(line[c]));
    std::string text;
    for (const auto& line : lines) {
        for (size_t c = 0; c < line.size(); ++c) {
            text += line[c];
            if (c + 1 < line.size()) text += std::string(widths[c] - records::TerminalColumns(line[c]) + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();  // an empty last column leaves no blanks
        text += "\n";
    }
    return text;
}


std::string JsonText(const std::vector<Listed>& rows) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const Listed& row : rows) {
        nlohmann::ordered_json object;
        object["edition"] = row.edition;
        object["caption"] = row.caption;
        object["records"] = row.records ? nlohmann::ordered_json(*row.records) : nlohmann::ordered_json(nullptr);
        if (!row.records) object["error"] = row.error;
        object["modified"] = row.modified.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(row.modified);
        object["file"] = row.file;
        // Bytes that are not UTF-8 show as U+FFFD in file; the exact bytes,
        // for a script to open the file by, are in file_base64.
        if (!records::IsUtf8(row.file)) object["file_base64"] = records::Base64(row.file);
        if (row.number) object["number"] = *row.number;
        if (row.number || row.version) object["kind"] = row.version ? "version" : "numbered";
        if (row.version) object["version"] = *row.version;
        if (row.setAside) {
            object["set_aside"] = row.setAside->empty() ? nlohmann::ordered_json(nullptr)
                                                        : nlohmann::ordered_json(*row.setAside);
            object["same_as"] =
                row.sameAs.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(row.sameAs);
        }
        array.push_back(std::move(object));
    }
    return array.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace cli
