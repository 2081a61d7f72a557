// mkmdb: writes a Jet 4 database holding the tables the utility reads.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mkmdb/contacts.h"
#include "mkmdb/mkmdb.h"

namespace {

constexpr const char* kUsage =
    "usage: mkmdb OUT.mdb [--roof N] [--contacts [--first ID] [--changed ID]... [--big-values BYTES]]\n"
    "             [--option12 TEXT | --option12-null | --no-option12] [--options-only]\n"
    "\n"
    "Writes a Jet 4 (.mdb) database at OUT.mdb, replacing any file there.\n"
    "\n"
    "  --roof N          table 'roof' with N contact rows (default 0): ID Long 1..N,\n"
    "                    Name Text, Company Text (Null on every 10th row),\n"
    "                    Created DateTime; the content depends only on the row number.\n"
    "  --contacts        'roof' as contacts of 20 columns (Text, Memo, Long, Currency,\n"
    "                    Double, Yes/No, DateTime, OLE Object; tools/mkmdb/contacts.h)\n"
    "                    with the IDs ID .. ID+N-1 (--first, default 1); each contact\n"
    "                    depends only on its ID, and on --changed, which gives that\n"
    "                    contact other values (may be repeated).\n"
    "  --big-values BYTES  with --contacts: the first contact's Notes (Memo) holds\n"
    "                    BYTES bytes of UTF-8 text (numbered lines) and its Photo\n"
    "                    (OLE Object) BYTES bytes.\n"
    "  --option12 TEXT   table 'stringoptions' (optionnumber Long, option Text) with\n"
    "                    options 1, 5, 12 and 20; option 12 holds TEXT verbatim.\n"
    "                    --option12=TEXT works too.\n"
    "  --option12-null   as --option12, with option 12 Null.\n"
    "  --no-option12     'stringoptions' without a row for option 12.\n"
    "  --options-only    leave out 'roof'; implies --no-option12 unless another\n"
    "                    option-12 flag is given.\n"
    "\n"
    "Without an option-12 flag or --options-only there is no 'stringoptions' table;\n"
    "'roof' is always written unless --options-only is given.\n"
    "Exit status 0 on success, 1 on any error (message on stderr).\n";

enum class Option12 { Absent, Text, Null, Missing };

mkmdb::Table RoofTable(std::size_t n) {
    static const char* const kCompanies[] = {"Acme Ltd", "Müller GmbH", "Ærø Fiskeri", "日本商事", "Bay & Co"};
    mkmdb::Table t;
    t.name = "roof";
    t.columns = {{"ID", mkmdb::ColumnType::Long},
                 {"Name", mkmdb::ColumnType::Text, 50},
                 {"Company", mkmdb::ColumnType::Text, 50},
                 {"Created", mkmdb::ColumnType::DateTime}};
    t.row_count = n;
    t.generate = [](std::size_t i, mkmdb::Row& row) {
        row[0] = static_cast<int32_t>(i + 1);
        row[1] = "Contact " + std::to_string(i + 1);
        if (i % 10 != 9) row[2] = std::string(kCompanies[i % 5]);
        const int k = static_cast<int>(i % 100000);
        row[3] = mkmdb::DateTime{2000 + k % 25, 1 + k % 12, 1 + k % 28, k % 24, k % 60, (k * 7) % 60};
    };
    return t;
}

mkmdb::Table OptionsTable(Option12 mode, const std::string& text) {
    mkmdb::Table t;
    t.name = "stringoptions";
    t.columns = {{"optionnumber", mkmdb::ColumnType::Long}, {"option", mkmdb::ColumnType::Text, 255}};
    t.rows.push_back({int32_t{1}, std::string("value 1")});
    t.rows.push_back({int32_t{5}, std::string("value 5")});
    if (mode == Option12::Text) t.rows.push_back({int32_t{12}, text});
    if (mode == Option12::Null) t.rows.push_back({int32_t{12}, std::monostate{}});
    t.rows.push_back({int32_t{20}, std::string("value 20")});
    return t;
}

[[noreturn]] void Fail(const std::string& msg) {
    std::fprintf(stderr, "mkmdb: %s\n", msg.c_str());
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> out;
    std::optional<std::size_t> roof;
    Option12 mode = Option12::Absent;
    std::string text;
    bool options_only = false;
    bool contacts = false;
    mkmdb::ContactList shape;
    auto number = [](const char* flag, const std::string_view v) {
        int32_t n = 0;
        const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
        if (ec != std::errc() || p != v.data() + v.size() || v.empty() || n < 1)
            Fail(std::string(flag) + ": not an ID: " + std::string(v));
        return n;
    };
    auto set_mode = [&](Option12 m) {
        if (mode != Option12::Absent) Fail("only one of --option12, --option12-null, --no-option12 may be given");
        mode = m;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--roof") {
            if (++i >= argc) Fail("--roof needs a row count");
            const std::string_view v = argv[i];
            std::size_t n = 0;
            const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc() || p != v.data() + v.size() || v.empty()) Fail("--roof: not a row count: " + std::string(v));
            roof = n;
        } else if (a == "--contacts") {
            contacts = true;
        } else if (a == "--first" || a == "--changed") {
            if (++i >= argc) Fail(std::string(a) + " needs an ID");
            const int32_t id = number(argv[i - 1], argv[i]);
            if (a == "--first") shape.first = id;
            else shape.changed.insert(id);
        } else if (a == "--big-values") {
            if (++i >= argc) Fail("--big-values needs a size in bytes");
            const std::string_view v = argv[i];
            std::size_t n = 0;
            const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc() || p != v.data() + v.size() || v.empty() || n == 0)
                Fail("--big-values: not a size in bytes: " + std::string(v));
            shape.bigValues = n;
        } else if (a == "--option12") {
            if (++i >= argc) Fail("--option12 needs a text (use '' for an empty one)");
            set_mode(Option12::Text);
            text = argv[i];
        } else if (a.starts_with("--option12=")) {
            set_mode(Option12::Text);
            text = std::string(a.substr(std::strlen("--option12=")));
        } else if (a == "--option12-null") {
            set_mode(Option12::Null);
        } else if (a == "--no-option12") {
            set_mode(Option12::Missing);
        } else if (a == "--options-only") {
            options_only = true;
        } else if (a.starts_with("-") && a.size() > 1) {
            std::fputs(kUsage, stderr);
            Fail("unknown option " + std::string(a));
        } else if (!out) {
            out = std::string(a);
        } else {
            Fail("more than one output file given");
        }
    }
    if (!out) {
        std::fputs(kUsage, stderr);
        Fail("no output file given");
    }
    if (options_only && roof) Fail("--roof and --options-only exclude each other");
    if (options_only && mode == Option12::Absent) mode = Option12::Missing;

    std::vector<mkmdb::Table> tables;
    if (!contacts && (shape.first != 1 || !shape.changed.empty() || shape.bigValues != 0))
        Fail("--first, --changed and --big-values need --contacts");
    if (contacts && options_only) Fail("--contacts and --options-only exclude each other");
    shape.count = roof.value_or(0);
    if (!options_only) tables.push_back(contacts ? mkmdb::ContactsTable(shape) : RoofTable(roof.value_or(0)));
    if (mode != Option12::Absent) tables.push_back(OptionsTable(mode, text));
    try {
        mkmdb::Write(*out, tables);
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    return 0;
}
