// What the tests of the Linux file services share: a fresh temporary folder
// with the real service over it, and small helpers to read what it did.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "posix/files.h"
#include "support/temp_folder.h"
#include "vb/error.h"

namespace posix_files_test {

// The error number an operation throws, or 0 when it succeeds.
inline int ErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const vb::Error& error) {
        return error.Number();
    }
    return 0;
}

// The kind of the error an operation throws (vb/error.h); nullopt when it
// succeeds.
inline std::optional<vb::ErrorKind> KindOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const vb::Error& error) {
        return error.Kind();
    }
    return std::nullopt;
}

inline std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class PosixFilesTest : public ::testing::Test {
protected:
    std::string At(const std::string& name) const { return tmp / name; }

    platform_test::TempFolder tmp;
    wine::WinePaths paths{""};
    posix::PosixFiles files{paths};
};

}  // namespace posix_files_test
