// Keeping the live database under the next free numbered name: a second
// name, a copy, and silence on failure.
#include <gtest/gtest.h>

#include "operations/commands.h"
#include "operations/commands_fixture.h"
#include "operations/setaside.h"

using namespace testing_commands;

namespace {

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
    EXPECT_EQ(kept->how, operations::HowSetAside::Linked);
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
    EXPECT_EQ(kept->how, operations::HowSetAside::Copied);
    EXPECT_EQ(Content("C:\\d\\bsrv.6"), "live");
    EXPECT_FALSE(w.files.SameFile("C:\\d\\bsrv.6", "C:\\d\\bsrv.mdb"));

    w.files.failures.Add("Dir", vb::PermissionDenied());
    EXPECT_THROW(operations::RenameDatabase(form, "C:\\d\\bsrv.mdb"), vb::Error);
    EXPECT_TRUE(w.msgbox.shown.empty());
}

}  // namespace
