// Restore and Create Blank end to end: real files in a Wine prefix, a child
// process standing in for the served application holding its database.
#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "operations/commands.h"
#include "operations/setaside.h"
#include "support/holder.h"
#include "support/wine_home.h"

namespace {

using e2e::RealForm;
using e2e::WineHome;
using ports::vbCancel;
using ports::vbOK;
using ports::vbRetry;
using ports::vbYes;
using test_support::Hold;
using test_support::Holder;
namespace fs = std::filesystem;

const std::string kDocs = "users/ann/Documents/";
const std::string kRoaming = "users/ann/AppData/Roaming/";

struct CommandsEndToEnd : ::testing::Test {
    WineHome home;
    std::string personalData = home.C(kDocs + "Varnock Rolvane/Data/");
    std::string personalLive = personalData + "bsrv.mdb";
    std::string personalBackup2 = home.C(kRoaming + "Varnock Rolvane/Backups/Backup2.rv");

    // The record count through the utility's own database layer.
    static std::string Count(RealForm& f, const std::string& hostPath) {
        return std::to_string(catalogue::GetRecordCount(f.form, hostPath));
    }
    // Discovery, then the user selects the row with `caption` of `version`.
    static void Select(RealForm& f, const std::string& caption, const std::string& version) {
        catalogue::Form_Load(f.form);
        for (size_t i = 0; i < f.lv.items.size(); ++i)
            if (f.lv.items[i].text == caption && f.lv.items[i].sub[1] == version) {
                f.lv.Select(static_cast<int>(i) + 1);
                catalogue::lvFiles_Click(f.form);
                return;
            }
        FAIL() << "no row " << caption << " " << version;
    }
};

TEST_F(CommandsEndToEnd, RestoreMakesTheNextNumberedCopyAndTheCatalogueShowsTheRestoredCount) {
    WineHome::Roof(personalLive, 10);
    WineHome::Roof(personalData + "bsrv.1", 1);
    WineHome::Roof(personalData + "bsrv.2", 2);
    WineHome::Roof(personalBackup2, 2500);
    const auto backupSize = fs::file_size(personalBackup2);
    RealForm f(home);
    Select(f, "Backup 2", "Personal");
    f.msgbox.Answer({vbYes, vbOK});

    operations::cmdRestore_Click(f.form);

    EXPECT_EQ(f.msgbox.shown.at(1).title, "Restore Complete");
    EXPECT_EQ(Count(f, personalData + "bsrv.3"), "10");
    EXPECT_EQ(Count(f, personalLive), "2500");
    EXPECT_EQ(fs::file_size(personalBackup2), backupSize);
    EXPECT_EQ(f.lv.items.at(0).text, "(Current)");
    EXPECT_EQ(f.lv.items.at(0).sub[2], "2500");
}

TEST_F(CommandsEndToEnd, RestoreIntoTheOption12FolderWithAndWithoutItsTrailingBackslash) {
    for (const std::string folder : {"C:\\RolvaneData", "C:\\RolvaneData\\", "c:\\ROLVANEDATA"}) {
        WineHome h;
        WineHome::Options(h.C(kDocs + "Varnock Rolvane BE/Data/options.mdb"), folder);
        WineHome::Roof(h.C("RolvaneData/bsrv.mdb"), 40);
        WineHome::Roof(h.C(kRoaming + "Varnock Rolvane BE/Backups/Backup1.rb"), 41);
        RealForm f(h);
        Select(f, "Backup 1", "Business");
        f.msgbox.Answer({vbYes, vbOK});
        operations::cmdRestore_Click(f.form);
        EXPECT_EQ(Count(f, h.C("RolvaneData/bsrv.mdb")), "41") << folder;
        EXPECT_EQ(Count(f, h.C("RolvaneData/bsrv.1")), "40") << folder;
        EXPECT_EQ(f.lv.items.at(0).sub[2], "41") << folder;
    }
}

TEST_F(CommandsEndToEnd, HeldOpenRestoreCancelsWithoutChangeAndRetriesAfterTheApplicationLetsGo) {
    WineHome::Roof(personalLive, 10);
    WineHome::Roof(personalBackup2, 20);
    RealForm f(home);
    Select(f, "Backup 2", "Personal");

    for (Hold how : {Hold::PosixReadLockBeyondEnd, Hold::OpenInWineServer}) {
        Holder app(personalLive, how);
        f.msgbox.Answer({vbYes, vbCancel});
        operations::cmdRestore_Click(f.form);
        EXPECT_EQ(f.msgbox.shown.back().title, "File in Use");
        EXPECT_EQ(Count(f, personalLive), "10");
        EXPECT_FALSE(fs::exists(personalData + "bsrv.1"));
    }

    std::optional<Holder> app(std::in_place, personalLive, Hold::OfdLock);
    int dialogs = 0;
    f.msgbox.onShow = [&](const auto& box) {
        if (box.title == "File in Use" && ++dialogs == 2) app.reset();  // the user closes Rolvane
    };
    f.msgbox.Answer({vbYes, vbRetry, vbRetry, vbOK});
    operations::cmdRestore_Click(f.form);
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(f.msgbox.shown.back().title, "Restore Complete");
    EXPECT_EQ(Count(f, personalLive), "20");
    EXPECT_EQ(Count(f, personalData + "bsrv.1"), "10");
}

TEST_F(CommandsEndToEnd, CreateBlankFindsTheShellWithoutRegardToCase) {
    WineHome::Roof(personalLive, 10);
    WineHome::Roof(home.C("Program Files (x86)/Brenwick Software/Varnock Rolvane/Data/rv10db.shell"), 0);
    RealForm f(home);
    Select(f, "(Current)", "Personal");
    ASSERT_TRUE(f.makeBlank.enabled);
    f.msgbox.Answer({vbYes, vbOK});
    operations::cmdMakeBlank_Click(f.form);
    EXPECT_EQ(f.msgbox.shown.at(1).title, "Create Blank Successful");
    EXPECT_EQ(Count(f, personalLive), "0");
    EXPECT_EQ(Count(f, personalData + "bsrv.1"), "10");
    EXPECT_EQ(f.lv.items.at(0).sub[2], "0");
}

TEST_F(CommandsEndToEnd, CreateBlankWithoutAShellKeepsTheDatabase) {
    WineHome::Roof(personalLive, 10);
    RealForm f(home);
    Select(f, "(Current)", "Personal");
    f.msgbox.Answer({vbYes, vbOK});
    operations::cmdMakeBlank_Click(f.form);
    EXPECT_EQ(f.msgbox.shown.at(1).title, "Unable to locate shell");
    EXPECT_EQ(Count(f, personalLive), "10");
    EXPECT_FALSE(fs::exists(personalData + "bsrv.1"));
}

TEST_F(CommandsEndToEnd, CreateBlankHeldOpenThenCancelChangesNothing) {
    WineHome::Roof(personalLive, 10);
    WineHome::Roof(home.C("Program Files (x86)/Brenwick Software/Varnock Rolvane/Data/rv10db.shell"), 0);
    RealForm f(home);
    Select(f, "(Current)", "Personal");
    Holder app(personalLive, Hold::PosixWriteLock);
    f.msgbox.Answer({vbYes, vbCancel});
    operations::cmdMakeBlank_Click(f.form);
    EXPECT_EQ(f.msgbox.shown.back().title, "File in Use");
    app.Release();
    EXPECT_EQ(Count(f, personalLive), "10");
    EXPECT_EQ(fs::directory_iterator(personalData)->path().filename(), "bsrv.mdb");
}

// Under the lock, what a killed command left goes: its unheld temporary
// files, and the numbered copies that are only second names of the live
// file. A numbered copy with data of its own, and any other name, stay.
TEST_F(CommandsEndToEnd, TakingTheLockTidiesWhatAKilledCommandLeft) {
    WineHome::Place(personalLive, "live");
    WineHome::Place(personalData + "bsrv.2", "live");
    for (const char* name : {"bsrv.1", "BSRV.3", "bsrv.01", "bsrv.bak"})
        fs::create_hard_link(personalLive, personalData + name);
    WineHome::Place(personalData + ".bsrv.mdb.0123456789abcdef.tmp", "partial");

    RealForm f(home);
    auto held = operations::TakeLock(f.sys, "C:\\users\\ann\\Documents\\Varnock Rolvane\\Data\\BSRV.MDB", "Restore");
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(personalData)) names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"bsrv.mdb", "bsrv.2", "bsrv.01", "bsrv.bak", posix::kLockFileName}));
}

}  // namespace
