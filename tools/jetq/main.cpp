// jetq FILE "SELECT ...": runs one SELECT through the utility's database
// layer (LibmdbEngine and its reader child) and prints the rows
// tab-separated under a header line. On failure prints "<number>
// <description>" on stderr and exits 1.
#include <iostream>
#include <string>
#include <variant>

#include "vb/error.h"
#include "common/vbvalue.h"
#include "jet/libmdb_engine.h"

namespace {

// Null is shown as such, so that it can be told from an empty text.
std::string Show(const ports::Value& v) {
    return std::holds_alternative<ports::Null>(v) ? "Null" : common::TextOf(v);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: jetq FILE \"SELECT ...\"\n";
        return 2;
    }
    try {
        jet::LibmdbEngine engine([](const std::string& p) { return p; }, ROLVANE_READER_PATH);
        jet::ReaderLimits limits;
        limits.outputBytes = 1ull << 30;  // a person asked for everything
        limits.cpuSeconds = 60;
        limits.wallClockMs = 120000;
        engine.SetLimits(limits);
        auto db = engine.OpenDatabase(argv[1]);
        auto rs = db->OpenRecordset(argv[2], ports::dbOpenDynaset);
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
