#include "wine/registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

using wine::WineRegistry;

// As Wine saves a user.reg: escaped names, non-ASCII as \x, expandable and
// binary values, hex data over several lines.
constexpr const char* kUserReg = R"(WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders] 1700000000
#time=1da0b1c2d3e4f50
"AppData"="C:\\users\\J\xfcrgen\\AppData\\Roaming"
"Personal"="C:\\users\\J\xfcrgen\\Documents"
"Quote \"this\""="tab\there\nnew line"
"Emoji"="\xd83d\xde00 x\x00e9t\101"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders] 1700000001
#time=1da0b1c2d3e4f51
"AppData"=str(2):"%USERPROFILE%\\AppData\\Roaming"
"Personal"=str(2):"%USERPROFILE%\\Documents"
"Cache"=hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,49,00,4c,\
  00,45,00,25,00,5c,00,43,00,00,00
@="default"

[Software\\Wine\\Brackets \[x\]] 1700000002
"Flags"=dword:0000002a
"Blob"=hex:01,02,\
  03,ff
"Broken"=hex:zz
"Unterminated"="no end
)";

TEST(WineRegistry, ReadsWhatWineWrites) {
    const WineRegistry reg = WineRegistry::Parse(kUserReg);
    const std::string shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const std::string userShellFolders = "software\\microsoft\\windows\\currentversion\\explorer\\user shell folders";
    const struct {
        std::string key, name, text;
        uint32_t type;
    } strings[] = {
        {shellFolders, "Personal", "C:\\users\\Jürgen\\Documents", 1},
        {shellFolders, "APPDATA", "C:\\users\\Jürgen\\AppData\\Roaming", 1},
        {shellFolders, "Quote \"this\"", "tab\there\nnew line", 1},
        {shellFolders, "Emoji", "\U0001F600 xét" "A", 1},  // surrogate pair, 4-digit \x before a hex digit, octal
        {userShellFolders, "Personal", "%USERPROFILE%\\Documents", 2},
        {userShellFolders, "Cache", "%USERPROFILE%\\C", 2},
        {userShellFolders, "", "default", 1},
    };
    for (const auto& s : strings) {
        const wine::RegistryValue* value = reg.Find(s.key, s.name);
        ASSERT_NE(value, nullptr) << s.name;
        EXPECT_EQ(value->text, s.text) << s.name;
        EXPECT_EQ(value->type, s.type) << s.name;
    }
    EXPECT_EQ(reg.Arch(), "win64");

    const std::string wine = "Software\\Wine\\Brackets [x]";
    ASSERT_NE(reg.Find(wine, "Flags"), nullptr);
    EXPECT_EQ(reg.Find(wine, "Flags")->dword, 42u);
    ASSERT_NE(reg.Find(wine, "Blob"), nullptr);
    EXPECT_EQ(reg.Find(wine, "Blob")->bytes, (std::vector<uint8_t>{1, 2, 3, 0xff}));
    EXPECT_EQ(reg.String(wine, "Flags"), std::nullopt);  // not a string
    EXPECT_EQ(reg.Find(wine, "Broken"), nullptr);
    EXPECT_EQ(reg.Find(wine, "Unterminated"), nullptr);
    EXPECT_EQ(reg.Find(shellFolders, "Missing"), nullptr);
    EXPECT_EQ(reg.Find("Software\\Missing", "Personal"), nullptr);
}

TEST(WineRegistry, DamagedOrMissingFilesGiveAnEmptyRegistry) {
    EXPECT_EQ(WineRegistry::Parse("garbage\n\"a\"=\"b\"\n[unterminated\n\"c\"=\"d\"\n").Find("unterminated", "c"), nullptr);
    EXPECT_EQ(WineRegistry::Load("/nonexistent/user.reg").Arch(), "");
    EXPECT_EQ(WineRegistry::Parse("WINE REGISTRY Version 2\r\n#arch=win32\r\n[A] 1\r\n\"x\"=\"y\"\r\n").String("a", "X"), "y");
}

// A registry file is parsed once while it stays as it was; any change a
// save or an edit can make is seen at the next look.
TEST(WineRegistry, SharedIsParsedOnceAndSeesEveryChangeOfTheFile) {
    const std::string folder = ::testing::TempDir() + "rolvane-registry-" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/user.reg", saved = folder + "/user.reg.new";
    auto write = [](const std::string& file, const char* arch, long modified) {
        std::ofstream(file, std::ios::trunc) << "WINE REGISTRY Version 2\n#arch=" << arch << "\n";
        const struct timespec times[2] = {{modified, 0}, {modified, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    };
    write(path, "win32", 1700000000);
    const auto first = WineRegistry::Shared(path);
    EXPECT_EQ(first->Arch(), "win32");
    EXPECT_EQ(WineRegistry::Shared(path), first);  // unchanged: not parsed again

    write(path, "win64", 1700000001);  // in place, the same size, another time
    EXPECT_EQ(WineRegistry::Shared(path)->Arch(), "win64");
    write(path, "wow64!", 1700000001);  // another size
    EXPECT_EQ(WineRegistry::Shared(path)->Arch(), "wow64!");
    write(saved, "win32!", 1700000001);  // as Wine saves: a new file renamed over the old
    std::filesystem::rename(saved, path);
    EXPECT_EQ(WineRegistry::Shared(path)->Arch(), "win32!");
    std::filesystem::remove(path);
    EXPECT_EQ(WineRegistry::Shared(path)->Arch(), "");
    std::filesystem::remove_all(folder);
}

}  // namespace
