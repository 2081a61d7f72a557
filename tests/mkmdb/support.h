// Helpers for reading written databases back through the mdbtools programs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mkmdb_test {

// A fresh directory under the system temp dir, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

struct CommandResult {
    int status = -1;  // exit status, or -1 if the command did not exit normally
    std::string out;  // stdout; stderr too when merge_stderr
    std::string err;  // stderr unless merge_stderr
};

// Runs argv (each argument shell-quoted) through popen.
CommandResult Run(const std::vector<std::string>& argv, bool merge_stderr = false);

// One CSV cell from mdb-export: nullopt for an unquoted empty field (Null).
using Cell = std::optional<std::string>;
using CsvRows = std::vector<std::vector<Cell>>;

// mdb-export without a header, date/time as "%Y-%m-%d %H:%M:%S". Fails the
// current test if mdb-export exits non-zero (then returns no rows) or warns.
CsvRows Export(const std::string& db, const std::string& table);
// mdb-count's number, or -1 on failure.
long Count(const std::string& db, const std::string& table);
// mdb-tables -1: the table names, one per line.
std::vector<std::string> Tables(const std::string& db);

// Parses CSV in mdb-export's form: fields optionally quoted with ", quotes doubled.
CsvRows ParseCsv(const std::string& text);

}  // namespace mkmdb_test
