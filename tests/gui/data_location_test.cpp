// Where the utility looks for the served application's data: homes laid out
// as each prefix manager lays them out, the choice between prefixes that
// both hold data, WINEPREFIX, the line on stderr and the empty catalogue's
// text.
#include <gtest/gtest.h>

#include <sstream>

#include "gui/data_location.h"
#include "support/wine_home.h"

namespace {

using e2e::WineHome;
using wine::PrefixChoice;
using Reason = wine::PrefixChoice::Reason;
namespace fs = std::filesystem;

// Below a prefix, where ann's documents and application data are by default.
const std::string kPersonalLive = "/drive_c/users/ann/Documents/Varnock Rolvane/Data/bsrv.mdb";
const std::string kBusinessLive = "/drive_c/users/ann/Documents/Varnock Rolvane BE/data/bsrv.mdb";
const std::string kOptions = "/drive_c/users/ann/Documents/Varnock Rolvane BE/Data/options.mdb";
const std::string kPersonalBackups = "/drive_c/users/ann/AppData/Roaming/Varnock Rolvane/Backups";

// user.reg lines that move ann's documents folder.
std::string DocumentsAt(const std::string& windowsPath) {
    return "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] 1700000000\n"
           "\"Personal\"=str(2):\"" + windowsPath + "\"\n";
}

PrefixChoice Locate(const ports::HostEnvironment& env, std::string* line = nullptr) {
    std::ostringstream log;
    PrefixChoice choice = app::LocateData(env, log);
    if (line) *line = log.str();
    return choice;
}

TEST(DataLocation, FindsTheDataWhereEachPrefixManagerKeepsIt) {
    const struct {
        const char* manager;
        std::string prefix;      // below the home
        std::string gameFile;    // a Lutris game file below the home, if any
        std::string gameText;
    } rows[] = {
        {"winetricks", ".local/share/wineprefixes/rolvane", "", ""},
        {"PlayOnLinux", ".PlayOnLinux/wineprefix/Rolvane", "", ""},
        {"Bottles", ".local/share/bottles/bottles/Rolvane", "", ""},
        {"Bottles (Flatpak)", ".var/app/com.usebottles.bottles/data/bottles/bottles/Rolvane", "", ""},
        {"Lutris, game file in ~/.config", "Wine/rolvane", ".config/lutris/games/rolvane-1700000000.yml",
         "name: Rolvane\nwine:\n  prefix: /elsewhere\ngame:  # the game itself\n  exe: ~/Wine/rolvane/drive_c/r.exe\n"
         "  prefix: ~/Wine/rolvane   # set by the installer\nsystem: {}\n"},
        {"Lutris, game file in ~/.local/share", "Wine/rolvane", ".local/share/lutris/games/rolvane-1.yml",
         "game:\r\n  arch: win64\r\n  prefix: '~/Wine/rolvane'\r\n"},
        {"Lutris, default games folder", "Games/rolvane", "", ""},
        {"CrossOver", ".cxoffice/Rolvane", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.manager);
        WineHome home(false);
        // Prefixes without the data, before and after the one with it.
        home.AddPrefix(".local/share/wineprefixes/aaa-empty");
        home.AddPrefix(".cxoffice/zzz-empty");
        const std::string prefix = home.AddPrefix(row.prefix);
        WineHome::Place(prefix + kPersonalLive);
        if (!row.gameFile.empty()) WineHome::Place(home.Home() + "/" + row.gameFile, row.gameText);

        std::string line;
        const PrefixChoice choice = Locate(home.Environment(), &line);
        EXPECT_EQ(choice.prefix, prefix);
        EXPECT_EQ(choice.reason, Reason::kHoldsData);
        EXPECT_EQ(line, "restore-rolvane-data: using the Wine prefix " + prefix + ", which holds Varnock Rolvane data\n");
    }
}

TEST(DataLocation, PrefixesHoldTheDataByTheirOwnSpecialFolders) {
    WineHome home(false);
    // The documents folder moved by the registry: only what is there counts.
    const std::string moved = home.AddPrefix(".local/share/wineprefixes/moved", DocumentsAt("C:\\\\Docs"));
    WineHome::Place(moved + kPersonalLive);
    const std::string elsewhere = home.AddPrefix(".local/share/bottles/bottles/b", DocumentsAt("%USERPROFILE%\\\\Docs"));
    WineHome::Place(elsewhere + "/drive_c/users/ann/Docs/Varnock Rolvane/Data/bsrv.mdb");
    EXPECT_EQ(Locate(home.Environment()).prefix, elsewhere);
}

TEST(DataLocation, BetweenPrefixesThatHoldDataDotWineWinsThenTheNewestLiveDatabase) {
    struct Held {
        std::string prefix;  // below the home
        std::string file;    // below the prefix
        int year;            // of its modification; 0 leaves it as made
    };
    const std::string w = ".local/share/wineprefixes/w", b = ".local/share/bottles/bottles/b";
    const struct {
        const char* name;
        std::vector<Held> held;
        std::string expected;
    } rows[] = {
        {"~/.wine with only a backup folder beats a live database", {{".wine", kPersonalBackups, 0}, {b, kPersonalLive, 2026}}, ".wine"},
        {"the later prefix with the newer live database", {{w, kPersonalLive, 2025}, {b, kBusinessLive, 2026}}, b},
        {"the earlier prefix with the newer live database", {{w, kPersonalLive, 2026}, {b, kPersonalLive, 2025}}, w},
        {"a live database beats an option database alone", {{w, kOptions, 2026}, {b, kPersonalLive, 2001}}, b},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WineHome home(false);
        for (const Held& held : row.held) {
            const std::string file = home.AddPrefix(held.prefix) + held.file;
            if (held.file == kPersonalBackups) fs::create_directories(file);
            else WineHome::Place(file);
            if (held.year) WineHome::Touch(file, held.year, 6, 1, 12, 0, 0);
        }
        EXPECT_EQ(Locate(home.Environment()).prefix, home.Home() + "/" + row.expected);
    }
}

TEST(DataLocation, WinePrefixAloneIsUsedEvenWithoutData) {
    WineHome home;
    WineHome::Place(home.Prefix() + kPersonalLive);
    const std::string empty = home.AddPrefix("empty");
    ports::HostEnvironment env = home.Environment();
    env.winePrefix = empty + "/";

    std::string line;
    PrefixChoice choice = Locate(env, &line);
    EXPECT_EQ(choice.prefix, empty);
    EXPECT_EQ(choice.reason, Reason::kEnvironment);
    EXPECT_EQ(line, "restore-rolvane-data: using the Wine prefix " + empty + " (WINEPREFIX)\n");
    const QString text = gui::EmptyCatalogueText(choice, env);
    EXPECT_TRUE(text.contains(QString::fromStdString(empty))) << text.toStdString();
    EXPECT_TRUE(text.contains("WINEPREFIX=")) << text.toStdString();

    // A WINEPREFIX that is no prefix is not replaced by ~/.wine.
    env.winePrefix = home.Home() + "/missing";
    choice = Locate(env);
    EXPECT_EQ(choice.prefix, "");
    EXPECT_EQ(choice.reason, Reason::kEnvironment);
    EXPECT_TRUE(gui::EmptyCatalogueText(choice, env).contains(QString::fromStdString(env.winePrefix)));
}

TEST(DataLocation, WithoutDataAnywhereDotWineThenTheUsersOwnFolders) {
    WineHome home;
    home.AddPrefix(".PlayOnLinux/wineprefix/a");
    home.AddPrefix(".PlayOnLinux/wineprefix/b");
    std::string line;
    PrefixChoice choice = Locate(home.Environment(), &line);
    EXPECT_EQ(choice.prefix, home.Prefix());
    EXPECT_EQ(choice.reason, Reason::kDefault);
    EXPECT_EQ(choice.searched.size(), 3u);
    EXPECT_EQ(line, "restore-rolvane-data: no Wine prefix holds Varnock Rolvane data (3 looked into); using the "
                    "Wine prefix " + home.Prefix() + "\n");
    const QString text = gui::EmptyCatalogueText(choice, home.Environment());
    EXPECT_TRUE(text.contains(QString::fromStdString(home.Prefix()))) << text.toStdString();
    EXPECT_TRUE(text.contains("2 other Wine prefixes")) << text.toStdString();

    WineHome bare(false);
    choice = Locate(bare.Environment(), &line);
    EXPECT_EQ(choice.prefix, "");
    EXPECT_EQ(choice.reason, Reason::kNone);
    const std::string documents = bare.Home() + "/Documents";
    const std::string appData = bare.Home() + "/.local/share";
    EXPECT_EQ(line, "restore-rolvane-data: no Wine prefix found; using no prefix: looking in " + documents +
                        " and " + appData + "\n");
    const QString xdg = gui::EmptyCatalogueText(choice, bare.Environment());
    for (const std::string& folder : {documents, appData})
        EXPECT_TRUE(xdg.contains(QString::fromStdString(folder))) << xdg.toStdString();
    EXPECT_TRUE(xdg.contains("WINEPREFIX=")) << xdg.toStdString();
}

}  // namespace
