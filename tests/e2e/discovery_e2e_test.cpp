// Discovery end to end: real Jet files in a Wine prefix, read through the
// real file, shell and database layers.
#include <gtest/gtest.h>

#include "support/wine_home.h"

namespace {

using e2e::RealForm;
using e2e::WineHome;
namespace fs = std::filesystem;

TEST(DiscoveryEndToEnd, BothEditionsWithOption12AndADamagedBackup) {
    WineHome home;
    const std::string docs = "users/ann/Documents/";
    const std::string roaming = "users/ann/AppData/Roaming/";
    // Option 12 moves the Business data out of the documents folder; the
    // folder names on disk differ in case from what the paths ask for.
    WineHome::Options(home.C(docs + "Varnock Rolvane BE/Data/options.mdb"), "C:\\RolvaneData");
    WineHome::Roof(home.C("RolvaneData/bsrv.mdb"), 1234);
    WineHome::Roof(home.C(roaming + "Varnock Rolvane BE/Backups/Backup1.rb"), 1200);
    WineHome::Roof(home.C(roaming + "Varnock Rolvane BE/Backups/Backup3.rb"), 0);
    WineHome::Roof(home.C(docs + "Varnock Rolvane/DATA/bsrv.mdb"), 77);
    WineHome::Roof(home.C(roaming + "Varnock Rolvane/Backups/Backup2.rv"), 5);
    // A backup cut short: it must not show a partial count as if it were right.
    const std::string damaged = home.C(roaming + "Varnock Rolvane/Backups/Backup4.rv");
    WineHome::Roof(damaged, 3000);
    fs::resize_file(damaged, fs::file_size(damaged) / 2);
    for (const char* hidden : {"Varnock Rolvane/Backups/.Backup5.rv"}) WineHome::Roof(home.C(roaming + hidden), 1);
    WineHome::Touch(home.C("RolvaneData/bsrv.mdb"), 2026, 3, 4, 17, 5, 9);
    WineHome::Touch(home.C(roaming + "Varnock Rolvane/Backups/Backup2.rv"), 2025, 12, 31, 0, 0, 0);

    RealForm f(home);
    for (int i = 0; i < 6; ++i) f.msgbox.Answer(ports::vbIgnore);  // the damaged backup's reports
    catalogue::Form_Load(f.form);

    ASSERT_EQ(f.lv.items.size(), 6u);
    struct Expect {
        const char* caption;
        const char* version;
        const char* records;
        std::string tag;
    } expected[] = {
        {"(Current)", "Business", "1234", "C:\\RolvaneData\\bsrv.mdb"},
        {"Backup 1", "Business", "1200", "C:\\users\\ann\\AppData\\Roaming\\Varnock Rolvane BE\\Backups\\Backup1.rb"},
        {"Backup 3", "Business", "0", "C:\\users\\ann\\AppData\\Roaming\\Varnock Rolvane BE\\Backups\\Backup3.rb"},
        {"(Current)", "Personal", "77", "C:\\users\\ann\\Documents\\Varnock Rolvane\\Data\\bsrv.mdb"},
        {"Backup 2", "Personal", "5", "C:\\users\\ann\\AppData\\Roaming\\Varnock Rolvane\\Backups\\Backup2.rv"},
        {"Backup 4", "Personal", "0", "C:\\users\\ann\\AppData\\Roaming\\Varnock Rolvane\\Backups\\Backup4.rv"},
    };
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(f.lv.items[i].text, expected[i].caption) << i;
        EXPECT_EQ(f.lv.items[i].sub[1], expected[i].version) << i;
        EXPECT_EQ(f.lv.items[i].sub[2], expected[i].records) << i;
        EXPECT_EQ(f.lv.items[i].tag, expected[i].tag) << i;
    }
    // The C locale's short date and long time; the date alone at midnight.
    EXPECT_EQ(f.lv.items[0].sub[3], "03/04/26 17:05:09");
    EXPECT_EQ(f.lv.items[4].sub[3], "12/31/25");

    // The damaged backup was reported, first where it is opened or read.
    ASSERT_GE(f.msgbox.shown.size(), 1u);
    EXPECT_EQ(f.msgbox.shown[0].title, "Error 3343 in GetRecordCount");
    EXPECT_NE(f.msgbox.shown[0].prompt.find("Backup4.rv"), std::string::npos);
    EXPECT_FALSE(f.restore.enabled);
    EXPECT_TRUE(f.makeBlank.enabled);
}

TEST(DiscoveryEndToEnd, MissingBusinessDatabaseNamesTheSecondDefault) {
    WineHome home;
    WineHome::Options(home.C("users/ann/Documents/Varnock Rolvane BE/Data/options.mdb"), "C:\\Nowhere");
    RealForm f(home);
    f.msgbox.Answer(ports::vbOK);
    catalogue::Form_Load(f.form);
    ASSERT_EQ(f.msgbox.shown.size(), 1u);
    EXPECT_EQ(f.msgbox.shown[0].prompt,
              "Unable to locate main database: C:\\users\\ann\\Documents\\Varnock Rolvane BE\\Data\\bsrv.mdb");
    EXPECT_TRUE(f.lv.items.empty());
}

}  // namespace
