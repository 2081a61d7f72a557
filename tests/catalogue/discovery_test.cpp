// Discovery on fakes: which rows the catalogue gets from what is on disk.
#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "form_fixture.h"

using namespace testing_form;
using fakes::db::Options;
using fakes::db::Roof;

namespace {

struct DiscoveryTest : FormFixture, ::testing::Test {};

const vb::DateTime kWhen{2026, 3, 4, 17, 5, 9};

TEST_F(DiscoveryTest, NeitherEditionInstalledGivesHeadersOnlyAndDisablesBothCommands) {
    catalogue::Form_Load(form);
    EXPECT_TRUE(lv.items.empty());
    EXPECT_EQ(lv.headers, (std::vector<std::string>{"Database", "Version", "Records", "FileDate"}));
    EXPECT_TRUE(w.msgbox.shown.empty());  // an empty catalogue is not an error
    EXPECT_FALSE(restore.enabled);
    EXPECT_FALSE(makeBlank.enabled);
    EXPECT_TRUE(cancel.enabled);
}

TEST_F(DiscoveryTest, OnlyPersonalInstalled) {
    w.files.Put(kPersonalLive, Roof(12), kWhen);
    w.files.Put(PersonalBackup(2), Roof(7), {2025, 12, 31, 0, 0, 0});
    catalogue::Form_Load(form);
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "(Current)|Personal|12|2026-03-04 17:05:09|" + kPersonalLive,
                          "Backup 2|Personal|7|2025-12-31|" + PersonalBackup(2),
                      }));
    EXPECT_TRUE(w.msgbox.shown.empty());
    EXPECT_FALSE(w.db.enginesCreated == 0);
}

TEST_F(DiscoveryTest, BothEditionsInCatalogueOrderWithOption12AndAMissingSlot) {
    w.files.Put(kOptions, Options("D:\\Rolvane Data"));
    w.files.Put("D:\\Rolvane Data\\bsrv.mdb", Roof(1234), kWhen);
    for (int slot : {5, 1, 4, 2}) w.files.Put(BusinessBackup(slot), Roof(100 + slot), kWhen);
    w.files.Put(kPersonalLive, Roof(0), kWhen);
    w.files.Put(PersonalBackup(1), Roof(3), kWhen);
    w.files.Put(kBusinessSecond, Roof(99), kWhen);  // not used: option 12 wins

    catalogue::Form_Load(form);

    const std::string d = "|2026-03-04 17:05:09|";
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "(Current)|Business|1234" + d + "D:\\Rolvane Data\\bsrv.mdb",
                          "Backup 1|Business|101" + d + BusinessBackup(1),
                          "Backup 2|Business|102" + d + BusinessBackup(2),
                          "Backup 4|Business|104" + d + BusinessBackup(4),
                          "Backup 5|Business|105" + d + BusinessBackup(5),
                          "(Current)|Personal|0" + d + kPersonalLive,
                          "Backup 1|Personal|3" + d + PersonalBackup(1),
                      }));
    EXPECT_TRUE(w.msgbox.shown.empty());
    // The first row is selected by the list, and it is a live database.
    EXPECT_EQ(lv.selected, 1);
    EXPECT_FALSE(restore.enabled);
    EXPECT_TRUE(makeBlank.enabled);
    EXPECT_EQ(lv.autosized, (std::vector<int>{0, 1, 2, 3}));
    // Everything opened has been released; the engine was created once.
    EXPECT_EQ(w.db.liveDatabases, 0);
    EXPECT_EQ(w.db.liveRecordsets, 0);
    EXPECT_EQ(w.db.enginesCreated, 1);
}

TEST_F(DiscoveryTest, BlankOption12FallsBackToTheFirstDefault) {
    struct Row {
        const char* name;
        std::string options;
    } rows[] = {
        {"no row 12", fakes::db::OptionsWithoutRow12()},
        {"empty", Options(std::string(""))},
        {"spaces", Options(std::string("    "))},
        {"Null", Options(std::nullopt)},
    };
    for (const Row& row : rows) {
        FormFixture f;
        f.w.files.Put(kOptions, row.options);
        f.w.files.Put(kBusinessFirst, Roof(5));
        catalogue::Form_Load(f.form);
        ASSERT_FALSE(f.lv.items.empty()) << row.name;
        EXPECT_EQ(f.lv.items[0].tag, kBusinessFirst) << row.name;
        EXPECT_EQ(f.lv.items.size(), 1u) << row.name << ": no row for the option database itself";
        EXPECT_TRUE(f.w.msgbox.shown.empty()) << row.name;
    }
}

TEST_F(DiscoveryTest, Option12WithLeadingSpacesIsUsedUntrimmed) {
    w.files.Put(kOptions, Options("  D:\\Data"));
    w.files.Put("  D:\\Data\\bsrv.mdb", Roof(8));
    catalogue::Form_Load(form);
    ASSERT_EQ(lv.items.size(), 1u);
    EXPECT_EQ(lv.items[0].tag, "  D:\\Data\\bsrv.mdb");
}

TEST_F(DiscoveryTest, MissingLiveDatabaseNamesTheSecondDefaultAndStillListsBackups) {
    w.files.Put(kOptions, Options("D:\\Elsewhere"));
    w.files.Put(BusinessBackup(3), Roof(4));
    // The option database and its result stay open through the message.
    int liveAtMessage = -1;
    w.msgbox.onShow = [&](const auto&) { liveAtMessage = w.db.liveDatabases + w.db.liveRecordsets; };
    w.msgbox.Answer(ports::vbOK);

    catalogue::Form_Load(form);

    ASSERT_EQ(w.msgbox.shown.size(), 1u);
    EXPECT_EQ(w.msgbox.shown[0].prompt, "Unable to locate main database: " + kBusinessSecond);
    EXPECT_EQ(w.msgbox.shown[0].buttons, ports::vbOKOnly);
    EXPECT_EQ(w.msgbox.shown[0].title, "");  // the application's title
    EXPECT_EQ(liveAtMessage, 2);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Backup 3|Business|4|2026-01-02 03:04:05|" + BusinessBackup(3)}));
    EXPECT_TRUE(restore.enabled);
    EXPECT_FALSE(makeBlank.enabled);
}

TEST_F(DiscoveryTest, TwoRunsGiveTheSameColumnsAndRows) {
    w.files.Put(kOptions, Options(std::nullopt));
    w.files.Put(kBusinessFirst, Roof(2));
    w.files.Put(PersonalBackup(5), Roof(9));
    catalogue::Form_Load(form);
    const auto first = Rows();
    lv.Select(2);
    catalogue::Form_Load(form);
    EXPECT_EQ(Rows(), first);
    EXPECT_EQ(lv.headers.size(), 4u);
    EXPECT_EQ(lv.selected, 1);
}

TEST_F(DiscoveryTest, HiddenFilesAndFoldersDoNotCount) {
    w.files.Put(kPersonalLive, Roof(1));
    w.files.Find(kPersonalLive)->hidden = true;
    w.files.AddFolder(PersonalBackup(1));
    catalogue::Form_Load(form);
    EXPECT_TRUE(lv.items.empty());
}

// ---- failures during discovery ----

TEST_F(DiscoveryTest, NonDatabaseFileIsReportedLineByLineAndShowsZero) {
    w.files.Put(PersonalBackup(1), "not a database");
    for (int i = 0; i < 6; ++i) w.msgbox.Answer(ports::vbIgnore);
    catalogue::Form_Load(form);
    std::vector<std::string> lines;
    for (const auto& box : w.msgbox.shown) {
        EXPECT_EQ(box.title.substr(box.title.find(" in ")), " in GetRecordCount");
        lines.push_back(box.prompt.substr(box.prompt.find("Line Number: ") + 13, 3));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"50\r", "70\r", "80\r", "90\r", "110", "120"}));
    EXPECT_EQ(w.msgbox.shown[0].title, "Error 3343 in GetRecordCount");
    EXPECT_EQ(w.msgbox.shown[1].title, "Error 91 in GetRecordCount");
    ASSERT_EQ(lv.items.size(), 1u);
    EXPECT_EQ(lv.items[0].sub[2], "0");
    EXPECT_EQ(lv.items[0].tag, PersonalBackup(1));
}

TEST_F(DiscoveryTest, MissingRoofTableIsReportedAtLine70) {
    w.files.Put(kPersonalLive, fakes::db::OptionsWithoutTable());
    w.msgbox.Answer({ports::vbIgnore, ports::vbIgnore, ports::vbIgnore, ports::vbIgnore});
    catalogue::Form_Load(form);
    ASSERT_GE(w.msgbox.shown.size(), 1u);
    EXPECT_EQ(w.msgbox.shown[0].title, "Error 3078 in GetRecordCount");
    EXPECT_NE(w.msgbox.shown[0].prompt.find("Line Number: 70"), std::string::npos);
    EXPECT_EQ(w.msgbox.shown.size(), 4u);  // 70, then 80, 90, 110 on the missing result
    EXPECT_EQ(lv.items.at(0).sub[2], "0");
    EXPECT_EQ(w.db.liveDatabases, 0);
}

TEST_F(DiscoveryTest, CountThatDoesNotFitOrIsNullIsReportedAtLine90) {
    struct Row {
        std::string count;
        std::string title;
    } rows[] = {{"2147483648", "Error 6 in GetRecordCount"}, {"NULL", "Error 94 in GetRecordCount"}};
    for (const Row& row : rows) {
        FormFixture f;
        f.w.files.Put(kPersonalLive, Roof(row.count));
        f.w.msgbox.Answer(ports::vbIgnore);
        catalogue::Form_Load(f.form);
        ASSERT_EQ(f.w.msgbox.shown.size(), 1u) << row.count;
        EXPECT_EQ(f.w.msgbox.shown[0].title, row.title);
        EXPECT_NE(f.w.msgbox.shown[0].prompt.find("Line Number: 90"), std::string::npos);
        EXPECT_EQ(f.lv.items.at(0).sub[2], "0");
    }
    FormFixture f;
    f.w.files.Put(kPersonalLive, Roof(2147483647));
    catalogue::Form_Load(f.form);
    EXPECT_EQ(f.lv.items.at(0).sub[2], "2147483647");
}

TEST_F(DiscoveryTest, IgnoredFileDateLeavesTheColumnEmptyButSetsTheTag) {
    w.files.Put(kPersonalLive, Roof(1));
    w.files.failures.Add("FileDateTime", vb::FileNotFound());
    w.msgbox.Answer(ports::vbIgnore);
    catalogue::Form_Load(form);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Error 53 in LoadListView"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"(Current)|Personal|1||" + kPersonalLive}));
}

TEST_F(DiscoveryTest, AbortDuringDiscoveryEndsWithNothingAfterIt) {
    w.files.Put(PersonalBackup(1), "junk");
    w.files.Put(PersonalBackup(2), Roof(1));
    w.msgbox.Answer(ports::vbAbort);
    EXPECT_THROW(catalogue::Form_Load(form), ports::ProcessEnded);
    EXPECT_EQ(w.msgbox.shown.size(), 1u);
    EXPECT_EQ(lv.items.size(), 1u);  // slot 2 was never looked at
    EXPECT_TRUE(lv.autosized.empty());
}

TEST_F(DiscoveryTest, LeavingAtTheOptionDatabaseEndsTheRun) {
    w.files.Put(kOptions, "garbage");
    w.files.Put(kPersonalLive, Roof(1));
    w.msgbox.Answer(ports::vbNoAnswer);
    catalogue::Form_Load(form);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Error 3343 in Form_Load"}));
    EXPECT_NE(w.msgbox.shown[0].prompt.find("Module: Form1\r\nLine Number: 110"), std::string::npos);
    EXPECT_TRUE(lv.items.empty());
    EXPECT_TRUE(restore.enabled) << "the selection handler did not run";
}

TEST_F(DiscoveryTest, RetryOnTheOptionDatabaseReadsItAgain) {
    w.files.Put(kOptions, Options("D:\\Data"));
    w.files.Put("D:\\Data\\bsrv.mdb", Roof(3));
    w.db.failures.Add("open", vb::Error(3051, "cannot open"), 2, kOptions);
    w.msgbox.Answer({ports::vbRetry, ports::vbRetry});
    catalogue::Form_Load(form);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Error 3051 in Form_Load", "Error 3051 in Form_Load"}));
    EXPECT_EQ(lv.items.at(0).tag, "D:\\Data\\bsrv.mdb");
}

}  // namespace

namespace {

// The catalogue as values: the same rows, each file that cannot be read
// kept with why, no report shown.
TEST_F(DiscoveryTest, TheCatalogueAsValuesKeepsWhyAFileCannotBeRead) {
    w.files.Put(kPersonalLive, Roof(12), kWhen);
    w.files.Put(PersonalBackup(1), "cut short");
    w.files.Put(PersonalBackup(2), Roof(0));
    const catalogue::Catalogue found = catalogue::ReadCatalogue(w.sys);
    ASSERT_EQ(found.rows.size(), 3u);
    EXPECT_EQ(found.rows[0].records, 12);
    EXPECT_EQ(found.rows[0].modified, kWhen);
    EXPECT_EQ(found.rows[1].caption, "Backup 1");
    EXPECT_EQ(found.rows[1].records, std::nullopt);
    ASSERT_TRUE(found.rows[1].error);
    EXPECT_EQ(found.rows[1].error->Number(), vb::kUnrecognizedFormat);
    EXPECT_EQ(found.rows[2].records, 0) << "an empty database is not one that cannot be read";
    EXPECT_FALSE(found.rows[2].error);
    EXPECT_TRUE(found.notes.empty());
    EXPECT_TRUE(w.msgbox.shown.empty());

    const catalogue::Catalogue rows = catalogue::ReadCatalogue(w.sys, catalogue::Counting::Skip);
    ASSERT_EQ(rows.rows.size(), 3u);
    EXPECT_EQ(rows.rows[0].records, std::nullopt);
    EXPECT_FALSE(rows.rows[1].error);
}

TEST_F(DiscoveryTest, AnOptionDatabaseThatCannotBeReadIsNotedOnceAndNeverListedAsLive) {
    w.files.Put(kOptions, "not a database");
    w.files.Put(BusinessBackup(3), Roof(3));
    w.files.Put(kPersonalLive, Roof(12));
    const catalogue::Catalogue found = catalogue::ReadCatalogue(w.sys);
    ASSERT_EQ(found.notes.size(), 1u);
    EXPECT_EQ(found.notes[0].line, 110);
    EXPECT_EQ(found.notes[0].error.Number(), vb::kUnrecognizedFormat);
    std::vector<std::string> rows;
    for (const catalogue::Row& row : found.rows) rows.push_back(row.caption + "|" + row.edition + "|" + row.path);
    EXPECT_EQ(rows, (std::vector<std::string>{"Backup 3|Business|" + BusinessBackup(3),
                                              "(Current)|Personal|" + kPersonalLive}));
}

}  // namespace
