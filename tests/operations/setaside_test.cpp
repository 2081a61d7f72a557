// Keeping the old data where the file system gives no second name: a copy
// set aside, the move only with the user's consent, and a command that does
// not finish leaves no copy of its own behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "operations/commands.h"
#include "operations/commands_fixture.h"
#include "operations/setaside.h"

using namespace testing_commands;
using fakes::db::Roof;
using ports::vbCancel;
using ports::vbNo;
using ports::vbOK;
using ports::vbRetry;
using ports::vbYes;

namespace {

TEST_F(CommandsTest, WithoutHardLinksTheOldDataIsCopiedAsideAndTheLiveDatabaseNeverMoves) {
    w.files.hardLinks = false;
    w.files.Put(kPersonalLive, Roof(10));
    w.files.Put(PersonalBackup(1), Roof(20));
    SelectRow(PersonalBackup(1));
    w.msgbox.Answer({vbYes, vbOK});
    operations::cmdRestore_Click(form);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Restore Warning", "Restore Complete"}));
    EXPECT_EQ(Content(kPersonalLive), Roof(20));
    EXPECT_EQ(Content(kPersonalFolder + "bsrv.1"), Roof(10));
    EXPECT_EQ(w.files.log, (std::vector<std::string>{
                               "temporaries " + kPersonalLive,
                               "aside " + kPersonalLive + " -> " + kPersonalFolder + "bsrv.1",
                               "copy " + PersonalBackup(1) + " -> " + kPersonalLive,
                           }));
}

TEST_F(CommandsTest, WithoutHardLinksACommandThatDoesNotFinishRemovesItsCopy) {
    for (const bool retried : {false, true}) {
        SCOPED_TRACE(retried ? "after a retry" : "at once");
        FormFixture f;
        f.w.files.hardLinks = false;
        f.w.files.Put(kPersonalLive, Roof(10));
        f.w.files.Put(PersonalBackup(1), Roof(20));
        f.w.files.failures.Add("FileCopy", vb::HeldByProgram(), retried ? 1 : 0);
        f.w.files.failures.Add("FileCopy", vb::DiskFull());
        f.lv.AddItem("Backup 1");
        f.lv.SetSubItem(1, 1, "Personal");
        f.lv.SetTag(1, PersonalBackup(1));
        if (retried) f.w.msgbox.Answer({vbYes, vbRetry, vbOK});
        else f.w.msgbox.Answer({vbYes, vbOK});
        operations::cmdRestore_Click(f.form);
        EXPECT_EQ(f.w.msgbox.shown.back().prompt, "Unable to restore file: Disk full");
        EXPECT_EQ(f.w.files.Find(kPersonalLive)->content, Roof(10));
        EXPECT_FALSE(f.w.files.Exists(kPersonalFolder + "bsrv.1"));
        // One copy, kept across the retry.
        EXPECT_EQ(std::count_if(f.w.files.log.begin(), f.w.files.log.end(),
                                [](const std::string& line) { return line.rfind("aside ", 0) == 0; }),
                  1);
    }
}

TEST_F(CommandsTest, WithoutRoomForACopyOnlyYesLetsTheLiveDatabaseMove) {
    const std::string numbered = kPersonalFolder + "bsrv.1";
    const std::string warning =
        "Warning: A copy of the data currently in Rolvane cannot be made (Disk full).  The file will be moved to " +
        numbered +
        " rather than copied, and until the new data is in place the old data will be found only there.  "
        "Do you want to continue?";
    const struct {
        const char* name;
        void (*run)(catalogue::Form1&);
        int answer;
        const char* success;  // nullptr: the command ends, nothing changed
    } rows[] = {
        {"Restore, Yes", operations::cmdRestore_Click, vbYes, "Restore Complete"},
        {"Restore, No", operations::cmdRestore_Click, vbNo, nullptr},
        {"Restore, close box", operations::cmdRestore_Click, ports::vbNoAnswer, nullptr},
        {"Restore, an unexpected OK", operations::cmdRestore_Click, vbOK, nullptr},
        {"Create Blank, Yes", operations::cmdMakeBlank_Click, vbYes, "Create Blank Successful"},
        {"Create Blank, No", operations::cmdMakeBlank_Click, vbNo, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FormFixture f;
        f.w.files.hardLinks = false;
        f.w.files.Put(kPersonalLive, Roof(10));
        f.w.files.Put(PersonalBackup(1), Roof(20));
        f.w.files.Put(kPersonalShell, Roof(20));
        f.w.files.failures.Add("CopyAside", vb::DiskFull(), -1);
        f.lv.AddItem("row");
        f.lv.SetSubItem(1, 1, "Personal");
        f.lv.SetTag(1, row.run == operations::cmdRestore_Click ? PersonalBackup(1) : kPersonalLive);
        // Nothing has changed yet when the user is asked.
        std::vector<std::string> logAtWarning;
        f.w.msgbox.onShow = [&](const auto& box) {
            if (box.prompt == warning) logAtWarning = f.w.files.log;
        };
        f.w.msgbox.Answer({vbYes, row.answer});
        if (row.success) f.w.msgbox.Answer(vbOK);
        row.run(f.form);
        ASSERT_GE(f.w.msgbox.shown.size(), 2u);
        EXPECT_EQ(f.w.msgbox.shown[1].prompt, warning);
        EXPECT_EQ(f.w.msgbox.shown[1].buttons, ports::vbYesNo);
        EXPECT_EQ(f.w.msgbox.shown[1].title, "Restore Warning");
        EXPECT_EQ(logAtWarning, (std::vector<std::string>{"temporaries " + kPersonalLive}));
        if (row.success) {
            EXPECT_EQ(f.w.msgbox.shown.back().title, row.success);
            EXPECT_EQ(f.w.files.Find(kPersonalLive)->content, Roof(20));
            EXPECT_EQ(f.w.files.Find(numbered)->content, Roof(10));
        } else {
            EXPECT_EQ(f.w.msgbox.shown.size(), 2u) << "no message after the user's answer";
            EXPECT_EQ(f.w.files.Find(kPersonalLive)->content, Roof(10));
            EXPECT_FALSE(f.w.files.Exists(numbered));
            EXPECT_EQ(f.w.files.log, logAtWarning);
        }
    }
}

TEST_F(CommandsTest, WithoutRoomForACopyAFailedPutBackNamesTheNumberedCopy) {
    w.files.hardLinks = false;
    w.files.Put(kPersonalLive, Roof(10));
    w.files.Put(PersonalBackup(1), Roof(20));
    SelectRow(PersonalBackup(1));
    w.files.failures.Add("CopyAside", vb::DiskFull());
    w.files.failures.Add("FileCopy", vb::DiskFull());
    w.files.failures.Add("MoveBack", vb::PathFileAccessError(), 2, kPersonalFolder + "bsrv.1");
    w.msgbox.Answer({vbYes, vbYes, vbOK});
    operations::cmdRestore_Click(form);
    EXPECT_EQ(Content(kPersonalFolder + "bsrv.1"), Roof(10));
    EXPECT_EQ(w.msgbox.shown.at(2).prompt,
              "Unable to restore file: Disk full\r\n\r\nThe data that was in use before is kept in " +
                  kPersonalFolder + "bsrv.1.");
}

// Whatever stops a command before its new data is in place leaves the
// folder as it was: no numbered copy, no line in the index. Only a file
// another program holds is in use (Retry or Cancel); an in-use check that
// cannot tell, and an I/O error, are failures told as such, and neither
// offers to move the live database.
TEST(SetAside, WhatStopsACommandLeavesTheFolderAsItWasAndOnlyAHolderIsInUse) {
    using Ending = operations::Result::Ending;
    const std::string why =
        "the open files of wineserver32 (process 42, user root) cannot be read: it runs as another user";
    const vb::Error cannotTell = vb::CannotTellIfHeld(vb::kPermissionDenied, why);
    const vb::Error ioError =
        vb::CannotTellIfHeld(vb::kDeviceIOError, "the file cannot be opened to look: Device I/O error");
    const std::string toldCannotTell = "Unable to restore file: Cannot tell whether another program holds the file: " +
                                       why + ".\r\n\r\nNothing was changed.";
    const struct {
        const char* name;
        bool hardLinks;
        std::function<void(fakes::FakeFiles&)> lay;
        int answer;  // at the box after the warning
        Ending ending;
        int error;
        std::string said;
        bool setAside;  // a second name was made (and taken away again)
    } rows[] = {
        {"held", true, [](auto& files) { files.Find(kPersonalLive)->heldOpen = true; }, vbCancel, Ending::InUse, 70,
         operations::kFileInUsePrompt, false},
        {"the check cannot tell", true, [&](auto& files) { files.failures.Add("HeldOpen", cannotTell); }, vbOK,
         Ending::Failed, 70, toldCannotTell, false},
        {"the check meets an I/O error", true, [&](auto& files) { files.failures.Add("HeldOpen", ioError); }, vbOK,
         Ending::Failed, 57,
         "Unable to restore file: Cannot tell whether another program holds the file: the file cannot be opened to "
         "look: Device I/O error.\r\n\r\nNothing was changed.",
         false},
        {"held when the new data is to take its place", true,
         [](auto& files) { files.failures.Add("FileCopy", vb::HeldByProgram()); }, vbCancel, Ending::InUse, 70,
         operations::kFileInUsePrompt, true},
        {"cannot tell when the new data is to take its place", true,
         [&](auto& files) { files.failures.Add("FileCopy", cannotTell); }, vbOK, Ending::Failed, 70, toldCannotTell,
         true},
        {"no hard links: an I/O error copying the old data aside", false,
         [](auto& files) { files.failures.Add("CopyAside", vb::DeviceIOError()); }, vbOK, Ending::Failed, 57,
         "Unable to restore file: Device I/O error", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FormFixture f;
        f.w.files.hardLinks = row.hardLinks;
        f.w.files.Put(kPersonalLive, Roof(10));
        f.w.files.Put(PersonalBackup(1), Roof(20));
        row.lay(f.w.files);
        const std::vector<std::string> before = f.w.files.Paths();
        f.w.msgbox.Answer({vbYes, row.answer});
        const operations::Result result =
            operations::Restore(f.w.sys, operations::RowRef::Of(PersonalBackup(1), "Personal"));
        EXPECT_EQ(result.ending, row.ending);
        EXPECT_EQ(result.error ? result.error->Number() : 0, row.error);
        EXPECT_EQ(f.w.msgbox.shown.back().prompt, row.said);
        EXPECT_EQ(f.w.msgbox.shown.back().buttons,
                  row.ending == Ending::InUse ? ports::vbRetryCancel : ports::vbOKOnly);
        EXPECT_EQ(f.w.msgbox.shown.size(), 2u) << "no warning that the live database would move";
        EXPECT_EQ(f.w.files.Find(kPersonalLive)->content, Roof(10));
        EXPECT_EQ(f.w.files.Paths(), before);
        EXPECT_TRUE(f.w.files.wholes.empty()) << "no line in the index";
        const bool linked = std::any_of(f.w.files.log.begin(), f.w.files.log.end(),
                                        [](const std::string& line) { return line.starts_with("link "); });
        EXPECT_EQ(linked, row.setAside);
    }
}

}  // namespace
