// Create Blank on the fakes: the edition's shell file over its live
// database, and what the user sees when it cannot be done.
#include <gtest/gtest.h>

#include "operations/commands.h"
#include "operations/commands_fixture.h"
#include "operations/setaside.h"

using namespace testing_commands;
using fakes::db::Options;
using fakes::db::Roof;
using ports::vbCancel;
using ports::vbOK;
using ports::vbRetry;
using ports::vbYes;

namespace {

TEST_F(CommandsTest, CreateBlankOnThePersonalLiveDatabase) {
    w.files.Put(kPersonalLive, Roof(10));
    w.files.Put(kPersonalShell, Roof(0));
    SelectRow(kPersonalLive);
    ASSERT_TRUE(makeBlank.enabled);
    w.msgbox.Answer({vbYes, vbOK});
    operations::cmdMakeBlank_Click(form);
    EXPECT_EQ(w.msgbox.shown.at(0).prompt,
              "Warning: You are about to erase all of the data in your Rolvane program.  Do you want to continue?");
    EXPECT_EQ(w.msgbox.shown.at(1).title, "Create Blank Successful");
    EXPECT_EQ(w.msgbox.shown.at(1).prompt, "Database has been reset to the default values");
    EXPECT_EQ(Content(kPersonalFolder + "bsrv.1"), Roof(10));
    EXPECT_EQ(Content(kPersonalLive), Roof(0));
    EXPECT_EQ(lv.items.at(0).sub[2], "0");
}

TEST_F(CommandsTest, CreateBlankOnTheBusinessDatabaseOfOption12UsesTheBusinessShell) {
    w.files.Put(kOptions, Options("E:\\Contacts"));
    w.files.Put("E:\\Contacts\\bsrv.mdb", Roof(50));
    w.files.Put(kBusinessShell, Roof(1));
    w.files.Put(kPersonalShell, Roof(2));
    SelectRow("E:\\Contacts\\bsrv.mdb");
    w.msgbox.Answer({vbYes, vbOK});
    operations::cmdMakeBlank_Click(form);
    EXPECT_EQ(Content("E:\\Contacts\\bsrv.mdb"), Roof(1));
    EXPECT_EQ(Content("E:\\Contacts\\bsrv.1"), Roof(50));
}

TEST_F(CommandsTest, MissingShellKeepsTheLiveDatabaseInPlace) {
    for (const bool hardLinks : {true, false}) {
        FormFixture f;
        f.w.files.hardLinks = hardLinks;
        f.w.files.Put(kPersonalLive, Roof(10));
        catalogue::Form_Load(f.form);
        f.w.msgbox.Answer({vbYes, vbOK});
        operations::cmdMakeBlank_Click(f.form);
        EXPECT_EQ(f.Titles(), (std::vector<std::string>{"Restore Warning", "Unable to locate shell"})) << hardLinks;
        EXPECT_EQ(f.w.msgbox.shown[1].prompt,
                  "Unable to locate the shell file.  If Rolvane is not installed in the default folder, this "
                  "function will not work.");
        EXPECT_EQ(f.w.files.Find(kPersonalLive)->content, Roof(10)) << hardLinks;
        EXPECT_EQ(f.w.files.Paths().size(), 1u) << hardLinks << ": no numbered copy is left";
        EXPECT_EQ(f.lv.items.size(), 1u) << "the rebuilt catalogue still lists it";
    }
}

TEST_F(CommandsTest, CreateBlankHeldOpenShowsTheDialogOtherFailuresTheirOwnMessage) {
    w.files.Put(kPersonalLive, Roof(10));
    w.files.Find(kPersonalLive)->heldOpen = true;
    w.files.Put(kPersonalShell, Roof(0));
    SelectRow(kPersonalLive);
    w.msgbox.Answer({vbYes, vbRetry, vbCancel});
    operations::cmdMakeBlank_Click(form);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Restore Warning", "File in Use", "File in Use"}));
    EXPECT_EQ(Content(kPersonalLive), Roof(10));

    // A failure that has nothing to do with a file in use is told as what
    // it is; the old data stays in place.
    w.files.Find(kPersonalLive)->heldOpen = false;
    w.files.failures.Add("FileCopy", vb::DiskFull());
    w.msgbox.Answer({vbYes, vbOK});
    operations::cmdMakeBlank_Click(form);
    EXPECT_EQ(w.msgbox.shown.back().title, "Create Blank Failed");
    EXPECT_EQ(w.msgbox.shown.back().prompt, "Unable to create blank database: Disk full");
    EXPECT_EQ(w.msgbox.shown.back().buttons, ports::vbOKOnly);
    EXPECT_EQ(Content(kPersonalLive), Roof(10));
    EXPECT_EQ(Content(kPersonalFolder + "bsrv.1"), "<missing>");
}

}  // namespace
