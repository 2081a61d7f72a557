// Previous Versions on the fakes: which copies are listed and how, and that
// Move to Trash changes nothing without Yes (Put Back: putback_test.cpp; the
// names of numbered copies: numbered_copies_test.cpp).
#include <gtest/gtest.h>

#include "previous_versions_fixture.h"

using namespace previous_versions;

namespace {

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

    EXPECT_EQ(list.headers, (std::vector<std::string>{"Name", "Records", "FileDate", "Size", "Set Aside", "Same Data"}));
    // No index beside them: the file dates order them.
    EXPECT_EQ(Listed(list), (std::vector<std::string>{
                                "BSRV.3|30|2026-02-01 12:30:00|1 KB|not recorded|" + kFolder + "BSRV.3",
                                "bsrv.2|cannot be read|2026-01-20|1 KB|not recorded|" + kFolder + "bsrv.2",
                                "bsrv.7|cannot be read|2026-01-05 08:00:00|2 KB|not recorded|" + kFolder + "bsrv.7",
                                "bsrv.1|10|2026-01-05 08:00:00|1 KB|not recorded|" + kFolder + "bsrv.1",
                            }));
    EXPECT_TRUE(w.msgbox.shown.empty()) << "a damaged copy is no error report";
    EXPECT_EQ(list.autosized, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(w.db.liveDatabases, 0);
    EXPECT_TRUE(w.files.log.empty()) << "listing changes nothing";

    // Listed again, the headers stay six and the rows are the folder's now.
    w.files.Remove(kFolder + "bsrv.2");
    operations::LoadPreviousVersions(w.sys, list, kPersonalLive);
    EXPECT_EQ(list.headers.size(), 6u);
    EXPECT_EQ(list.items.size(), 3u);
}

// Copies that hold the same data are marked "same as" the first of them
// listed: the same size and the same digest; the same size alone is not
// enough, and a copy whose digest cannot be had is left unmarked.
TEST_F(PreviousVersionsTest, CopiesThatHoldTheSameDataAreMarkedTheSame) {
    w.files.Put(kPersonalLive, Roof(5));
    const std::string other = Roof(10).substr(0, Roof(10).size() - 1) + "!";  // as long, not the same
    const struct {
        const char* name;
        std::string content;
        vb::DateTime date;
        const char* same;  // the Same Data column
    } copies[] = {
        {"bsrv.4", Roof(10), {2026, 4, 1, 0, 0, 0}, ""},
        {"bsrv.3", other, {2026, 3, 1, 0, 0, 0}, ""},
        {"bsrv.2", Roof(10), {2026, 2, 1, 0, 0, 0}, "same as bsrv.4"},
        {"bsrv.6", Roof(10), {2026, 1, 15, 0, 0, 0}, ""},  // its digest cannot be had
        {"bsrv.1", Roof(10), {2026, 1, 1, 0, 0, 0}, "same as bsrv.4"},
        {"bsrv.5", Roof(20), {2025, 1, 1, 0, 0, 0}, ""},
    };
    for (const auto& copy : copies) w.files.Put(kFolder + copy.name, copy.content, copy.date);
    w.files.failures.Add("ContentDigest", vb::DeviceIOError(), -1, kFolder + "bsrv.6");
    fakes::FakeListView list;
    operations::LoadPreviousVersions(w.sys, list, kPersonalLive);
    ASSERT_EQ(list.items.size(), std::size(copies));
    for (size_t i = 0; i < list.items.size(); ++i) {
        EXPECT_EQ(list.items[i].text, copies[i].name);
        EXPECT_EQ(list.items[i].sub[5], copies[i].same) << copies[i].name;
    }
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
    EXPECT_EQ(catalogue::CountRecords(w.sys, kFolder + "bsrv.1").records, std::nullopt);
    w.files.Put(kFolder + "bsrv.1", Roof(0));
    EXPECT_EQ(catalogue::CountRecords(w.sys, kFolder + "bsrv.1").records, 0);
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

// ---- The order of set-asides ----

// The copies in the order they were set aside, whatever their file dates
// say: a restore of an older backup, a number taken again after Move to
// Trash, a copy made by copying; copies the index does not know come after.
TEST_F(PreviousVersionsTest, CopiesAreListedInTheOrderTheyWereSetAsideLastFirst) {
    for (const bool hardLinks : {true, false}) {
        SCOPED_TRACE(hardLinks ? "second names" : "copies");
        FormFixture f;
        f.w.files.hardLinks = hardLinks;
        f.w.files.Put(kPersonalLive, Roof(5), {2026, 3, 1, 9, 0, 0});
        f.w.files.Put(PersonalBackup(4), Roof(40), {2025, 6, 1, 0, 0, 0});
        f.w.files.Put(PersonalBackup(2), Roof(20), {2024, 1, 1, 0, 0, 0});
        auto order = [&] {
            fakes::FakeListView list;
            operations::LoadPreviousVersions(f.w.sys, list, kPersonalLive);
            std::vector<std::string> rows;
            for (const auto& item : list.items) rows.push_back(item.text + "|" + item.sub[1] + "|" + item.sub[4]);
            return rows;
        };
        auto restore = [&](int slot, int64_t at) {
            f.w.locale.now = at;
            f.w.msgbox.Answer({vbYes, vbOK});
            ASSERT_EQ(operations::Restore(f.w.sys, operations::RowRef::Of(PersonalBackup(slot), "Personal")).ending,
                      operations::Result::Ending::Done);
        };
        restore(4, 1767225600);  // 2026-01-01 00:00:00 UTC
        restore(2, 1767225661);  // a minute later
        EXPECT_EQ(order(), (std::vector<std::string>{"bsrv.2|40|2026-01-01 00:01:01", "bsrv.1|5|2026-01-01"}));

        // Trashed, then its number taken again by a Put Back.
        f.w.msgbox.Answer(vbYes);
        ASSERT_TRUE(operations::MoveVersionToTrash(f.w.sys, kPersonalLive, kFolder + "bsrv.1"));
        f.w.locale.now = 1767312000;
        f.w.msgbox.Answer({vbYes, vbOK});
        ASSERT_TRUE(operations::PutBack(f.form, kPersonalLive, kFolder + "bsrv.2"));
        EXPECT_EQ(order(), (std::vector<std::string>{"bsrv.1|20|2026-01-02", "bsrv.2|40|2026-01-01 00:01:01"}));

        // A copy put there by hand, and one replaced by hand under its name:
        // the index knows neither, they follow by file date.
        f.w.files.Put(kFolder + "bsrv.9", Roof(90), {2026, 12, 1, 0, 0, 0});
        f.w.files.Put(kFolder + "bsrv.2", Roof(410), {2025, 6, 1, 0, 0, 0});
        EXPECT_EQ(order(), (std::vector<std::string>{"bsrv.1|20|2026-01-02", "bsrv.9|90|not recorded",
                                                     "bsrv.2|410|not recorded"}));
    }
}

// The index is a help to the listing, never a condition of a command: one
// that cannot be read is neither trusted nor overwritten, one that cannot be
// written leaves the copy kept, and lines that do not read are passed over.
TEST_F(PreviousVersionsTest, AnIndexThatCannotBeReadOrWrittenNeverStopsACommand) {
    const std::string index = kFolder + operations::kSetAsideIndexName;
    const std::string key = fakes::FakeFiles::KeyOf(index);
    w.files.Put(kPersonalLive, Roof(5), {2026, 3, 1, 9, 0, 0});
    w.files.Put(PersonalBackup(1), Roof(10));
    w.files.Put(kFolder + "bsrv.1", Roof(1), {2026, 1, 1, 0, 0, 0});
    w.files.Put(kFolder + "bsrv.2", Roof(2), {2025, 1, 1, 0, 0, 0});
    w.files.wholes[key] = "restore-rolvane-data set-aside index 1\n"
                          "1 1767225600 10 2025-01-01T00:00:00 bsrv.2\n"
                          "two 1767225600 10 2026-01-01T00:00:00 bsrv.1\n"
                          "3 1767225600 10 2026-01-01 bsrv.1\n";
    const std::string before = w.files.wholes[key];
    auto names = [&] {
        std::vector<std::string> listed;
        for (const auto& copy : operations::FindPreviousVersions(w.sys, kPersonalLive)) listed.push_back(copy.name);
        return listed;
    };
    ASSERT_EQ(Roof(2).size(), 10u);
    EXPECT_EQ(names(), (std::vector<std::string>{"bsrv.2", "bsrv.1"})) << "only the line that reads counts";

    w.files.failures.Add("ReadWhole", vb::DeviceIOError(), -1);
    EXPECT_EQ(names(), (std::vector<std::string>{"bsrv.1", "bsrv.2"})) << "by file date";
    w.msgbox.Answer({vbYes, vbOK});
    EXPECT_EQ(operations::Restore(w.sys, operations::RowRef::Of(PersonalBackup(1), "Personal")).ending,
              operations::Result::Ending::Done);
    EXPECT_EQ(w.files.wholes[key], before) << "an index that could not be read is not overwritten";

    FormFixture g;
    g.w.files.Put(kPersonalLive, Roof(5));
    g.w.files.Put(PersonalBackup(1), Roof(10));
    g.w.files.failures.Add("WriteWhole", vb::DiskFull(), -1);
    g.w.msgbox.Answer({vbYes, vbOK});
    EXPECT_EQ(operations::Restore(g.w.sys, operations::RowRef::Of(PersonalBackup(1), "Personal")).ending,
              operations::Result::Ending::Done);
    EXPECT_EQ(g.w.files.Find(kFolder + "bsrv.1")->content, Roof(5));
    EXPECT_TRUE(g.w.files.wholes.empty());
}

// ---- Put Back ----

TEST_F(PreviousVersionsTest, MoveToTrashOnlyOnYesAndAFailureIsTold) {
    w.files.Put(kPersonalLive, Roof(5));
    w.files.Put(kFolder + "bsrv.1", Roof(10));
    const auto before = Disk();
    for (const int answer : {vbNo, vbNoAnswer}) {
        w.msgbox.Answer(answer);
        EXPECT_FALSE(operations::MoveVersionToTrash(w.sys, kPersonalLive, kFolder + "bsrv.1"));
    }
    EXPECT_EQ(Disk(), before);
    EXPECT_EQ(w.msgbox.shown[0].title, "Move to Trash");
    EXPECT_EQ(w.msgbox.shown[0].buttons, ports::vbYesNo);
    EXPECT_EQ(w.msgbox.shown[0].prompt,
              "Warning: You are about to move the previous version bsrv.1 to the Trash.  Do you want to continue?");

    w.files.failures.Add("MoveToTrash", vb::PermissionDenied());
    w.msgbox.Answer({vbYes, vbOK});
    EXPECT_FALSE(operations::MoveVersionToTrash(w.sys, kPersonalLive, kFolder + "bsrv.1"));
    EXPECT_EQ(w.msgbox.shown.back().title, "Move to Trash Failed");
    EXPECT_EQ(w.msgbox.shown.back().prompt, "Unable to move file to the Trash: Permission denied");
    EXPECT_EQ(Disk(), before);

    w.msgbox.Answer(vbYes);
    EXPECT_TRUE(operations::MoveVersionToTrash(w.sys, kPersonalLive, kFolder + "bsrv.1"));
    EXPECT_EQ(w.files.trash, (std::vector<std::pair<std::string, std::string>>{{kFolder + "bsrv.1", Roof(10)}}));
    EXPECT_EQ(w.files.Paths(), std::vector<std::string>{kPersonalLive});
    EXPECT_EQ(w.msgbox.Unanswered(), 0u);
}

}  // namespace
