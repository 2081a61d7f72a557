// Files held open the way Windows programs under Wine hold them (a record
// lock, or the file open in a wineserver) are neither copied nor renamed:
// 70 of the kind that says another program holds them.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "posix/files_fixture.h"
#include "support/holder.h"

namespace {

using posix_files_test::ErrorOf;
using posix_files_test::KindOf;
using posix_files_test::Listing;
using posix_files_test::PosixFilesTest;
using platform_test::ReadFile;
using platform_test::WriteFile;
namespace fs = std::filesystem;
using test_support::Hold;
using test_support::Holder;

TEST_F(PosixFilesTest, FilesHeldByAnotherProcessAreNotCopiedOrRenamed) {
    for (Hold how : {Hold::PosixWriteLock, Hold::PosixReadLockBeyondEnd, Hold::OfdLock, Hold::OpenInWineServer}) {
        SCOPED_TRACE(static_cast<int>(how));
        WriteFile(At("source.mdb"), "src");
        WriteFile(At("dest.mdb"), "old");
        {
            Holder holder(At("source.mdb"), how);
            EXPECT_TRUE(files.HeldOpen(At("source.mdb")));
            EXPECT_EQ(KindOf([&] { files.FileCopy(At("source.mdb"), At("copy.mdb")); }), vb::ErrorKind::HeldByProgram);
            EXPECT_EQ(KindOf([&] { files.Name(At("source.mdb"), At("renamed.mdb")); }), vb::ErrorKind::HeldByProgram);
        }
        {
            Holder holder(At("dest.mdb"), how);
            EXPECT_EQ(KindOf([&] { files.FileCopy(At("source.mdb"), At("dest.mdb")); }), vb::ErrorKind::HeldByProgram);
            EXPECT_EQ(ReadFile(At("dest.mdb")), "old");
            EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"source.mdb", "dest.mdb"}));
        }
        // Once let go, the same operations go through.
        EXPECT_FALSE(files.HeldOpen(At("source.mdb")));
        files.FileCopy(At("source.mdb"), At("dest.mdb"));
        EXPECT_EQ(ReadFile(At("dest.mdb")), "src");
        files.Name(At("source.mdb"), At("renamed.mdb"));
        fs::remove(At("renamed.mdb"));
    }
}

}  // namespace

namespace {

// When the in-use check cannot open the file to look (EIO), it cannot
// tell: that is no file in use, and the copy does not go ahead. Only where
// the file may not be read does it ask wineserver alone, and the copy goes.
TEST_F(PosixFilesTest, AnInUseCheckThatCannotTellStopsTheCopy) {
    WriteFile(At("source.mdb"), "src");
    const struct {
        int error, number;
    } cases[] = {{EIO, vb::kDeviceIOError}, {EMFILE, vb::kPathFileAccessError}, {EACCES, 0}};
    for (const auto& c : cases) {
        WriteFile(At("dest.mdb"), "old");
        posix::PosixFiles checking(paths, {}, [&](posix::FileStep step) {
            return step == posix::FileStep::OpenToCheck ? c.error : 0;
        });
        const auto kind = c.number ? std::optional(vb::ErrorKind::CannotTell) : std::nullopt;
        EXPECT_EQ(KindOf([&] { checking.HeldOpen(At("dest.mdb")); }), kind) << c.error;
        EXPECT_EQ(KindOf([&] { checking.Name(At("dest.mdb"), At("renamed.mdb")); }), kind) << c.error;
        EXPECT_EQ(ErrorOf([&] { checking.FileCopy(At("source.mdb"), At("dest.mdb")); }), c.number) << c.error;
        EXPECT_EQ(ReadFile(At("dest.mdb")), c.number ? "old" : "src") << c.error;
        if (!c.number) fs::rename(At("renamed.mdb"), At("dest.mdb"));
        EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"source.mdb", "dest.mdb"})) << c.error;
    }
}

// Moving the command's own file back asks nobody whether it is held, so that
// an in-use check that cannot tell never leaves the live name empty; it
// never replaces a file either.
TEST_F(PosixFilesTest, MoveBackAsksNoInUseQuestionAndNeverReplaces) {
    WriteFile(At("bsrv.1"), "old");
    {
        Holder server(At("bsrv.1"), Hold::OpenInWineServer);
        posix::PosixFiles cannotLook(paths, {}, [](posix::FileStep step) {
            return step == posix::FileStep::OpenToCheck ? EIO : 0;
        });
        EXPECT_EQ(KindOf([&] { files.Name(At("bsrv.1"), At("bsrv.mdb")); }), vb::ErrorKind::HeldByProgram);
        EXPECT_EQ(KindOf([&] { cannotLook.Name(At("bsrv.1"), At("bsrv.mdb")); }), vb::ErrorKind::CannotTell);
        cannotLook.MoveBack(At("bsrv.1"), At("bsrv.mdb"));
    }
    EXPECT_EQ(ReadFile(At("bsrv.mdb")), "old");
    WriteFile(At("bsrv.1"), "other");
    EXPECT_EQ(ErrorOf([&] { files.MoveBack(At("bsrv.1"), At("bsrv.mdb")); }), vb::kFileAlreadyExists);
    EXPECT_EQ(ErrorOf([&] { files.MoveBack(At("bsrv.2"), At("bsrv.mdb")); }), vb::kFileNotFound);
    EXPECT_EQ(ReadFile(At("bsrv.mdb")), "old");
    EXPECT_EQ(Listing(tmp.path()), (std::set<std::string>{"bsrv.mdb", "bsrv.1"}));
}

}  // namespace
