// jetq: reads Jet files through the utility's database layer (LibmdbEngine
// and its reader child), for diagnosing a user's file and for comparing the
// layer with other readers.
//
//   jetq FILE "SELECT ..."
//       runs one SELECT and prints the rows tab-separated under a header line.
//   jetq FILE... --table T [--find TEXT] [--csv]
//       prints every row of table T with every column (with --find, only the
//       rows in which a Text or Memo column holds TEXT, without regard to
//       case), tab-separated, or with --csv as mdb-export prints CSV with
//       `-T '%Y-%m-%d %H:%M:%S' -b hex`: a header line of the column names;
//       text, dates and bytes (in upper-case hex) in double quotes, a quote
//       doubled; numbers bare, Currency with its four decimals, Yes/No as 1
//       or 0, Null as nothing. Several files are read at once, one reader
//       each, as many at a time as there are cores; each file's rows follow
//       its header, in the order the files are given.
//
// On failure prints "<number> <description>" on stderr and exits 1; usage
// errors exit 2.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "vb/error.h"
#include "common/vbvalue.h"
#include "jet/libmdb_engine.h"

namespace {

constexpr const char* kUsage =
    "usage: jetq FILE \"SELECT ...\"\n"
    "       jetq FILE... --table T [--find TEXT] [--csv]\n";

jet::LibmdbEngine MakeEngine() {
    jet::LibmdbEngine engine([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
    jet::ReaderLimits limits;
    limits.outputBytes = 1ull << 30;  // a person asked for everything
    limits.cpuSeconds = 60;
    limits.wallClockMs = 120000;
    engine.SetLimits(limits);
    return engine;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(2 * bytes.size());
    for (unsigned char c : bytes) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 15]);
    }
    return out;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    return out + "\"";
}

std::string Csv(const ports::Value& v) {
    struct Visitor {
        std::string operator()(const ports::Null&) const { return ""; }
        std::string operator()(int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const {
            char text[32];
            auto end = std::to_chars(text, text + sizeof text, d).ptr;
            return std::string(text, end);
        }
        std::string operator()(const std::string& s) const { return Quoted(s); }
        std::string operator()(const vb::DateTime& d) const { return Quoted(common::TextOf(d)); }
        std::string operator()(const ports::Currency& c) const {
            const uint64_t m = c.scaled < 0 ? 0 - static_cast<uint64_t>(c.scaled) : static_cast<uint64_t>(c.scaled);
            return (c.scaled < 0 ? "-" : "") + std::to_string(m / 10000) + "." +
                   std::to_string(m % 10000 + 10000).substr(1);
        }
        std::string operator()(const ports::YesNo& b) const { return b.value ? "1" : "0"; }
        std::string operator()(const ports::Bytes& b) const { return Quoted(Hex(b.data)); }
    };
    return std::visit(Visitor{}, v);
}

// Null is shown as such, so that it can be told from an empty text.
std::string Show(const ports::Value& v) {
    if (std::holds_alternative<ports::Null>(v)) return "Null";
    if (const auto* b = std::get_if<ports::Bytes>(&v)) return Hex(b->data);
    return common::TextOf(v);
}

int Select(const std::string& file, const std::string& query) {
    jet::LibmdbEngine engine = MakeEngine();
    auto db = engine.OpenDatabase(file);
    auto rs = db->OpenRecordset(query, ports::dbOpenDynaset);
    const auto names = rs->Names();
    for (size_t i = 0; i < names.size(); ++i) std::cout << (i ? "\t" : "") << names[i];
    std::cout << '\n';
    for (; !rs->IsEOF(); rs->MoveNext()) {
        for (size_t i = 0; i < names.size(); ++i) std::cout << (i ? "\t" : "") << Show(rs->Field(names[i]));
        std::cout << '\n';
    }
    rs->Close();
    db->Close();
    return 0;
}

// One file's rows as they are printed, or the error that ended them.
struct Listing {
    std::string text;
    bool failed = false;
    vb::Error error{0, ""};
};

// Writes the rows to `text` as they come.
Listing ListTable(const std::string& file, const std::string& table, const std::string* find, bool csv,
                  std::ostream& text) {
    Listing out;
    try {
        jet::LibmdbEngine engine = MakeEngine();
        auto db = engine.OpenDatabase(file);
        auto rows = find ? db->FindRecords(table, *find) : db->OpenTable(table);
        const char* sep = csv ? "," : "\t";
        const auto& columns = rows->Columns();
        for (size_t i = 0; i < columns.size(); ++i) text << (i ? sep : "") << columns[i].name;
        text << '\n';
        std::vector<ports::Value> row;
        while (rows->Next(row)) {
            for (size_t i = 0; i < row.size(); ++i) text << (i ? sep : "") << (csv ? Csv(row[i]) : Show(row[i]));
            text << '\n';
        }
        db->Close();
    } catch (const vb::Error& e) {
        out.failed = true;
        out.error = e;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    std::string table, find;
    bool haveTable = false, haveFind = false, csv = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--table" || a == "--find") && i + 1 < argc) {
            (a == "--table" ? table : find) = argv[++i];
            (a == "--table" ? haveTable : haveFind) = true;
        } else if (a == "--csv") {
            csv = true;
        } else if (a.rfind("--", 0) == 0) {
            std::cerr << kUsage;
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (!haveTable) {
        if (files.size() != 2 || csv || haveFind) {
            std::cerr << kUsage;
            return 2;
        }
        try {
            return Select(files[0], files[1]);
        } catch (const vb::Error& e) {
            std::cerr << e.Number() << ' ' << e.Description() << '\n';
            return 1;
        }
    }
    if (files.empty()) {
        std::cerr << kUsage;
        return 2;
    }

    std::ios::sync_with_stdio(false);
    if (files.size() == 1) {
        Listing one = ListTable(files[0], table, haveFind ? &find : nullptr, csv, std::cout);
        std::cout.flush();
        if (!one.failed) return 0;
        std::cerr << files[0] << ": " << one.error.Number() << ' ' << one.error.Description() << '\n';
        return 1;
    }
    // One engine, and so one reader child, for each file; as many threads
    // as there are cores take the files in turn.
    std::vector<Listing> listings(files.size());
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t k; (k = next++) < files.size();) {
            std::ostringstream text;
            listings[k] = ListTable(files[k], table, haveFind ? &find : nullptr, csv, text);
            listings[k].text = text.str();
        }
    };
    const size_t threads = std::min<size_t>(files.size(), std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();

    int status = 0;
    for (size_t k = 0; k < files.size(); ++k) {
        if (listings[k].failed) {
            std::cerr << files[k] << ": " << listings[k].error.Number() << ' ' << listings[k].error.Description() << '\n';
            status = 1;
            continue;
        }
        std::cout << listings[k].text;
    }
    return status;
}
