// The temporary files a killed copy leaves behind, and which of them the
// next command removes.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "posix/files_fixture.h"
#include "support/holder.h"

namespace {

using posix_files_test::Listing;
using posix_files_test::PosixFilesTest;
using platform_test::WriteFile;
using test_support::Hold;
using test_support::Holder;

TEST_F(PosixFilesTest, RemoveTemporariesRemovesOnlyOurUnheldLeftovers) {
    const std::set<std::string> ours = {".bsrv.mdb.0123456789abcdef.tmp", ".BSRV.MDB.fedcba9876543210.tmp"};
    const std::set<std::string> kept = {
        "bsrv.mdb", ".bsrv.mdb.0123456789abcdeg.tmp", ".bsrv.mdb.0123456789abcde.tmp", ".bsrv.mdb.tmp",
        "bsrv.mdb.0123456789abcdef.tmp", ".other.mdb.0123456789abcdef.tmp", ".bsrv.mdb.1111111111111111.tmp"};
    for (const auto& name : ours) WriteFile(At(name), "partial");
    for (const auto& name : kept) WriteFile(At(name), "keep");
    {
        // A copy still running holds its temporary file.
        Holder running(At(".bsrv.mdb.1111111111111111.tmp"), Hold::OfdLock);
        files.RemoveTemporaries(tmp.path() + "\\bsrv.mdb");
    }
    EXPECT_EQ(Listing(tmp.path()), kept);
}

// A copy onto a symbolic link writes beside the file it points to, a copy
// aside beside the link, under the link's name: both are cleaned up.
TEST_F(PosixFilesTest, RemoveTemporariesLooksBesideALinkAndItsTarget) {
    WriteFile(At("real/target.mdb"), "live");
    std::filesystem::create_symlink(At("real/target.mdb"), At("bsrv.mdb"));
    WriteFile(At("real/.target.mdb.0123456789abcdef.tmp"), "partial");
    WriteFile(At(".bsrv.mdb.0123456789abcdef.tmp"), "partial");
    files.RemoveTemporaries(tmp.path() + "\\bsrv.mdb");
    EXPECT_EQ(Listing(At("real")), (std::set<std::string>{"target.mdb"}));
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"bsrv.mdb", "real"}));
}

}  // namespace
