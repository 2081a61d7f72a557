// Helpers shared by the database-layer tests: where the samples and the
// reader child are, temporary folders, files written by mkmdb, and capturing
// the terminal.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "vb/error.h"
#include "mkmdb/mkmdb.h"
#include "jet/libmdb_engine.h"

namespace dbtest {

namespace fs = std::filesystem;

inline std::string SamplesDir() { return std::string(ROLVANE_SHARED_DIR) + "/jet-samples"; }
inline std::string ReaderPath() { return ROLVANE_READER_PATH; }

#define REQUIRE_SAMPLES()                                                                         \
    do {                                                                                          \
        if (!std::filesystem::exists(dbtest::SamplesDir() + "/nwind.mdb"))                      \
            GTEST_SKIP() << "Jet samples not found at " << dbtest::SamplesDir() << " (../shared missing)"; \
    } while (0)

inline jet::LibmdbEngine Engine() {
    return jet::LibmdbEngine([](const std::string& p) { return p; }, ReaderPath());
}

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "rolvane-db-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

inline std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// ---- the files a test runs on ---------------------------------------------------
//
// A test that needs only some valid Jet file with known tables runs on a Jet 4
// file written by mkmdb, so that it runs wherever the project builds; where the
// real files matter (Jet 3, a file Access wrote), it runs on a sample as well.

enum class Base {
    Nwind,     // jet-samples/nwind.mdb: Jet 3, 2 KiB pages, written by Access
    DateTest,  // jet-samples/DateTestDatabase.mdb: Jet 4, written by Access
    Written,   // WriteKnownTables: Jet 4, written by mkmdb
};

inline std::string BaseName(Base b) {
    switch (b) {
        case Base::Nwind: return "Nwind";
        case Base::DateTest: return "DateTest";
        case Base::Written: return "Written";
    }
    return "?";
}

// Skips the test when `base` is a sample and the samples are missing.
#define REQUIRE_BASE(base)                                        \
    do {                                                          \
        if ((base) != dbtest::Base::Written) REQUIRE_SAMPLES();   \
    } while (0)

// The tables of the written file, named and shaped after the samples' tables
// that the tests query: Customers, Shippers and Order Details as in nwind, and
// DateTest as in DateTestDatabase. Order Details fills about ten pages and
// DateTest comes last, so the second half of the file holds their rows.
inline std::vector<mkmdb::Table> KnownTables() {
    using mkmdb::ColumnType;
    mkmdb::Table customers{"Customers", {{"CustomerID", ColumnType::Text, 5}, {"CompanyName", ColumnType::Text, 40}}, {}, 0, {}};
    customers.rows = {{std::string("ALFKI"), std::string("Alfreds Futterkiste")},
                      {std::string("ANATR"), std::string("Ana Trujillo Emparedados y helados")},
                      {std::string("BERGS"), std::string("Berglunds snabbköp")}};
    mkmdb::Table shippers{"Shippers",
                          {{"ShipperID", ColumnType::Long}, {"CompanyName", ColumnType::Text, 40}, {"Phone", ColumnType::Text, 24}},
                          {},
                          0,
                          {}};
    shippers.rows = {{int32_t{1}, std::string("Speedy Express"), std::string("(503) 555-9831")},
                     {int32_t{2}, std::string("United Package"), std::string("(503) 555-3199")},
                     {int32_t{3}, std::string("Federal Shipping"), std::string("(503) 555-9931")}};
    mkmdb::Table details{"Order Details",
                         {{"OrderID", ColumnType::Long}, {"ProductID", ColumnType::Long}, {"Quantity", ColumnType::Long}},
                         {},
                         2155,
                         [](std::size_t i, mkmdb::Row& row) {
                             row[0] = static_cast<int32_t>(10248 + i / 3);
                             row[1] = static_cast<int32_t>(1 + i % 77);
                             row[2] = static_cast<int32_t>(1 + i % 40);
                         }};
    mkmdb::Table dates{"DateTest",
                       {{"IDCol", ColumnType::Long}, {"DateTimeCol", ColumnType::DateTime}, {"ShortTextCol", ColumnType::Text, 255}},
                       {},
                       0,
                       {}};
    dates.rows = {{int32_t{1}, mkmdb::DateTime{2021, 12, 2}, std::string("Hello")},
                  {int32_t{2}, mkmdb::DateTime{1899, 12, 30, 13, 30, 0}, std::string()},
                  {int32_t{3}, mkmdb::DateTime{1900, 1, 1}, std::monostate{}},
                  {int32_t{4}, mkmdb::DateTime{632, 1, 1}, std::string("old")},
                  {int32_t{5}, std::monostate{}, std::string("Grüße")},
                  {int32_t{6}, mkmdb::DateTime{9999, 12, 31, 23, 59, 59}, std::string("last")}};
    return {customers, shippers, details, dates};
}

// Writes KnownTables() to `path` and returns `path`.
inline std::string WriteKnownTables(const std::string& path) {
    mkmdb::Write(path, KnownTables());
    return path;
}

// The file `base` names: a sample, or the written file, made in `dir`. Call
// REQUIRE_BASE first.
inline std::string BaseFile(Base base, const TempDir& dir) {
    switch (base) {
        case Base::Nwind: return SamplesDir() + "/nwind.mdb";
        case Base::DateTest: return SamplesDir() + "/DateTestDatabase.mdb";
        case Base::Written: return WriteKnownTables(dir.File("written.mdb"));
    }
    throw std::logic_error("unknown base");
}

// The vb::Error number `f` throws, or 0 when it returns normally.
inline int ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const vb::Error& e) {
        return e.Number();
    }
    return 0;
}

// Runs `f` with descriptors 1 and 2 sent to a file; returns what reached them.
class TerminalCapture {
public:
    explicit TerminalCapture(const std::string& file) : file_(file) {
        fflush(stdout);
        fflush(stderr);
        saved1_ = dup(1);
        saved2_ = dup(2);
        int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
    }
    ~TerminalCapture() { Restore(); }
    std::string Restore() {
        if (saved1_ >= 0) {
            fflush(stdout);
            fflush(stderr);
            dup2(saved1_, 1);
            dup2(saved2_, 2);
            close(saved1_);
            close(saved2_);
            saved1_ = saved2_ = -1;
        }
        auto bytes = ReadBytes(file_);
        std::string text(bytes.begin(), bytes.end());
        // The engine's one notice per run about a part of the sandbox that
        // the kernel does not offer is not output of a database; whatever
        // else arrived is.
        for (const char* notice : {jet::reader::kNoLandlockNotice, jet::reader::kNoSeccompNotice})
            if (auto at = text.find(notice); at != std::string::npos) text.erase(at, std::string(notice).size());
        return text;
    }

private:
    std::string file_;
    int saved1_ = -1, saved2_ = -1;
};

// What the engine says on stderr when it refuses `files` (3343): one line
// for each, naming the file and why, and nothing else (nothing of libmdb's).
inline ::testing::AssertionResult RefusalsOf(const std::string& printed, const std::vector<std::string>& files) {
    std::string rest = printed;
    for (const auto& file : files) {
        const std::string head = "restore-rolvane-data: the database reader refused " + file + ": ";
        const size_t end = rest.find('\n');
        if (rest.rfind(head, 0) != 0 || end == std::string::npos || end == head.size())
            return ::testing::AssertionFailure() << "no refusal of " << file << " with a reason in: " << printed;
        rest.erase(0, end + 1);
    }
    if (!rest.empty()) return ::testing::AssertionFailure() << "more than the refusals was printed: " << rest;
    return ::testing::AssertionSuccess();
}

}  // namespace dbtest
