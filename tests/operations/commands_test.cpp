// Restore and Create Blank on the fakes: which files end where, which boxes
// the user sees, and that no way through loses the live data.
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

// ---- Restore ----

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

TEST_F(CommandsTest, RenameDatabaseTakesTheLowestFreeNumberAndIsSilentOnFailure) {
    w.files.Put("C:\\d\\bsrv.mdb", "live");
    w.files.Put("C:\\d\\bsrv.1", "x");
    w.files.Put("C:\\d\\bsrv.3", "x");
    w.files.Put("C:\\d\\bsrv.4", "x");
    w.files.Find("C:\\d\\bsrv.4")->hidden = true;  // taken, though the existence test misses it
    // A second name: the live database stays where it is.
    auto kept = operations::RenameDatabase(form, "C:\\d\\bsrv.mdb");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->path, "C:\\d\\bsrv.2");
    EXPECT_EQ(kept->how, operations::Kept::Linked);
    EXPECT_TRUE(w.files.SameFile("C:\\d\\bsrv.2", "C:\\d\\bsrv.mdb"));
    kept = operations::RenameDatabase(form, "C:\\d\\bsrv.mdb");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->path, "C:\\d\\bsrv.5");
    EXPECT_EQ(Content("C:\\d\\bsrv.4"), "x");

    // Without hard links the live database is copied, unless it is held open.
    w.files.hardLinks = false;
    w.files.Find("C:\\d\\bsrv.mdb")->heldOpen = true;
    EXPECT_EQ(operations::RenameDatabase(form, "C:\\d\\bsrv.mdb"), std::nullopt);
    EXPECT_EQ(Content("C:\\d\\bsrv.mdb"), "live");
    w.files.Find("C:\\d\\bsrv.mdb")->heldOpen = false;
    kept = operations::RenameDatabase(form, "C:\\d\\bsrv.mdb");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->path, "C:\\d\\bsrv.6");
    EXPECT_EQ(kept->how, operations::Kept::Copied);
    EXPECT_EQ(Content("C:\\d\\bsrv.6"), "live");
    EXPECT_FALSE(w.files.SameFile("C:\\d\\bsrv.6", "C:\\d\\bsrv.mdb"));

    w.files.failures.Add("Dir", vb::PermissionDenied());
    EXPECT_THROW(operations::RenameDatabase(form, "C:\\d\\bsrv.mdb"), vb::Error);
    EXPECT_TRUE(w.msgbox.shown.empty());
}

// ---- Create Blank ----

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

namespace {

// ---- The commands as calls: what each returns ----

TEST_F(CommandsTest, EachCommandReturnsWhatHappened) {
    using Ending = operations::Result::Ending;
    struct Case {
        const char* name;
        std::function<void(fakes::World&)> lay;
        std::initializer_list<int> answers;
        std::function<operations::Result(common::Services&, const operations::Then&)> run;
        Ending ending;
        int error;  // 0: none
        int line;
        bool kept, then;
    };
    const auto restore = [](common::Services& sys, const operations::Then& then) {
        return operations::Restore(sys, operations::RowRef::Of(PersonalBackup(1), "Personal"), then);
    };
    const auto blank = [](common::Services& sys, const operations::Then& then) {
        return operations::CreateBlank(sys, operations::RowRef::Of(kPersonalLive, "Personal"), then);
    };
    const auto putBack = [](common::Services& sys, const operations::Then& then) {
        return operations::PutBack(sys, kPersonalLive, kPersonalFolder + "bsrv.1", then);
    };
    const Case cases[] = {
        {"restored", [](auto&) {}, {vbYes, vbOK}, restore, Ending::Done, 0, 0, true, true},
        {"No", [](auto&) {}, {vbNo}, restore, Ending::Declined, 0, 0, false, false},
        {"held open", [](auto& w) { w.files.Find(kPersonalLive)->heldOpen = true; }, {vbYes, vbCancel}, restore,
         Ending::InUse, 70, 210, false, false},
        {"backup gone", [](auto& w) { w.files.Remove(PersonalBackup(1)); }, {vbYes, vbOK}, restore, Ending::Failed,
         53, 220, false, false},
        {"reset", [](auto& w) { w.files.Put(kPersonalShell, Roof(0)); }, {vbYes, vbOK}, blank, Ending::Done, 0, 0,
         true, true},
        {"no shell", [](auto&) {}, {vbYes, vbOK}, blank, Ending::Failed, 53, 170, false, true},
        {"put back", [](auto& w) { w.files.Put(kPersonalFolder + "bsrv.1", Roof(5)); }, {vbYes, vbOK}, putBack,
         Ending::Done, 0, 0, true, true},
        {"copy gone", [](auto&) {}, {vbYes, vbOK}, putBack, Ending::Failed, 53, 30, false, false},
        // In use is another program holding the file, or another command the
        // folder; a refusal no wait mends is a failure, even as a 70.
        {"access denied", [](auto& w) { w.files.failures.Add("FileCopy", vb::PermissionDenied()); }, {vbYes, vbOK},
         restore, Ending::Failed, 70, 220, false, false},
        {"another command", [](auto& w) { w.lock.heldByOthers.insert(fakes::FakeFolderLock::FolderOf(kPersonalLive)); },
         {vbYes, vbCancel}, restore, Ending::InUse, 70, 210, false, false},
        {"no lock file here", [](auto& w) { w.lock.failures.Add("Take", vb::PathNotFound()); }, {vbYes, vbOK},
         blank, Ending::Failed, 76, 130, false, false},
        // The new data took the live name, the disk failed to save that:
        // failed, with the old data kept in its numbered copy.
        {"not saved", [](auto& w) { w.files.failures.Add("FileCopy.flush", vb::NewDataNotSaved()); },
         {vbYes, vbOK}, restore, Ending::Failed, 57, 220, true, false},
    };
    for (const Case& c : cases) {
        fakes::World w;
        w.shell.folders = {{5, kDocs.substr(0, kDocs.size() - 1)}, {38, kProgramFiles.substr(0, kProgramFiles.size() - 1)}};
        w.files.Put(kPersonalLive, Roof(10));
        w.files.Put(PersonalBackup(1), Roof(20));
        c.lay(w);
        w.msgbox.Answer(c.answers);
        int thens = 0;
        const operations::Result result = c.run(w.sys, [&thens] { ++thens; });
        EXPECT_EQ(result.ending, c.ending) << c.name;
        EXPECT_EQ(result.error ? result.error->Number() : 0, c.error) << c.name;
        if (c.error) {
            EXPECT_EQ(result.line, c.line) << c.name;
        }
        // Put Back knows its live database from the start, the others once they have read their row.
        const bool known = c.ending != Ending::Declined || std::string(c.name) == "put back";
        EXPECT_EQ(result.live, known ? kPersonalLive : "") << c.name;
        EXPECT_EQ(result.kept.has_value(), c.kept) << c.name;
        if (result.kept) {
            EXPECT_EQ(w.files.Find(result.kept->path)->content, Roof(10)) << c.name;
        }
        EXPECT_EQ(thens, c.then ? 1 : 0) << c.name;
        EXPECT_EQ(w.msgbox.Unanswered(), 0u) << c.name;
    }
}

}  // namespace
