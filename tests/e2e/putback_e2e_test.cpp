// Previous Versions on the real platform: the listing read through the
// sandboxed reader, and Put Back stopped or failed at each of its
// file-system steps. Whatever happens, bsrv.mdb holds the old data or the
// chosen copy's, byte for byte; the new only with the old kept in another
// numbered copy; the chosen copy stays; what the user is told matches the
// folder; and no temporary file of ours outlives the next command.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>

#include "operations/previous_versions.h"
#include "operations/setaside.h"
#include "support/file_bytes.h"
#include "support/wine_home.h"

namespace {

using e2e::RealForm;
using e2e::WineHome;
using posix::PosixFiles;
namespace fs = std::filesystem;

const std::string kData = "users/ann/Documents/Varnock Rolvane/Data/";
const std::string kLiveWin = "C:\\users\\ann\\Documents\\Varnock Rolvane\\Data\\bsrv.mdb";
const std::string kCopyWin = "C:\\users\\ann\\Documents\\Varnock Rolvane\\Data\\bsrv.1";

using test_support::Read;
using test_support::Write;

struct PutBackEndToEnd : ::testing::Test {
    WineHome home;
    std::string folder = home.C(kData);
    // Databases, since Put Back reads the copy first; several chunks of the
    // kernel's copy, so a kill can leave a partial copy.
    std::string oldData = Database(40000);
    std::string newData = Database(60000);

    std::string Database(size_t rows) {
        const std::string path = home.C("made.mdb");
        WineHome::Roof(path, rows);
        std::string bytes = Read(path);
        fs::remove(path);
        return bytes;
    }

    void Lay() {
        fs::remove_all(folder);
        Write(folder + "bsrv.mdb", oldData);
        Write(folder + "bsrv.1", newData);
    }
    // The live file, the numbered copies other than the chosen one, and
    // anything else (our temporary files would be there).
    struct Folder {
        std::string live;
        std::string chosen;
        std::vector<std::string> others;
        std::set<std::string> strays;
    };
    Folder Look() const {
        Folder f{Read(folder + "bsrv.mdb"), Read(folder + "bsrv.1"), {}, {}};
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename();
            if (name == "bsrv.mdb" || name == "bsrv.1" || test_support::IsOwnFile(name)) continue;
            if (operations::NumberOfCopy(name) > 0) f.others.push_back(Read(entry.path()));
            else f.strays.insert(name);
        }
        return f;
    }
    static bool Keeps(const Folder& f, const std::string& content) {
        return std::find(f.others.begin(), f.others.end(), content) != f.others.end();
    }

    // Put Back in a child process that kills itself with SIGKILL just before
    // file-system step `killAt` (from 0; -1 never). The child ends at the
    // success message, before the catalogue is rebuilt. True when killed.
    bool RunInChild(int killAt) {
        const pid_t pid = fork();
        if (pid == 0) {
            int step = 0;
            RealForm f(home, [&](PosixFiles::Step) {
                if (step++ == killAt) raise(SIGKILL);
                return 0;
            });
            f.msgbox.Answer({ports::vbYes});
            f.msgbox.onShow = [&](const fakes::ScriptedMessageBox::Box& box) {
                if (box.title != operations::kWarningTitle) _exit(box.title == "Restore Complete" ? 0 : 2);
            };
            operations::PutBack(f.form, kLiveWin, kCopyWin);
            _exit(3);
        }
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return true;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "step " << killAt << " status " << status;
        return false;
    }
};

TEST_F(PutBackEndToEnd, TheListingReadsEachCopyThroughTheReaderAndTellsADamagedOneInItsRow) {
    WineHome::Roof(folder + "bsrv.mdb", 4);
    WineHome::Roof(folder + "bsrv.1", 3);
    WineHome::Roof(folder + "BSRV.2", 70);
    Write(folder + "bsrv.3", std::string(8192, '\x7f'));  // not a Jet file
    WineHome::Roof(folder + ".bsrv.4", 1);
    WineHome::Roof(folder + "bsrv.5", 1);
    const bool marked = setxattr((folder + "bsrv.5").c_str(), "user.DOSATTRIB", "0x22", 4, 0) == 0;
    fs::create_directories(folder + "bsrv.6");
    WineHome::Touch(folder + "bsrv.1", 2026, 1, 5, 8, 0, 0);
    WineHome::Touch(folder + "BSRV.2", 2026, 2, 1, 12, 30, 0);
    WineHome::Touch(folder + "bsrv.3", 2026, 1, 20, 0, 0, 0);
    WineHome::Touch(folder + "bsrv.5", 2025, 1, 1, 0, 0, 0);
    RealForm f(home);

    operations::LoadPreviousVersions(f.sys, f.lv, "C:\\users\\ann\\Documents\\varnock rolvane\\DATA\\bsrv.mdb");

    std::vector<std::string> rows;
    for (const auto& item : f.lv.items) rows.push_back(item.text + "|" + item.sub[1] + "|" + item.sub[2]);
    std::vector<std::string> expected = {"BSRV.2|70|02/01/26 12:30:00", "bsrv.3|cannot be read|01/20/26",
                                         "bsrv.1|3|01/05/26 08:00:00"};
    if (!marked) expected.push_back("bsrv.5|1|01/01/25");
    EXPECT_EQ(rows, expected);
    EXPECT_TRUE(f.msgbox.shown.empty()) << f.msgbox.shown[0].prompt;
    EXPECT_EQ(f.lv.items.at(2).sub[3], operations::SizeText(static_cast<int64_t>(fs::file_size(folder + "bsrv.1"))));
}

TEST_F(PutBackEndToEnd, KilledAtAnyStepTheLiveDatabaseIsWholeAndTheNextPutBackCleansUp) {
    int kills = 0;
    bool sawNew = false, sawStray = false;
    for (int k = 0;; ++k) {
        SCOPED_TRACE("killed before step " + std::to_string(k));
        Lay();
        const bool killed = RunInChild(k);
        const Folder after = Look();
        ASSERT_TRUE(after.live == oldData || after.live == newData) << "bsrv.mdb is neither old nor new";
        EXPECT_EQ(after.chosen, newData) << "the chosen copy stays";
        if (after.live == newData) {
            EXPECT_TRUE(Keeps(after, oldData)) << "the new data without the old in a numbered copy";
            sawNew = true;
        }
        if (!after.strays.empty()) sawStray = true;
        if (!killed) break;
        ++kills;

        ASSERT_FALSE(RunInChild(-1));
        const Folder next = Look();
        EXPECT_EQ(next.live, newData);
        EXPECT_TRUE(Keeps(next, oldData));
        EXPECT_TRUE(next.strays.empty()) << *next.strays.begin();
    }
    EXPECT_GE(kills, 8) << "link, flushes, temporary file, chunks, rename";
    EXPECT_TRUE(sawNew) << "no kill fell after the rename";
    EXPECT_TRUE(sawStray) << "no kill left a temporary file";
}

TEST_F(PutBackEndToEnd, AFailureAtAnyStepIsToldAsWhatTheFolderHolds) {
    for (const bool hardLinks : {true, false}) {
        for (const int error : {EIO, ENOSPC}) {
            for (int k = 0;; ++k) {
                SCOPED_TRACE(std::string(hardLinks ? "hard links, " : "no hard links, ") + strerror(error) +
                             " at step " + std::to_string(k));
                Lay();
                int step = 0;
                RealForm f(home, [&](PosixFiles::Step s) {
                    if (!hardLinks && s == PosixFiles::Step::Link) return EPERM;
                    return step++ == k ? error : 0;
                });
                std::string prompt, title;
                f.msgbox.onShow = [&](const fakes::ScriptedMessageBox::Box& box) {
                    prompt = box.prompt;
                    title = box.title;
                    // Yes to the command's warning, and to moving the live
                    // database where no copy of it can be made.
                    f.msgbox.Answer(box.title == operations::kWarningTitle ? ports::vbYes : ports::vbOK);
                    // The catalogue is not rebuilt: the files are not databases.
                    if (box.title == "Restore Complete") throw vb::Error(5, "stop before the rebuild");
                };
                operations::PutBack(f.form, kLiveWin, kCopyWin);

                const Folder after = Look();
                EXPECT_TRUE(after.strays.empty()) << "left behind: " << *after.strays.begin();
                EXPECT_EQ(after.chosen, newData);
                // A failed flush after the rename: the new data is in
                // place, and the message says so.
                const bool inPlace = prompt.find("the new data is in place") != std::string::npos;
                if (title == "Restore Complete" || inPlace) {
                    EXPECT_EQ(after.live, newData);
                    EXPECT_TRUE(Keeps(after, oldData));
                } else {
                    ASSERT_EQ(title, "Restore Failed");
                    const auto kept = prompt.find("kept in ");
                    if (kept == std::string::npos) {
                        EXPECT_EQ(after.live, oldData) << prompt;
                    } else {
                        const std::string named = prompt.substr(kept + 8, prompt.size() - kept - 9);
                        EXPECT_EQ(Read(f.paths.ToHost(named)), oldData) << prompt;
                    }
                    for (const std::string& other : after.others) EXPECT_EQ(other, oldData);
                }
                if (step <= k) {  // Put Back ran out of steps before k
                    EXPECT_EQ(title, "Restore Complete");
                    break;
                }
            }
        }
    }
}

}  // namespace
