// Helpers shared by the database-layer tests: where the samples and the
// reader child are, temporary folders, and capturing the terminal.
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
#include <string>
#include <vector>

#include "common/error.h"
#include "platform/database_libmdb.h"

namespace dbtest {

namespace fs = std::filesystem;

inline std::string SamplesDir() { return std::string(ROLVANE_SHARED_DIR) + "/jet-samples"; }
inline std::string ReaderPath() { return ROLVANE_READER_PATH; }

#define REQUIRE_SAMPLES()                                                                         \
    do {                                                                                          \
        if (!std::filesystem::exists(dbtest::SamplesDir() + "/nwind.mdb"))                      \
            GTEST_SKIP() << "Jet samples not found at " << dbtest::SamplesDir() << " (../shared missing)"; \
    } while (0)

inline platform::LibmdbEngine Engine() {
    return platform::LibmdbEngine([](const std::string& p) { return p; }, ReaderPath());
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
        return std::string(bytes.begin(), bytes.end());
    }

private:
    std::string file_;
    int saved1_ = -1, saved2_ = -1;
};

}  // namespace dbtest
