// Restore on the fakes: which files end where, which boxes the user sees,
// and that no way through loses the live data.
#include <gtest/gtest.h>

#include "operations/commands.h"
#include "operations/commands_fixture.h"
#include "operations/setaside.h"

using namespace testing_commands;
using fakes::db::Options;
using fakes::db::Roof;
using ports::vbCancel;
using ports::vbNo;
using ports::vbOK;
using ports::vbRetry;
using ports::vbYes;

namespace {

TEST_F(CommandsTest, NoAtEitherWarningTouchesNothing) {
    w.files.Put(kPersonalLive, Roof(10));
    w.files.Put(PersonalBackup(1), Roof(20));
    SelectRow(PersonalBackup(1));
    const auto before = w.files.Paths();
    w.msgbox.Answer(vbNo);
    operations::cmdRestore_Click(form);
    lv.Select(1);
    w.msgbox.Answer(vbNo);
    operations::cmdMakeBlank_Click(form);
    EXPECT_EQ(w.files.Paths(), before);
    EXPECT_TRUE(w.files.log.empty());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Restore Warning", "Restore Warning"}));
    EXPECT_EQ(w.msgbox.shown[0].buttons, ports::vbYesNo);
}

TEST_F(CommandsTest, RestoreSetsTheLiveDatabaseAsideAndRebuildsTheCatalogue) {
    w.files.Put(kPersonalLive, Roof(10));
    w.files.Put(kPersonalFolder + "bsrv.1", "old 1");
    w.files.Put(kPersonalFolder + "bsrv.2", "old 2");
    w.files.Put(PersonalBackup(3), Roof(333));
    SelectRow(PersonalBackup(3));
    ASSERT_TRUE(restore.enabled);
    // The success message comes before the catalogue is rebuilt.
    std::string countAtSuccess;
    w.msgbox.onShow = [&](const auto& box) {
        if (box.title == "Restore Complete") countAtSuccess = lv.items.at(0).sub[2];
    };
    w.msgbox.Answer({vbYes, vbOK});

    operations::cmdRestore_Click(form);

    EXPECT_EQ(Content(kPersonalFolder + "bsrv.3"), Roof(10));
    EXPECT_EQ(Content(kPersonalLive), Roof(333));
    EXPECT_EQ(Content(PersonalBackup(3)), Roof(333));
    EXPECT_EQ(Content(kPersonalFolder + "bsrv.1"), "old 1");
    EXPECT_EQ(w.msgbox.shown.at(1).prompt, "File was Restored");
    EXPECT_EQ(w.msgbox.shown.at(1).buttons, ports::vbOKOnly);
    EXPECT_EQ(countAtSuccess, "10");
    EXPECT_EQ(lv.items.at(0).sub[2], "333");
    EXPECT_EQ(lv.selected, 1);
    EXPECT_FALSE(restore.enabled);  // the first row is the live database again
    EXPECT_EQ(w.db.liveDatabases, 0);
}

TEST_F(CommandsTest, BusinessDestinationFromOption12) {
    struct Row {
        const char* name;
        std::string options;
        std::string destination;
    } rows[] = {
        {"no row 12", fakes::db::OptionsWithoutRow12(), kBusinessFirst},
        {"Null", Options(std::nullopt), kBusinessFirst},
        {"empty", Options(std::string()), kBusinessFirst},
        {"spaces", Options(std::string("   ")), kBusinessFirst},
        {"ends in backslash", Options(std::string("D:\\Rolvane\\")), "D:\\Rolvane\\bsrv.mdb"},
        {"ends in slash", Options(std::string("D:\\Rolvane/")), "D:\\Rolvane/\\bsrv.mdb"},
        {"no trailing backslash", Options(std::string("D:\\Rolvane")), "D:\\Rolvane\\bsrv.mdb"},
    };
    for (const Row& row : rows) {
        FormFixture f;
        f.w.files.Put(kOptions, row.options);
        f.w.files.AddFolder("D:\\Rolvane");
        f.w.files.AddFolder(kDocs + "Varnock Rolvane BE\\data");
        f.w.files.Put(BusinessBackup(1), Roof(7));
        f.w.files.Put(row.destination, Roof(3));
        f.lv.AddItem("Backup 1");
        f.lv.SetSubItem(1, 1, "Business");
        f.lv.SetTag(1, BusinessBackup(1));
        f.w.msgbox.Answer({vbYes, vbOK});
        operations::cmdRestore_Click(f.form);
        auto* file = f.w.files.Find(row.destination);
        ASSERT_NE(file, nullptr) << row.name;
        EXPECT_EQ(file->content, Roof(7)) << row.name;
        // The numbered copy lands beside the live database, never above it.
        const std::string folder = row.destination.substr(0, row.destination.size() - 8);
        EXPECT_EQ(f.w.files.Find(folder + "bsrv.1") ? f.w.files.Find(folder + "bsrv.1")->content : "", Roof(3))
            << row.name;
        EXPECT_FALSE(f.w.files.Exists("D:\\bsrv.1")) << row.name;
        EXPECT_EQ(f.w.files.Find(kOptions)->content, row.options) << row.name;
        EXPECT_EQ(f.w.msgbox.shown.size(), 2u) << row.name;
        EXPECT_EQ(f.w.msgbox.shown.at(1).title, "Restore Complete") << row.name;
    }
}

TEST_F(CommandsTest, AnyOtherEditionLabelTakesThePersonalDestination) {
    w.files.Put(PersonalBackup(1), Roof(4));
    w.files.AddFolder(kPersonalFolder);
    lv.AddItem("Backup 1");
    lv.SetSubItem(1, 1, "business");
    lv.SetTag(1, PersonalBackup(1));
    w.msgbox.Answer({vbYes, vbOK});
    operations::cmdRestore_Click(form);
    // The live database did not exist: the copy creates it, no numbered copy.
    EXPECT_EQ(Content(kPersonalLive), Roof(4));
    EXPECT_EQ(Content(kPersonalFolder + "bsrv.1"), "<missing>");
    EXPECT_TRUE(w.db.opened.empty() || w.db.opened[0] != kOptions);
}

TEST_F(CommandsTest, HeldOpenThenCancelChangesNothingAndDoesNotRebuild) {
    w.files.Put(kPersonalLive, Roof(10));
    w.files.Find(kPersonalLive)->heldOpen = true;
    w.files.Put(PersonalBackup(1), Roof(20));
    SelectRow(PersonalBackup(1));
    const size_t dbOpens = w.db.opened.size();
    w.msgbox.Answer({vbYes, vbCancel});
    operations::cmdRestore_Click(form);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Restore Warning", "File in Use"}));
    EXPECT_EQ(w.msgbox.shown[1].prompt,
              "Unable to restore file- it is currently in use.  Exit Varnock Rolvane and try again.");
    EXPECT_EQ(w.msgbox.shown[1].buttons, ports::vbRetryCancel);
    EXPECT_EQ(Content(kPersonalLive), Roof(10));
    EXPECT_EQ(w.files.Paths().size(), 2u);
    EXPECT_EQ(w.db.opened.size(), dbOpens) << "no rebuild";
}

TEST_F(CommandsTest, RetryAfterTheApplicationLetGoKeepsANumberedCopy) {
    w.files.Put(kPersonalLive, Roof(10));
    w.files.Find(kPersonalLive)->heldOpen = true;
    w.files.Put(PersonalBackup(1), Roof(20));
    SelectRow(PersonalBackup(1));
    int inUse = 0;
    w.msgbox.onShow = [&](const auto& box) {
        // The user closes the served application on the second dialog.
        if (box.title == "File in Use" && ++inUse == 2) w.files.Find(kPersonalLive)->heldOpen = false;
    };
    w.msgbox.Answer({vbYes, vbRetry, vbRetry, vbOK});
    operations::cmdRestore_Click(form);
    EXPECT_EQ(inUse, 2);
    EXPECT_EQ(Content(kPersonalLive), Roof(20));
    EXPECT_EQ(Content(kPersonalFolder + "bsrv.1"), Roof(10));
    EXPECT_EQ(w.msgbox.shown.back().title, "Restore Complete");
}

TEST_F(CommandsTest, FailedCopyPutsTheLiveDatabaseBackAndSaysWhy) {
    w.files.Put(kPersonalLive, Roof(10));
    w.files.Put(PersonalBackup(1), Roof(20));
    SelectRow(PersonalBackup(1));
    w.files.Remove(PersonalBackup(1));  // the backup vanished since discovery
    w.msgbox.Answer({vbYes, vbOK});
    operations::cmdRestore_Click(form);
    EXPECT_EQ(Content(kPersonalLive), Roof(10));
    EXPECT_EQ(Content(kPersonalFolder + "bsrv.1"), "<missing>");
    ASSERT_EQ(w.msgbox.shown.size(), 2u);
    EXPECT_EQ(w.msgbox.shown[1].title, "Restore Failed");
    EXPECT_EQ(w.msgbox.shown[1].prompt, "Unable to restore file: File not found");
    EXPECT_EQ(w.msgbox.shown[1].buttons, ports::vbOKOnly);
}

TEST_F(CommandsTest, ALiveDatabaseThatCannotBeKeptIsToldAsWhatItIs) {
    // A failing disk or a read-only mount, not a program holding the file:
    // the reason is told once, instead of sending the user to close Rolvane.
    w.files.Put(kPersonalLive, Roof(10));
    w.files.Put(PersonalBackup(1), Roof(20));
    SelectRow(PersonalBackup(1));
    w.files.failures.Add("Link", vb::DeviceIOError(), -1);
    w.msgbox.Answer({vbYes, vbOK});
    operations::cmdRestore_Click(form);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Restore Warning", "Restore Failed"}));
    EXPECT_EQ(w.msgbox.shown.at(1).prompt, "Unable to restore file: Device I/O error");
    EXPECT_EQ(Content(kPersonalLive), Roof(10));
    EXPECT_EQ(w.files.Paths().size(), 2u) << "nothing made, nothing left";
}

TEST_F(CommandsTest, RestoringALiveRowOntoItselfLosesNothing) {
    // Restore left enabled on a "(Current)" row: source and destination are
    // one file, which a copy never replaces; no wait mends that, so it is
    // a failure of its own, not a file in use.
    w.files.Put(kPersonalLive, Roof(10));
    catalogue::Form_Load(form);
    w.msgbox.Answer({vbYes, vbOK});
    operations::cmdRestore_Click(form);
    EXPECT_EQ(Content(kPersonalLive), Roof(10));
    EXPECT_EQ(w.msgbox.shown.back().title, "Restore Failed");
    EXPECT_EQ(w.msgbox.shown.back().prompt, "Unable to restore file: Path/File access error");
    EXPECT_EQ(w.files.Paths().size(), 1u);
}

TEST_F(CommandsTest, MissingOptionDatabaseEndsWithAMessageAndNothingTouched) {
    w.files.Put(BusinessBackup(2), Roof(5));
    lv.AddItem("Backup 2");
    lv.SetSubItem(1, 1, "Business");
    lv.SetTag(1, BusinessBackup(2));
    w.msgbox.Answer({vbYes, vbOK});
    operations::cmdRestore_Click(form);
    EXPECT_EQ(w.msgbox.shown.at(1).prompt, "Unable to restore file: Could not find file '" + kOptions + "'.");
    EXPECT_TRUE(w.files.log.empty());
}

TEST_F(CommandsTest, NumberedCopiesAreNotCappedAtAHundred) {
    w.files.Put(kPersonalLive, Roof(10));
    for (int n = 1; n <= 100; ++n) w.files.Put(kPersonalFolder + "bsrv." + std::to_string(n), "old");
    w.files.Put(PersonalBackup(1), Roof(20));
    SelectRow(PersonalBackup(1));
    w.msgbox.Answer({vbYes, vbOK});
    operations::cmdRestore_Click(form);
    EXPECT_EQ(Content(kPersonalFolder + "bsrv.101"), Roof(10));
    EXPECT_EQ(Content(kPersonalLive), Roof(20));
}

}  // namespace
