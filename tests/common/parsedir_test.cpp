#include "common/parsedir.h"

#include <gtest/gtest.h>

#include "fakes/fakes.h"

namespace {

struct ParseDirTest : ::testing::Test {
    fakes::World w;
    std::string Parse(const std::string& file, const std::string& type) {
        return common::ParseDir(w.sys, file, type);
    }
};

TEST_F(ParseDirTest, WorkedResults) {
    struct Row {
        std::string file, dir, nameonly, name, ext, prevdir;
    } rows[] = {
        {"C:\\Data\\bsrv.mdb", "C:\\Data\\", "bsrv", "bsrv.mdb", "mdb", "C:\\Data\\"},
        {"C:\\Data\\", "C:\\Data\\", "", "", "", "C:\\"},
        {"bsrv.mdb", "", "bsrv", "bsrv.mdb", "mdb", "bsrv.mdb"},
        {"C:bsrv.mdb", "C:", "bsrv", "bsrv.mdb", "mdb", "C:bsrv.mdb"},
        {"C:\\Back.ups\\archive.tar.gz", "C:\\Back.ups\\", "archive", "archive.tar.gz", "tar.gz", "C:\\Back.ups\\"},
        {"C:\\Data\\README", "C:\\Data\\", "README", "README", "", "C:\\Data\\"},
        {"C:\\Data\\.hidden", "C:\\Data\\", "", ".hidden", "hidden", "C:\\Data\\"},
        {"", "", "", "", "", ""},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Parse(r.file, "dir"), r.dir) << r.file;
        EXPECT_EQ(Parse(r.file, "nameonly"), r.nameonly) << r.file;
        EXPECT_EQ(Parse(r.file, "name"), r.name) << r.file;
        EXPECT_EQ(Parse(r.file, "filename"), r.name) << r.file;
        EXPECT_EQ(Parse(r.file, "ext"), r.ext) << r.file;
        EXPECT_EQ(Parse(r.file, "extension"), r.ext) << r.file;
        EXPECT_EQ(Parse(r.file, "prevdir"), r.prevdir) << r.file;
        EXPECT_EQ(Parse(r.file, "previousdir"), r.prevdir) << r.file;
    }
    EXPECT_TRUE(w.msgbox.shown.empty());
}

TEST_F(ParseDirTest, KeywordsIgnoreCaseAndUnknownOnesGiveNothing) {
    EXPECT_EQ(Parse("C:\\Data\\bsrv.mdb", "DIR"), "C:\\Data\\");
    EXPECT_EQ(Parse("C:\\Data\\bsrv.mdb", "Dir"), "C:\\Data\\");
    EXPECT_EQ(Parse("C:\\Data\\bsrv.mdb", "NameOnly"), "bsrv");
    EXPECT_EQ(Parse("C:\\Data\\bsrv.mdb", "folder"), "");
    EXPECT_EQ(Parse("C:\\Data\\bsrv.mdb", ""), "");
    EXPECT_EQ(Parse("C:\\Data\\bsrv.mdb", " dir"), "");
}

TEST_F(ParseDirTest, Regressions) {
    EXPECT_EQ(Parse("C:\\Data\\bsrv.", "ext"), "") << "name ending in a full stop";
    EXPECT_EQ(Parse("C:\\Data\\bsrv.", "nameonly"), "bsrv");
    EXPECT_EQ(Parse("\\", "prevdir"), "\\") << "only backslash is the last character";
    EXPECT_EQ(Parse("C:\\a\\b\\c\\", "prevdir"), "C:\\a\\b\\");
    EXPECT_EQ(Parse("C:\\x.y\\file", "ext"), "") << "full stops in folders are not looked at";
    EXPECT_EQ(Parse("D:\\Rolvane Data\\\\bsrv.mdb", "dir"), "D:\\Rolvane Data\\\\");
    EXPECT_EQ(Parse("a:b\\c:d.e", "dir"), "a:b\\c:");
    EXPECT_EQ(Parse(".", "ext"), "");
    EXPECT_EQ(Parse("..", "nameonly"), "");
}

}  // namespace
