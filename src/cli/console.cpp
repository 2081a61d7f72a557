#include "cli/console.h"

#include <unistd.h>

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <algorithm>
#include <iostream>
#include <memory>
#include <sstream>

#include "cli/console_ports.h"
#include "cli/locate_data.h"
#include "catalogue/form1.h"
#include "catalogue/paths.h"
#include "common/services.h"
#include "jet/libmdb_engine.h"
#include "linux/files.h"
#include "linux/locale.h"
#include "linux/shell.h"
#include "operations/commands.h"
#include "operations/previous_versions.h"
#include "wine/windows_paths.h"

namespace cli {

namespace {

using Kind = ConsoleCommand::Kind;

bool Replaces(Kind kind) { return kind == Kind::Restore || kind == Kind::CreateBlank || kind == Kind::PutBack; }

const char* OptionOf(Kind kind) {
    switch (kind) {
        case Kind::List: return "--list";
        case Kind::Versions: return "--versions";
        case Kind::Restore: return "--restore";
        case Kind::CreateBlank: return "--create-blank";
        case Kind::PutBack: return "--put-back";
    }
    return "";
}

// Asks on the terminal: the question on stderr, the answer from stdin.
bool AskOnTerminal(const std::string& question, std::string& answer) {
    if (!isatty(STDIN_FILENO)) return false;
    std::fputs(question.c_str(), stderr);
    std::fflush(stderr);
    return static_cast<bool>(std::getline(std::cin, answer));
}

// The path on this machine of a Windows path, as a user would open it:
// absolute, through no symbolic link (dosdevices/c: is drive_c).
std::string HostPathOf(const wine::WinePaths& paths, const std::string& path) {
    const std::string host = paths.ToHost(path);
    char resolved[PATH_MAX];
    return realpath(host.c_str(), resolved) ? std::string(resolved) : host;
}

// A row of a listing, as printed.
struct Row {
    std::string edition, caption, records, date, file;
    std::string modified;  // ISO 8601 with the UTC offset; empty when the file has gone
};

// The file's time of last modification in local time, ISO 8601 with its
// UTC offset ("2026-03-02T09:41:12+01:00").
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

void PrintTable(std::FILE* out, const std::vector<std::string>& headers, const std::vector<std::vector<std::string>>& cells) {
    std::vector<size_t> widths(headers.size(), 0);
    for (size_t c = 0; c < headers.size(); ++c) widths[c] = Width(headers[c]);
    for (const auto& row : cells)
        for (size_t c = 0; c < row.size() && c < widths.size(); ++c) widths[c] = std::max(widths[c], Width(row[c]));
    auto line = [&](const std::vector<std::string>& row) {
        std::string text;
        for (size_t c = 0; c < row.size(); ++c) {
            text += row[c];
            if (c + 1 < row.size()) text += std::string(widths[c] - Width(row[c]) + 2, ' ');
        }
        std::fprintf(out, "%s\n", text.c_str());
    };
    line(headers);
    for (const auto& row : cells) line(row);
}

// An array of objects, one per row; a count that could not be read and the
// time of a file that has gone are null.
void PrintJson(std::FILE* out, const std::vector<Row>& rows) {
    std::string text = "[";
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        text += i ? ",\n  {" : "\n  {";
        text += "\"edition\": " + Quoted(row.edition);
        text += ", \"caption\": " + Quoted(row.caption);
        const bool counted = !row.records.empty() && row.records.find_first_not_of("0123456789") == std::string::npos;
        text += ", \"records\": " + (counted ? row.records : std::string("null"));
        text += ", \"modified\": " + (row.modified.empty() ? std::string("null") : Quoted(row.modified));
        text += ", \"file\": " + Quoted(row.file) + "}";
    }
    text += rows.empty() ? "]\n" : "\n]\n";
    std::fputs(text.c_str(), out);
}

// The one-based row of the catalogue with this caption and edition label; 0 when there is none.
int FindRow(ports::ListView& list, const std::string& caption, const std::string& edition) {
    for (int i = 1; i <= list.ItemCount(); ++i)
        if (list.ItemText(i) == caption && list.SubItem(i, 1) == edition) return i;
    return 0;
}

int StatusOf(ConsoleMessageBox::Outcome outcome) {
    using Outcome = ConsoleMessageBox::Outcome;
    switch (outcome) {
        case Outcome::Nothing:
        case Outcome::Succeeded: return kDone;
        case Outcome::InUse: return kInUse;
        case Outcome::Declined:
        case Outcome::Failed: return kFailed;
    }
    return kFailed;
}

}  // namespace

int RunConsole(const ConsoleCommand& command, const ports::HostEnvironment& env, Console console) {
    const std::string program = kProgramName;
    // Data is replaced only with consent: --yes, or a Yes typed at a terminal.
    if (!console.ask) {
        if (Replaces(command.kind) && !command.yes && !isatty(STDIN_FILENO)) {
            std::fprintf(console.err, "%s: %s replaces data: give --yes, or run it on a terminal to be asked.\n",
                         program.c_str(), OptionOf(command.kind));
            return kUsageError;
        }
        console.ask = AskOnTerminal;
    }

    std::ostringstream where;
    const wine::PrefixChoice location = LocateData(env, where);
    std::fputs(where.str().c_str(), console.err);
    const wine::WinePaths paths(location.prefix);
    linux::LinuxFiles files(paths);
    linux::LinuxShell shell(location.prefix, env);
    ConsoleMessageBox msgbox(command.yes, console.ask,
                             {operations::kRestoredTitle, operations::kBlankCreatedTitle}, console.err);
    ConsoleProcess process;
    linux::PosixLocale locale;
    common::Services services{files, shell, msgbox, process, locale, [&paths, &console] {
        return std::make_unique<jet::LibmdbEngine>(
            [&paths](const std::string& path) { return paths.ToHost(path); }, console.readerPath);
    }};
    ConsoleListView list;
    ConsoleButton restore, makeBlank, cancel;
    catalogue::Form1 form{services, list, restore, makeBlank, cancel};

    try {
        catalogue::Form_Load(form);
        switch (command.kind) {
            case Kind::List: {
                std::vector<Row> rows;
                for (int i = 1; i <= list.ItemCount(); ++i) {
                    const std::string host = HostPathOf(paths, list.Tag(i));
                    rows.push_back({list.SubItem(i, 1), list.ItemText(i), list.SubItem(i, 2), list.SubItem(i, 3),
                                    host, ModifiedOf(host)});
                }
                if (command.json) {
                    PrintJson(console.out, rows);
                } else {
                    std::vector<std::string> headers;
                    for (int c = 1; c <= list.ColumnHeaderCount(); ++c) headers.push_back(list.ColumnHeaderText(c));
                    std::vector<std::vector<std::string>> cells;
                    for (const Row& row : rows) cells.push_back({row.caption, row.edition, row.records, row.date});
                    PrintTable(console.out, headers, cells);
                }
                std::fflush(console.out);
                break;
            }
            case Kind::Restore:
            case Kind::CreateBlank: {
                const bool restoring = command.kind == Kind::Restore;
                const std::string caption =
                    restoring ? "Backup " + std::to_string(command.number) : std::string(catalogue::kCurrentCaption);
                const int row = FindRow(list, caption, command.edition);
                if (row == 0) {
                    if (restoring)
                        std::fprintf(console.err, "%s: There is no Backup %d of the %s edition.\n", program.c_str(),
                                     command.number, command.edition.c_str());
                    else
                        std::fprintf(console.err, "%s: There is no live database of the %s edition.\n",
                                     program.c_str(), command.edition.c_str());
                    return kFailed;
                }
                list.Select(row);
                catalogue::lvFiles_Click(form);
                if (restoring)
                    operations::cmdRestore_Click(form);
                else
                    operations::cmdMakeBlank_Click(form);
                break;
            }
            case Kind::Versions:
            case Kind::PutBack: {
                const int row = FindRow(list, catalogue::kCurrentCaption, command.edition);
                if (row == 0) {
                    std::fprintf(console.err, "%s: There is no live database of the %s edition.\n", program.c_str(),
                                 command.edition.c_str());
                    return kFailed;
                }
                const std::string livePath = list.Tag(row);
                if (command.kind == Kind::Versions && !command.json) {
                    // The rows as the Previous Versions dialog shows them.
                    ConsoleListView copies;
                    operations::LoadPreviousVersions(services, copies, livePath);
                    std::vector<std::string> headers;
                    for (int c = 1; c <= copies.ColumnHeaderCount(); ++c) headers.push_back(copies.ColumnHeaderText(c));
                    std::vector<std::vector<std::string>> cells;
                    for (int i = 1; i <= copies.ItemCount(); ++i)
                        cells.push_back({copies.ItemText(i), copies.SubItem(i, 1), copies.SubItem(i, 2), copies.SubItem(i, 3)});
                    PrintTable(console.out, headers, cells);
                    std::fflush(console.out);
                    break;
                }
                const std::vector<operations::PreviousVersion> versions =
                    operations::FindPreviousVersions(services, livePath);
                if (command.kind == Kind::Versions) {
                    std::vector<Row> rows;
                    for (const operations::PreviousVersion& version : versions) {
                        const std::string host = HostPathOf(paths, version.path);
                        rows.push_back({command.edition, version.name,
                                        version.records ? std::to_string(*version.records) : std::string(), "", host,
                                        ModifiedOf(host)});
                    }
                    PrintJson(console.out, rows);
                    std::fflush(console.out);
                    break;
                }
                const auto chosen = std::find_if(versions.begin(), versions.end(), [&](const auto& version) {
                    return version.number == command.number;
                });
                if (chosen == versions.end()) {
                    std::fprintf(console.err, "%s: There is no numbered copy bsrv.%d of the %s edition.\n",
                                 program.c_str(), command.number, command.edition.c_str());
                    return kFailed;
                }
                operations::PutBack(form, livePath, chosen->path);
                break;
            }
        }
    } catch (const ports::ProcessEnded&) {
        // An error report answered Abort: the run ends there.
        return kFailed;
    }
    if (msgbox.outcome() == ConsoleMessageBox::Outcome::Declined)
        std::fprintf(console.err, "%s: Nothing was changed.\n", program.c_str());
    return StatusOf(msgbox.outcome());
}

}  // namespace cli
