// Put Back on the fakes: it changes nothing without Yes, refuses a copy
// that cannot be read, and loses nothing whatever the disk does.
#include "previous_versions_fixture.h"

using namespace previous_versions;

namespace {

struct PutBackTest : PreviousVersionsTest {};

// A copy that cannot be read would make a damaged live database: Put Back
// refuses it with the reason, and nothing moves.
TEST_F(PutBackTest, PutBackRefusesACopyThatCannotBeRead) {
    const struct {
        const char* name;
        std::string content;
        const char* fail;  // a reader step that fails
        std::string said;
    } rows[] = {
        {"not a database", "not a database", nullptr,
         "Unable to restore file: bsrv.1 cannot be read: Unrecognized database format '" + kFolder + "bsrv.1'."},
        {"no count", Roof("NULL"), nullptr, "Unable to restore file: bsrv.1 cannot be read: Invalid use of Null"},
        {"the query fails", Roof(10), "query",
         "Unable to restore file: bsrv.1 cannot be read: Unrecognized database format 'x'."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FormFixture f;
        f.w.files.Put(kPersonalLive, Roof(5));
        f.w.files.Put(kFolder + "bsrv.1", row.content);
        if (row.fail) f.w.db.failures.Add(row.fail, vb::UnrecognizedFormat("x"));
        f.w.msgbox.Answer({vbYes, vbOK});
        const operations::Result result = operations::PutBack(f.w.sys, kPersonalLive, kFolder + "bsrv.1");
        EXPECT_EQ(result.ending, operations::Result::Ending::Failed);
        EXPECT_EQ(f.Titles(), (std::vector<std::string>{"Restore Warning", "Restore Failed"}));
        EXPECT_EQ(f.w.msgbox.shown.back().prompt, row.said);
        EXPECT_EQ(f.w.files.log, (std::vector<std::string>{"temporaries " + kPersonalLive}))
            << "under the lock, which tidied; nothing moved";
        EXPECT_EQ(f.w.files.Find(kPersonalLive)->content, Roof(5));
    }
}

TEST_F(PutBackTest, PutBackWithoutYesChangesNothing) {
    w.files.Put(kPersonalLive, Roof(5));
    w.files.Put(kFolder + "bsrv.1", Roof(10));
    const auto before = Disk();
    for (const int answer : {vbNo, vbNoAnswer, vbCancel}) {
        w.msgbox.Answer(answer);
        EXPECT_FALSE(operations::PutBack(form, kPersonalLive, kFolder + "bsrv.1"));
    }
    EXPECT_EQ(Disk(), before);
    EXPECT_TRUE(w.files.log.empty());
    EXPECT_EQ(Titles(), (std::vector<std::string>(3, "Restore Warning")));
    EXPECT_EQ(w.msgbox.shown[0].buttons, ports::vbYesNo);
    EXPECT_EQ(w.msgbox.shown[0].prompt,
              "Warning: You are about to put back the previous version bsrv.1 as your live database " +
                  kPersonalLive + ".  The data currently in it will be kept as the next numbered copy.  Do you "
                                  "want to continue?");
    EXPECT_TRUE(lv.items.empty()) << "no rebuild";
}

TEST_F(PutBackTest, PutBackMakesTheCopyLiveKeepsItAndKeepsTheReplacedDataNext) {
    w.files.Put(kPersonalLive, Roof(5));
    w.files.Put(kFolder + "bsrv.1", Roof(10));
    w.files.Put(kFolder + "bsrv.2", Roof(20));
    std::string countAtSuccess = "<none>";
    w.msgbox.onShow = [&](const auto& box) {
        if (box.title == "Restore Complete") countAtSuccess = lv.items.empty() ? "" : lv.items[0].sub[2];
    };
    w.msgbox.Answer({vbYes, vbOK});

    EXPECT_TRUE(operations::PutBack(form, kPersonalLive, kFolder + "bsrv.1"));

    EXPECT_EQ(Content(kPersonalLive), Roof(10));
    EXPECT_EQ(Content(kFolder + "bsrv.1"), Roof(10)) << "the chosen copy stays";
    EXPECT_EQ(Content(kFolder + "bsrv.2"), Roof(20));
    EXPECT_EQ(Content(kFolder + "bsrv.3"), Roof(5)) << "the replaced data, as the next numbered copy";
    EXPECT_FALSE(w.files.SameFile(kFolder + "bsrv.1", kPersonalLive)) << "a copy, not another name";
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Restore Warning", "Restore Complete"}));
    EXPECT_EQ(w.msgbox.shown[1].prompt, "File was Restored");
    EXPECT_EQ(countAtSuccess, "") << "the message comes before the rebuild";
    ASSERT_FALSE(lv.items.empty());
    EXPECT_EQ(lv.items[0].text + "|" + lv.items[0].sub[2], "(Current)|10") << "the catalogue is rebuilt";

    // Put Back can itself be undone: the replaced data comes back.
    w.msgbox.Answer({vbYes, vbOK});
    EXPECT_TRUE(operations::PutBack(form, kPersonalLive, kFolder + "bsrv.3"));
    EXPECT_EQ(Content(kPersonalLive), Roof(5));
    EXPECT_EQ(Content(kFolder + "bsrv.4"), Roof(10));
}

// The faults of Restore, on Put Back: whatever fails, the live database
// holds the old data or the new, the new only with the old kept in a
// numbered copy, and the message says what the folder holds.
TEST_F(PutBackTest, PutBackFaultsLeaveTheLiveDataWholeAndSayWhatTheDiskShows) {
    const struct {
        const char* name;
        bool hardLinks;
        std::vector<fakes::Failure> failures;
        bool heldOpen;
        std::vector<int> answers;
        std::vector<std::string> titles;
        std::string said;    // the last box's prompt
        std::string live;    // what bsrv.mdb holds afterwards
        std::string kept;    // what bsrv.2 holds afterwards
    } rows[] = {
        {"copy fails: disk full", true, {{"FileCopy", "", vb::DiskFull(), 1}}, false, {vbYes, vbOK},
         {"Restore Warning", "Restore Failed"}, "Unable to restore file: Disk full", Roof(5), "<missing>"},
        {"held open, Cancel", true, {}, true, {vbYes, vbCancel},
         {"Restore Warning", "File in Use"},
         "Unable to restore file- it is currently in use.  Exit Varnock Rolvane and try again.", Roof(5),
         "<missing>"},
        {"second name refused: told as itself", true, {{"Link", "", vb::DeviceIOError(), -1}}, false,
         {vbYes, vbOK}, {"Restore Warning", "Restore Failed"}, "Unable to restore file: Device I/O error",
         Roof(5), "<missing>"},
        {"no hard links, copy fails", false, {{"FileCopy", "", vb::DiskFull(), 1}}, false, {vbYes, vbOK},
         {"Restore Warning", "Restore Failed"}, "Unable to restore file: Disk full", Roof(5), "<missing>"},
        // No room for a copy of the old data: the user lets it move, then
        // neither the new data nor the way back succeeds.
        {"no hard links, no room to keep a copy, copy and the way back fail", false,
         {{"CopyAside", "", vb::DiskFull(), 1},
          {"FileCopy", "", vb::DiskFull(), 1},
          {"MoveBack", kFolder + "bsrv.2", vb::PathFileAccessError(), 2}},
         false, {vbYes, vbYes, vbOK}, {"Restore Warning", "Restore Warning", "Restore Failed"},
         "Unable to restore file: Disk full\r\n\r\nThe data that was in use before is kept in " + kFolder +
             "bsrv.2.",
         "<missing>", Roof(5)},
        // The way back refused once by the disk is tried again.
        {"no hard links, no room to keep a copy, copy fails, the way back once", false,
         {{"CopyAside", "", vb::DiskFull(), 1},
          {"FileCopy", "", vb::DiskFull(), 1},
          {"MoveBack", kFolder + "bsrv.2", vb::DeviceIOError(), 1}},
         false, {vbYes, vbYes, vbOK}, {"Restore Warning", "Restore Warning", "Restore Failed"},
         "Unable to restore file: Disk full", Roof(5), "<missing>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FormFixture f;
        f.w.files.hardLinks = row.hardLinks;
        f.w.files.Put(kPersonalLive, Roof(5));
        f.w.files.Put(kFolder + "bsrv.1", Roof(10));
        f.w.files.Find(kPersonalLive)->heldOpen = row.heldOpen;
        for (const auto& failure : row.failures) f.w.files.failures.Add(failure);
        for (int answer : row.answers) f.w.msgbox.Answer(answer);

        EXPECT_FALSE(operations::PutBack(f.form, kPersonalLive, kFolder + "bsrv.1"));

        EXPECT_EQ(f.Titles(), row.titles);
        EXPECT_EQ(f.w.msgbox.shown.back().prompt, row.said);
        auto content = [&](const std::string& path) {
            auto* file = f.w.files.Find(path);
            return file ? file->content : "<missing>";
        };
        EXPECT_EQ(content(kPersonalLive), row.live);
        EXPECT_EQ(content(kFolder + "bsrv.2"), row.kept);
        EXPECT_EQ(content(kFolder + "bsrv.1"), Roof(10));
        EXPECT_TRUE(f.lv.items.empty()) << "no rebuild after a failure";
    }
}

TEST_F(PutBackTest, PutBackRetriedAfterTheApplicationLetGoCompletes) {
    w.files.Put(kPersonalLive, Roof(5));
    w.files.Find(kPersonalLive)->heldOpen = true;
    w.files.Put(kFolder + "bsrv.1", Roof(10));
    w.msgbox.onShow = [&](const auto& box) {
        if (box.title == "File in Use") w.files.Find(kPersonalLive)->heldOpen = false;
    };
    w.msgbox.Answer({vbYes, vbRetry, vbOK});
    EXPECT_TRUE(operations::PutBack(form, kPersonalLive, kFolder + "bsrv.1"));
    EXPECT_EQ(Content(kPersonalLive), Roof(10));
    EXPECT_EQ(Content(kFolder + "bsrv.2"), Roof(5));
}

TEST_F(PutBackTest, PutBackOfACopyThatIsGoneKeepsTheLiveDatabase) {
    w.files.Put(kPersonalLive, Roof(5));
    w.msgbox.Answer({vbYes, vbOK});
    EXPECT_FALSE(operations::PutBack(form, kPersonalLive, kFolder + "bsrv.1"));
    EXPECT_EQ(w.msgbox.shown.back().prompt, "Unable to restore file: File not found");
    EXPECT_EQ(w.files.Paths(), std::vector<std::string>{kPersonalLive});
    EXPECT_EQ(Content(kPersonalLive), Roof(5));
}

// ---- Move to Trash ----

}  // namespace
