// A file's bytes, read and written whole, for tests that look at what is on
// disk after a command.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace test_support {

// The file's content; "<missing>" when there is no file.
inline std::string Read(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code missing;
    const auto size = fs::file_size(path, missing);
    if (missing) return "<missing>";
    std::string content(size, '\0');
    std::ifstream(path, std::ios::binary).read(content.data(), static_cast<std::streamsize>(content.size()));
    return content;
}

// Writes content as the whole file, making its folders first.
inline void Write(const std::string& path, const std::string& content) {
    namespace fs = std::filesystem;
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// Whether name is one of the program's own files that stay beside the
// data (".restore-rolvane-data.versions" and the like): no leftover.
inline bool IsOwnFile(const std::string& name) { return name.rfind(".restore-rolvane-data.", 0) == 0; }

}  // namespace test_support
