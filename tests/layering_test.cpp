// The layers of src/, written once: which rooms each room may include. The
// build enforces the same order through the libraries' views (each library
// exports its own folder only), but a view lets through what a library links
// for another reason; this test reads every include and says which runs
// against the layers, by file and line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Each room and the rooms below it that it may include (its own is always
// allowed). The procedures see only the vocabulary, the service headers and
// each other downward; the platform sits beside them on ports/; the room both
// programs share sees everything below it; the two programs sit on top and
// never see each other.
const std::map<std::string, std::set<std::string>>& Layers() {
    static const std::set<std::string> procedures = {"vb", "ports", "common", "catalogue", "operations", "records"};
    static const std::set<std::string> platform = {"host", "wine", "posix", "jet", "history"};
    static const std::map<std::string, std::set<std::string>> layers = [] {
        std::map<std::string, std::set<std::string>> l = {
            {"vb", {}},
            {"ports", {"vb"}},
            {"common", {"vb", "ports"}},
            {"catalogue", {"vb", "ports", "common"}},
            {"operations", {"vb", "ports", "common", "catalogue"}},
            {"records", {"vb", "ports", "common", "catalogue", "operations"}},
            {"host", {"vb", "ports"}},
            {"wine", {"vb", "ports", "host"}},
            {"posix", {"vb", "ports", "host", "wine"}},
            {"jet", {"vb", "ports"}},
            {"jet/reader", {"vb", "jet"}},
            {"history", {"vb", "ports", "host"}},
        };
        std::set<std::string> below = procedures;
        below.insert(platform.begin(), platform.end());
        l["app"] = below;
        below.insert("app");
        l["cli"] = below;
        l["gui"] = below;
        return l;
    }();
    return layers;
}

// The room of a path relative to src/ ("jet/reader/x.h" is in jet/reader,
// "jet/query.h" in jet).
std::string RoomOf(const std::string& path) {
    if (path.rfind("jet/reader/", 0) == 0) return "jet/reader";
    const auto slash = path.find('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

TEST(Layering, EveryIncludeOfSrcFollowsTheLayers) {
    const fs::path src = fs::path(ROLVANE_SOURCE_DIR) / "src";
    const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
    std::vector<std::string> against;
    std::set<std::string> unknownRooms;
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const auto ext = entry.path().extension();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
        const std::string rel = fs::relative(entry.path(), src).generic_string();
        const std::string room = RoomOf(rel);
        const auto layer = Layers().find(room);
        if (layer == Layers().end()) {
            unknownRooms.insert(room.empty() ? rel : room);
            continue;
        }
        ++files;
        std::ifstream in(entry.path());
        std::string line;
        for (int n = 1; std::getline(in, line); ++n) {
            std::smatch m;
            if (!std::regex_search(line, m, include)) continue;
            const std::string target = RoomOf(m[1]);
            if (target.empty() || !Layers().count(target)) continue;  // not one of ours
            if (target != room && !layer->second.count(target))
                against.push_back(rel + ":" + std::to_string(n) + ": " + room + " includes " + m[1].str());
        }
    }
    EXPECT_GT(files, 100u) << "the sources were not found under " << src;
    for (const auto& r : unknownRooms)
        ADD_FAILURE() << "src/" << r << " is in no layer: add it to Layers() and the README's layout table";
    for (const auto& a : against) ADD_FAILURE() << a;
}

TEST(Layering, RoomsFromTheLayers) {
    EXPECT_EQ(RoomOf("jet/reader/stream.h"), "jet/reader");
    EXPECT_EQ(RoomOf("jet/query.h"), "jet");
    EXPECT_EQ(RoomOf("gui/mainwindow.h"), "gui");
    EXPECT_EQ(RoomOf("CMakeLists.txt"), "");
    // The two programs never see each other, and nothing below them sees either.
    for (const auto& [room, allowed] : Layers()) {
        if (room != "gui") {
            EXPECT_FALSE(allowed.count("gui")) << room;
        }
        if (room != "cli") {
            EXPECT_FALSE(allowed.count("cli")) << room;
        }
    }
}

}  // namespace
