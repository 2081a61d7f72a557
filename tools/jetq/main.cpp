// jetq FILE "SELECT ...": runs one SELECT through the utility's database
// layer (LibmdbEngine and its reader child) and prints the rows
// tab-separated under a header line. On failure prints "<number>
// <description>" on stderr and exits 1.
#include <cstdio>
#include <iostream>
#include <string>
#include <variant>

#include "common/error.h"
#include "platform/database_libmdb.h"

namespace {

std::string Show(const platform::Value& v) {
    struct Visitor {
        std::string operator()(const platform::Null&) const { return "Null"; }
        std::string operator()(int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.17g", d);
            return buf;
        }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const vb::DateTime& d) const {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute,
                          d.second);
            return buf;
        }
    };
    return std::visit(Visitor{}, v);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: jetq FILE \"SELECT ...\"\n";
        return 2;
    }
    try {
        platform::LibmdbEngine engine([](const std::string& p) { return p; }, platform::DefaultReaderPath());
        platform::ReaderLimits limits;
        limits.outputBytes = 1ull << 30;  // a person asked for everything
        limits.cpuSeconds = 60;
        limits.wallClockMs = 120000;
        engine.SetLimits(limits);
        auto db = engine.OpenDatabase(argv[1]);
        auto rs = db->OpenRecordset(argv[2], platform::dbOpenDynaset);
        const auto names = rs->Names();
        for (size_t i = 0; i < names.size(); ++i) std::cout << (i ? "\t" : "") << names[i];
        std::cout << '\n';
        for (; !rs->IsEOF(); rs->MoveNext()) {
            for (size_t i = 0; i < names.size(); ++i) std::cout << (i ? "\t" : "") << Show(rs->Field(names[i]));
            std::cout << '\n';
        }
        rs->Close();
        db->Close();
    } catch (const vb::Error& e) {
        std::cerr << e.Number() << ' ' << e.Description() << '\n';
        return 1;
    }
    return 0;
}
