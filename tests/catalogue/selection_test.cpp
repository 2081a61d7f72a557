// What the selected row does to the two commands.
#include <gtest/gtest.h>

#include "form_fixture.h"

using namespace testing_form;

namespace {

struct SelectionTest : FormFixture, ::testing::Test {
    void AddRow(const std::string& caption, const std::string& tag) {
        int i = lv.AddItem(caption);
        lv.SetTag(i, tag);
    }
    void Click(int row, bool restoreBefore = true, bool blankBefore = true) {
        restore.enabled = restoreBefore;
        makeBlank.enabled = blankBefore;
        lv.Select(row);
        catalogue::lvFiles_Click(form);
    }
};

TEST_F(SelectionTest, ButtonsFollowTheKindOfRow) {
    AddRow("(Current)", "C:\\a\\bsrv.mdb");
    AddRow("Backup 1", "C:\\b\\Backup1.rb");
    AddRow("(current)", "C:\\c\\bsrv.mdb");
    AddRow(" (Current)", "C:\\d\\bsrv.mdb");
    AddRow("(Current)", "");
    AddRow("Backup 2", "");
    struct Row {
        int row;
        bool restoreBefore, blankBefore, restoreAfter, blankAfter;
    } rows[] = {
        {1, true, false, false, true},   // live database
        {1, false, false, false, true},
        {2, false, true, true, false},   // backup
        {3, false, true, true, false},   // differs in case: a backup row
        {4, false, true, true, false},   // differs in blanks: a backup row
        {5, true, false, true, false},   // empty path: unchanged
        {6, false, true, false, true},
    };
    for (const Row& r : rows) {
        Click(r.row, r.restoreBefore, r.blankBefore);
        EXPECT_EQ(restore.enabled, r.restoreAfter) << "row " << r.row;
        EXPECT_EQ(makeBlank.enabled, r.blankAfter) << "row " << r.row;
    }
    EXPECT_TRUE(w.msgbox.shown.empty());
    EXPECT_TRUE(cancel.enabled);
}

TEST_F(SelectionTest, NoSelectedRowDisablesBothWithoutAReport) {
    AddRow("Backup 1", "C:\\b\\Backup1.rb");
    Click(0);
    EXPECT_FALSE(restore.enabled);
    EXPECT_FALSE(makeBlank.enabled);
    EXPECT_TRUE(w.msgbox.shown.empty());
}

TEST_F(SelectionTest, AFailingButtonIsReportedUnderTheHandlersName) {
    AddRow("Backup 1", "C:\\b\\Backup1.rb");
    restore.failures.Add("SetEnabled", vb::Error(5, "x"));
    w.msgbox.Answer(ports::vbIgnore);
    Click(1, false, true);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Error 5 in lvFiles_Click"}));
    EXPECT_FALSE(makeBlank.enabled);  // Ignore went on with the next line
}

TEST_F(SelectionTest, CancelEndsTheProgramAtOnce) {
    EXPECT_THROW(catalogue::cmdCancel_Click(form), ports::ProcessEnded);
    EXPECT_EQ(w.process.ends, 1);
    EXPECT_TRUE(w.msgbox.shown.empty());
}

}  // namespace
