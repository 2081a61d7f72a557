#include "common/shellfolders.h"

#include <gtest/gtest.h>

#include "fakes/fakes.h"

namespace {

TEST(GetSpecialFolder, AddsExactlyOneBackslashExceptForShortPaths) {
    struct Row {
        const char* name;
        std::string path;
        std::string expected;
    } rows[] = {
        {"documents", "D:\\Docs", "D:\\Docs\\"},
        {"already ends in backslash", "C:\\Data\\", "C:\\Data\\\\"},
        {"drive root", "C:\\", "C:\\"},
        {"four characters", "C:\\a", "C:\\a\\"},
        {"host path", "/home/ann/Documents", "/home/ann/Documents\\"},
    };
    for (const Row& row : rows) {
        fakes::World w;
        w.shell.folders[5] = row.path;
        EXPECT_EQ(common::GetSpecialFolder(w.sys, 5), row.expected) << row.name;
    }
}

TEST(GetSpecialFolder, UnknownFolderOrFailedConversionIsEmptyWithoutReport) {
    fakes::World w;
    w.shell.folders[26] = "C:\\users\\ann\\AppData\\Roaming";
    w.shell.conversionFails.insert(26);
    EXPECT_EQ(common::GetSpecialFolder(w.sys, 99), "");
    EXPECT_EQ(common::GetSpecialFolder(w.sys, 26), "");
    EXPECT_TRUE(w.msgbox.shown.empty());
}

TEST(GetSpecialFolder, FailureIsReportedAndLeavesWithTheResultSoFar) {
    fakes::World w;
    w.shell.folders[5] = "C:\\Docs";
    w.shell.failures.Add("GetPathFromIDList", vb::Error(5, "x"));
    w.msgbox.Answer(ports::vbIgnore);  // line 70 ignored: 80 reads the blank buffer
    EXPECT_EQ(common::GetSpecialFolder(w.sys, 5), std::string(260, ' ') + "\\");
    ASSERT_EQ(w.msgbox.shown.size(), 1u);
    EXPECT_EQ(w.msgbox.shown[0].title, "Error 5 in GetSpecialFolder");
    EXPECT_NE(w.msgbox.shown[0].prompt.find("Module: Common\r\nLine Number: 70"), std::string::npos);
}

TEST(lvAutosizeControl, SizesEveryColumnInOrderAndNothingWithoutColumns) {
    fakes::World w;
    fakes::FakeListView lv;
    common::lvAutosizeControl(w.sys, lv);
    EXPECT_TRUE(lv.autosized.empty());
    for (const char* h : {"Database", "Version", "Records", "FileDate"}) lv.AddColumnHeader(h);
    lv.failures.Add("AutosizeColumn", vb::Error(5, "x"));
    w.msgbox.Answer(ports::vbIgnore);  // the first column fails: go on with the next
    common::lvAutosizeControl(w.sys, lv);
    EXPECT_EQ(lv.autosized, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(w.msgbox.shown.at(0).title, "Error 5 in lvAutosizeControl");
}

}  // namespace
