// Previous Versions on the fakes: which copies are listed and how, and that
// Put Back and Move to Trash change nothing without Yes and lose nothing
// with it.
#include <gtest/gtest.h>

#include "catalogue/form_fixture.h"
#include "operations/previous_versions.h"

using namespace testing_form;
using fakes::db::Roof;
using ports::vbCancel;
using ports::vbNo;
using ports::vbNoAnswer;
using ports::vbOK;
using ports::vbRetry;
using ports::vbYes;

namespace {

const std::string kFolder = kDocs + "Varnock Rolvane\\Data\\";

struct PreviousVersionsTest : FormFixture, ::testing::Test {
    std::string Content(const std::string& path) {
        auto* f = w.files.Find(path);
        return f ? f->content : "<missing>";
    }
    // Each listed row as "name|records|date|size|tag".
    std::vector<std::string> Listed(fakes::FakeListView& list) {
        std::vector<std::string> rows;
        for (const auto& item : list.items)
            rows.push_back(item.text + "|" + item.sub[1] + "|" + item.sub[2] + "|" + item.sub[3] + "|" + item.tag);
        return rows;
    }
    // The folder's files and what each holds.
    std::map<std::string, std::string> Disk() {
        std::map<std::string, std::string> disk;
        for (const std::string& path : w.files.Paths()) disk[path] = Content(path);
        return disk;
    }
};

TEST(NumberOfCopy, OnlyTheNamesRenameDatabaseGives) {
    const struct {
        const char* name;
        long long number;
    } rows[] = {
        {"bsrv.1", 1},        {"BSRV.12", 12},   {"Bsrv.100", 100},          {"bsrv.123456789012345678", 123456789012345678},
        {"bsrv.mdb", 0},      {"bsrv.0", 0},     {"bsrv.01", 0},             {"bsrv.", 0},
        {"bsrv.1a", 0},       {"bsrv.-1", 0},    {"xbsrv.1", 0},             {"bsrv.1234567890123456789", 0},
        {"bsrv1", 0},         {"bsrv.+1", 0},    {"Backup1.rv", 0},          {"bsrv.1 ", 0},
    };
    for (const auto& row : rows) EXPECT_EQ(operations::NumberOfCopy(row.name), row.number) << row.name;
}

TEST_F(PreviousVersionsTest, ListsTheNumberedCopiesNewestFirstAndADamagedOneInItsRow) {
    w.files.Put(kPersonalLive, Roof(5), {2026, 3, 1, 9, 0, 0});
    w.files.Put(kFolder + "bsrv.1", Roof(10), {2026, 1, 5, 8, 0, 0});
    w.files.Put(kFolder + "BSRV.3", Roof(30), {2026, 2, 1, 12, 30, 0});
    w.files.Put(kFolder + "bsrv.2", "not a database", {2026, 1, 20, 0, 0, 0});
    w.files.Put(kFolder + "bsrv.7", std::string(1025, 'x'), {2026, 1, 5, 8, 0, 0});  // one date: higher number first
    w.files.Put(kFolder + "bsrv.4", Roof(40));
    w.files.Find(kFolder + "bsrv.4")->hidden = true;
    for (const char* other : {"bsrv.05", "bsrv.x", "notes.txt", "Sub\\bsrv.6"}) w.files.Put(kFolder + other, Roof(1));
    // A second name a stopped command left: it is the live database.
    ASSERT_TRUE(w.files.Link(kPersonalLive, kFolder + "bsrv.8"));
    w.files.log.clear();
    fakes::FakeListView list;

    operations::LoadPreviousVersions(w.sys, list, kPersonalLive);

    EXPECT_EQ(list.headers, (std::vector<std::string>{"Name", "Records", "FileDate", "Size"}));
    EXPECT_EQ(Listed(list), (std::vector<std::string>{
                                "BSRV.3|30|2026-02-01 12:30:00|1 KB|" + kFolder + "BSRV.3",
                                "bsrv.2|cannot be read|2026-01-20|1 KB|" + kFolder + "bsrv.2",
                                "bsrv.7|cannot be read|2026-01-05 08:00:00|2 KB|" + kFolder + "bsrv.7",
                                "bsrv.1|10|2026-01-05 08:00:00|1 KB|" + kFolder + "bsrv.1",
                            }));
    EXPECT_TRUE(w.msgbox.shown.empty()) << "a damaged copy is no error report";
    EXPECT_EQ(list.autosized, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(w.db.liveDatabases, 0);
    EXPECT_TRUE(w.files.log.empty()) << "listing changes nothing";

    // Listed again, the headers stay four and the rows are the folder's now.
    w.files.Remove(kFolder + "bsrv.2");
    operations::LoadPreviousVersions(w.sys, list, kPersonalLive);
    EXPECT_EQ(list.headers.size(), 4u);
    EXPECT_EQ(list.items.size(), 3u);
}

TEST_F(PreviousVersionsTest, AReaderThatFailsAnyWayGivesCannotBeRead) {
    w.files.Put(kFolder + "bsrv.1", Roof(10));
    for (const char* op : {"open", "query", "eof", "field"}) {
        SCOPED_TRACE(op);
        w.db.failures.Add(op, vb::UnrecognizedFormat(kFolder + "bsrv.1"));
        const auto found = operations::FindPreviousVersions(w.sys, kPersonalLive);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].records, std::nullopt);
        EXPECT_EQ(found[0].number, 1);
        EXPECT_EQ(found[0].size, static_cast<int64_t>(Roof(10).size()));
    }
    // A Null count cannot be read either; an empty roof table is 0 rows.
    w.files.Put(kFolder + "bsrv.1", Roof("NULL"));
    EXPECT_EQ(operations::CountRecords(w.sys, kFolder + "bsrv.1"), std::nullopt);
    w.files.Put(kFolder + "bsrv.1", Roof(0));
    EXPECT_EQ(operations::CountRecords(w.sys, kFolder + "bsrv.1"), 0);
    EXPECT_TRUE(w.msgbox.shown.empty());
    EXPECT_EQ(w.db.liveDatabases, 0);
}

TEST_F(PreviousVersionsTest, AFolderThatCannotBeReadIsAnErrorReportAndListsNothing) {
    w.files.failures.Add("FilesIn", vb::PermissionDenied());
    w.msgbox.Answer(ports::vbIgnore);
    EXPECT_TRUE(operations::FindPreviousVersions(w.sys, kPersonalLive).empty());
    ASSERT_EQ(w.msgbox.shown.size(), 1u);
    EXPECT_EQ(w.msgbox.shown[0].buttons, ports::vbAbortRetryIgnore);
    EXPECT_NE(w.msgbox.shown[0].prompt.find("FindPreviousVersions"), std::string::npos);
    EXPECT_EQ(operations::SizeText(0), "0 KB");
    EXPECT_EQ(operations::SizeText(1024), "1 KB");
    EXPECT_EQ(operations::SizeText(3 << 20), "3072 KB");
}

// ---- Put Back ----

TEST_F(PreviousVersionsTest, PutBackWithoutYesChangesNothing) {
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

TEST_F(PreviousVersionsTest, PutBackMakesTheCopyLiveKeepsItAndKeepsTheReplacedDataNext) {
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
TEST_F(PreviousVersionsTest, PutBackFaultsLeaveTheLiveDataWholeAndSayWhatTheDiskShows) {
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
          {"Name", kFolder + "bsrv.2", vb::PathFileAccessError(), 1}},
         false, {vbYes, vbYes, vbOK}, {"Restore Warning", "Restore Warning", "Restore Failed"},
         "Unable to restore file: Disk full\r\n\r\nThe data that was in use before is kept in " + kFolder +
             "bsrv.2.",
         "<missing>", Roof(5)},
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

TEST_F(PreviousVersionsTest, PutBackRetriedAfterTheApplicationLetGoCompletes) {
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

TEST_F(PreviousVersionsTest, PutBackOfACopyThatIsGoneKeepsTheLiveDatabase) {
    w.files.Put(kPersonalLive, Roof(5));
    w.msgbox.Answer({vbYes, vbOK});
    EXPECT_FALSE(operations::PutBack(form, kPersonalLive, kFolder + "bsrv.1"));
    EXPECT_EQ(w.msgbox.shown.back().prompt, "Unable to restore file: File not found");
    EXPECT_EQ(w.files.Paths(), std::vector<std::string>{kPersonalLive});
    EXPECT_EQ(Content(kPersonalLive), Roof(5));
}

// ---- Move to Trash ----

TEST_F(PreviousVersionsTest, MoveToTrashOnlyOnYesAndAFailureIsTold) {
    w.files.Put(kPersonalLive, Roof(5));
    w.files.Put(kFolder + "bsrv.1", Roof(10));
    const auto before = Disk();
    for (const int answer : {vbNo, vbNoAnswer}) {
        w.msgbox.Answer(answer);
        EXPECT_FALSE(operations::MoveVersionToTrash(w.sys, kFolder + "bsrv.1"));
    }
    EXPECT_EQ(Disk(), before);
    EXPECT_EQ(w.msgbox.shown[0].title, "Move to Trash");
    EXPECT_EQ(w.msgbox.shown[0].buttons, ports::vbYesNo);
    EXPECT_EQ(w.msgbox.shown[0].prompt,
              "Warning: You are about to move the previous version bsrv.1 to the Trash.  Do you want to continue?");

    w.files.failures.Add("MoveToTrash", vb::PermissionDenied());
    w.msgbox.Answer({vbYes, vbOK});
    EXPECT_FALSE(operations::MoveVersionToTrash(w.sys, kFolder + "bsrv.1"));
    EXPECT_EQ(w.msgbox.shown.back().title, "Move to Trash Failed");
    EXPECT_EQ(w.msgbox.shown.back().prompt, "Unable to move file to the Trash: Permission denied");
    EXPECT_EQ(Disk(), before);

    w.msgbox.Answer(vbYes);
    EXPECT_TRUE(operations::MoveVersionToTrash(w.sys, kFolder + "bsrv.1"));
    EXPECT_EQ(w.files.trash, (std::vector<std::pair<std::string, std::string>>{{kFolder + "bsrv.1", Roof(10)}}));
    EXPECT_EQ(w.files.Paths(), std::vector<std::string>{kPersonalLive});
    EXPECT_EQ(w.msgbox.Unanswered(), 0u);
}

}  // namespace
