#include "mkmdb/support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace mkmdb_test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "mkmdb-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

static std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

CommandResult Run(const std::vector<std::string>& argv, bool merge_stderr) {
    TempDir errdir;
    const std::string errfile = errdir.File("stderr");
    std::string cmd;
    for (const auto& a : argv) cmd += ShellQuote(a) + " ";
    cmd += merge_stderr ? "2>&1" : "2>" + ShellQuote(errfile);
    CommandResult r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[65536];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    if (!merge_stderr) {
        std::ifstream in(errfile, std::ios::binary);
        r.err.assign(std::istreambuf_iterator<char>(in), {});
    }
    return r;
}

CsvRows ParseCsv(const std::string& text) {
    CsvRows rows;
    std::vector<Cell> row;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        Cell cell;
        if (text[i] == '"') {
            std::string v;
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        v += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                v += text[i++];
            }
            cell = v;
        } else {
            std::string v;
            while (i < n && text[i] != ',' && text[i] != '\n') v += text[i++];
            if (!v.empty()) cell = v;
        }
        row.push_back(cell);
        if (i < n && text[i] == ',') {
            ++i;
        } else {
            ++i;  // newline or end
            rows.push_back(std::move(row));
            row.clear();
        }
    }
    return rows;
}

CsvRows Export(const std::string& db, const std::string& table) {
    const auto r = Run({"mdb-export", "-H", "-T", "%Y-%m-%d %H:%M:%S", db, table});
    EXPECT_EQ(r.status, 0) << "mdb-export " << db << " " << table << ": " << r.err;
    EXPECT_EQ(r.err, "") << "mdb-export " << db << " " << table;
    if (r.status != 0) return {};
    return ParseCsv(r.out);
}

long Count(const std::string& db, const std::string& table) {
    const auto r = Run({"mdb-count", db, table});
    if (r.status != 0) return -1;
    return std::strtol(r.out.c_str(), nullptr, 10);
}

std::vector<std::string> Tables(const std::string& db) {
    const auto r = Run({"mdb-tables", "-1", db});
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < r.out.size()) {
        const std::size_t nl = r.out.find('\n', start);
        const std::size_t end = nl == std::string::npos ? r.out.size() : nl;
        if (end > start) names.push_back(r.out.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

}  // namespace mkmdb_test
