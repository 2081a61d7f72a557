#include "wine/dos_attributes.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <string>

#include "support/temp_folder.h"

namespace {

using platform_test::TempFolder;
using platform_test::WriteFile;

// Wine keeps the hidden and system attributes of a file in user.DOSATTRIB;
// they are read as Windows programs under Wine see them.
TEST(DosAttributes, HiddenOrSystemAsWineReadsThem) {
    const TempFolder tmp;
    auto At = [&](const std::string& name) { return tmp / name; };
    WriteFile(At("probe"), "");
    if (setxattr(At("probe").c_str(), "user.DOSATTRIB", "0x0", 3, 0) != 0)
        GTEST_SKIP() << "the temporary folder's file system keeps no user extended attributes";
    const struct {
        const char* name;
        std::string attributes;  // empty: no attribute at all
        bool visible;
    } cases[] = {
        {"plain.mdb", "", true},
        {"archive.mdb", "0x20", true},
        {"hidden.mdb", "0x22", false},
        {"system.mdb", "0x24", false},
        {"both.mdb", "0x6", false},
        {"upper-hex.mdb", "0xA6", false},
        {"samba4.mdb", std::string("0x22\0\x03\x00\x03\x00\x11", 11), false},  // text, then binary data
        // Forms Wine does not read count as no attributes.
        {"trailing.mdb", "0x22 ", true},
        {"decimal.mdb", "34", true},
        {"bare.mdb", "0x", true},
        {"too-long.mdb", "0x" + std::string(70, '2'), true},
    };
    for (const auto& c : cases) {
        WriteFile(At(c.name), "db");
        if (!c.attributes.empty()) {
            ASSERT_EQ(setxattr(At(c.name).c_str(), "user.DOSATTRIB", c.attributes.data(), c.attributes.size(), 0), 0);
        }
        EXPECT_EQ(wine::HiddenOrSystem(At(c.name)), !c.visible) << c.name;
    }
}

}  // namespace
