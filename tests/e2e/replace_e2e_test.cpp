// Replacing a live database on a real file system, stopped or failed at
// each of its file-system steps: a child process killed with SIGKILL just
// before step k, and a failure injected into step k; with and without hard
// links, and on FAT and exFAT where they can be mounted here. Whatever happens,
// bsrv.mdb holds the old data or the new, byte for byte; the new only with
// the old kept in a numbered copy; what the user is told matches the folder;
// and no temporary file of ours outlives the next command.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>

#include "operations/commands.h"
#include "operations/setaside.h"
#include "support/file_bytes.h"
#include "support/mounted_image.h"
#include "support/wine_home.h"

namespace {

using e2e::RealForm;
using e2e::WineHome;
using posix::PosixFiles;
namespace fs = std::filesystem;

const std::string kData = "users/ann/Documents/Varnock Rolvane/Data/";
const std::string kBackupWin = "C:\\users\\ann\\AppData\\Roaming\\Varnock Rolvane\\Backups\\Backup2.rv";
const std::string kBackup = "users/ann/AppData/Roaming/Varnock Rolvane/Backups/Backup2.rv";
const std::string kShell = "Program Files (x86)/Brenwick Software/Varnock Rolvane/Data/rv10db.shell";

using test_support::Read;
using test_support::Write;

// What the folder of the live database holds: the live file, the numbered
// copies and anything else (our temporary files would be there).
struct Folder {
    std::string live;  // "<missing>" when there is none
    std::vector<std::string> numbered;
    std::set<std::string> others;

    static Folder Of(const std::string& folder) {
        Folder f;
        f.live = Read(folder + "bsrv.mdb");
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename();
            if (name == "bsrv.mdb" || test_support::IsOwnFile(name)) continue;
            if (name.rfind("bsrv.", 0) == 0) f.numbered.push_back(Read(entry.path()));
            else f.others.insert(name);
        }
        return f;
    }
    bool Keeps(const std::string& content) const {
        return std::find(numbered.begin(), numbered.end(), content) != numbered.end();
    }
};

struct Command {
    const char* name;
    void (*run)(catalogue::Form1&);
    std::string row;      // the selected row's Tag
    const char* success;  // the title of its success message
    const char* failure;  // the title of its failure message
};

struct ReplaceEndToEnd : ::testing::Test {
    WineHome home;
    std::string folder = home.C(kData);
    // Several chunks of the kernel's copy, so a kill can leave a partial copy.
    std::string oldData = std::string(3 << 20, 'o') + "old end";
    std::string newData = std::string(4 << 20, 'n') + "new end";

    void Lay() {
        // The folder's contents only: it may be where a file system is mounted.
        fs::create_directories(folder);
        for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
        Write(folder + "bsrv.mdb", oldData);
        Write(home.C(kBackup), newData);
        Write(home.C(kShell), newData);
    }
    Command Restore() const {
        return {"Restore", operations::cmdRestore_Click, kBackupWin, "Restore Complete", "Restore Failed"};
    }
    Command CreateBlank() const {
        return {"Create Blank", operations::cmdMakeBlank_Click,
                "C:\\users\\ann\\Documents\\Varnock Rolvane\\Data\\bsrv.mdb", "Create Blank Successful",
                "Create Blank Failed"};
    }
    static void SelectRow(RealForm& f, const std::string& tag) {
        f.lv.ClearItems();
        f.lv.AddItem("row");
        f.lv.SetSubItem(1, 1, "Personal");
        f.lv.SetTag(1, tag);
    }

    // Runs the command in a child process that kills itself with SIGKILL just
    // before file-system step `killAt` (from 0; -1 never). The child ends at
    // the command's success message, before the catalogue is rebuilt. True
    // when it was killed, false when it got to the success message. With
    // failLinks, every link fails as it does on FAT.
    bool RunInChild(const Command& command, int killAt, bool failLinks) {
        const pid_t pid = fork();
        if (pid == 0) {
            int step = 0;
            RealForm f(home, [&](PosixFiles::Step s) {
                if (step++ == killAt) raise(SIGKILL);
                return failLinks && s == PosixFiles::Step::Link ? EPERM : 0;
            });
            SelectRow(f, command.row);
            f.msgbox.Answer({ports::vbYes});
            f.msgbox.onShow = [&](const fakes::ScriptedMessageBox::Box& box) {
                if (box.title != operations::kWarningTitle) _exit(box.title == command.success ? 0 : 2);
            };
            command.run(f.form);
            _exit(3);
        }
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return true;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command.name << " step " << killAt
                                                                   << " status " << status;
        return false;
    }

    // Kills the command before each of its steps in turn, and runs the next
    // command to its end after each kill. Whatever happens, bsrv.mdb holds
    // the old or the new data, the new only with the old kept; the next
    // command leaves nothing of ours behind. At least minKills steps.
    void KillAtEveryStep(const Command& command, bool failLinks, int minKills) {
        const std::string name = std::string(command.name) + (failLinks ? " without hard links" : "");
        int kills = 0;
        bool sawNew = false, sawLeftover = false;
        for (int k = 0;; ++k) {
            SCOPED_TRACE(name + ", killed before step " + std::to_string(k));
            Lay();
            const bool killed = RunInChild(command, k, failLinks);
            const Folder after = Folder::Of(folder);
            ASSERT_TRUE(after.live == oldData || after.live == newData) << "bsrv.mdb is neither old nor new";
            if (after.live == newData) {
                EXPECT_TRUE(after.Keeps(oldData)) << "the new data without the old in a numbered copy";
                sawNew = true;
            }
            if (!after.others.empty()) sawLeftover = true;
            if (!killed) break;
            ++kills;

            // The next command, run to its end.
            ASSERT_FALSE(RunInChild(command, -1, failLinks));
            const Folder next = Folder::Of(folder);
            EXPECT_EQ(next.live, newData);
            EXPECT_TRUE(next.Keeps(oldData));
            EXPECT_TRUE(next.others.empty()) << *next.others.begin();
        }
        EXPECT_GE(kills, minKills) << name;
        EXPECT_TRUE(sawNew) << name << ": no kill fell after the rename";
        EXPECT_TRUE(sawLeftover) << name << ": no kill left a temporary file";
    }
};

TEST_F(ReplaceEndToEnd, KilledAtAnyStepTheLiveDatabaseIsWholeAndTheNextCommandCleansUp) {
    for (const Command& command : {Restore(), CreateBlank()}) {
        KillAtEveryStep(command, false, 8);  // link, flushes, temporary file, chunks, rename
        KillAtEveryStep(command, true, 12);  // and the copy set aside before them
    }
}

// On the file systems of USB sticks and of partitions shared with Windows,
// which give no second name, with whatever else they do not keep.
TEST_F(ReplaceEndToEnd, OnFatAndExFatAKillAtAnyStepLeavesTheLiveDatabaseWhole) {
    using test_support::MountedImage;
    // Smaller, for the slower file systems; still several chunks each.
    oldData = std::string(2 << 20, 'o') + "old end";
    newData = std::string(3 << 20, 'n') + "new end";
    std::string skipped;
    for (const auto kind : {MountedImage::Kind::Fat, MountedImage::Kind::ExFat}) {
        const char* name = kind == MountedImage::Kind::Fat ? "FAT" : "exFAT";
        fs::remove_all(folder);
        fs::create_directories(folder);
        const MountedImage image(kind, folder.substr(0, folder.size() - 1) + ".img", folder, off_t{64} << 20);
        if (!image.Mounted()) {
            skipped += std::string(skipped.empty() ? "" : "; ") + name + ": " + image.Why();
            continue;
        }
        SCOPED_TRACE(name);
        for (const Command& command : {Restore(), CreateBlank()}) KillAtEveryStep(command, false, 12);
    }
    if (!skipped.empty()) GTEST_SKIP() << "not mounted here: " << skipped;
}

// SIGINT, SIGTERM or SIGHUP (Ctrl-C, a kill, a closed terminal) before each
// step in turn, sent by the command's own process from the step hook: the
// command acts on it at its next safe point and the process dies of that
// signal. Before the new data took the live name the folder is as it was,
// after it the new data is there with the old kept; never a temporary file,
// never a numbered copy that is a second name of bsrv.mdb.
TEST_F(ReplaceEndToEnd, AStopSignalAtAnyStepLeavesNoTemporaryFileAndNoSecondName) {
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    for (const bool failLinks : {false, true}) {
        int stopped = 0;
        bool sawNew = false;
        for (int k = 0;; ++k) {
            const int signal = signals[k % 3];
            SCOPED_TRACE(std::string(failLinks ? "no hard links, " : "") + strsignal(signal) + " before step " +
                         std::to_string(k));
            Lay();
            const pid_t pid = fork();
            if (pid == 0) {
                int step = 0;
                RealForm f(home, [&](PosixFiles::Step s) {
                    if (step++ == k) raise(signal);
                    return failLinks && s == PosixFiles::Step::Link ? EPERM : 0;
                });
                SelectRow(f, kBackupWin);
                f.msgbox.Answer({ports::vbYes});
                f.msgbox.onShow = [&](const fakes::ScriptedMessageBox::Box& box) {
                    if (box.title != operations::kWarningTitle) _exit(box.title == "Restore Complete" ? 0 : 2);
                };
                operations::cmdRestore_Click(f.form);
                _exit(3);
            }
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            const Folder after = Folder::Of(folder);
            EXPECT_TRUE(after.others.empty()) << "left behind: " << *after.others.begin();
            ASSERT_TRUE(after.live == oldData || after.live == newData);
            if (after.live == newData) {
                EXPECT_TRUE(after.Keeps(oldData));
                sawNew = true;
            } else {
                EXPECT_TRUE(after.numbered.empty()) << "a numbered copy of a command that did not finish";
            }
            struct stat live{}, copy{};
            ASSERT_EQ(stat((folder + "bsrv.mdb").c_str(), &live), 0);
            for (const auto& entry : fs::directory_iterator(folder)) {
                if (entry.path().filename() != "bsrv.mdb" && stat(entry.path().c_str(), &copy) == 0) {
                    EXPECT_FALSE(copy.st_ino == live.st_ino) << entry.path() << " is a second name of bsrv.mdb";
                }
            }
            if (WIFEXITED(status)) {
                EXPECT_EQ(WEXITSTATUS(status), 0);
                break;  // the command ran out of steps before k
            }
            ASSERT_TRUE(WIFSIGNALED(status)) << status;
            EXPECT_EQ(WTERMSIG(status), signal) << "dies of the signal it was sent";
            ++stopped;
        }
        EXPECT_GE(stopped, 8) << "lock, link, temporary file, chunks, rename, flushes";
        EXPECT_TRUE(sawNew) << "no signal fell after the rename";
    }
}

// What the user was told, and whether it is what the folder holds.
TEST_F(ReplaceEndToEnd, AFailureAtAnyStepIsToldAsWhatTheFolderHolds) {
    for (const Command& command : {Restore(), CreateBlank()}) {
        for (const bool hardLinks : {true, false}) {
            for (const int error : {EIO, ENOSPC}) {
                for (int k = 0;; ++k) {
                    SCOPED_TRACE(std::string(command.name) + (hardLinks ? ", hard links, " : ", no hard links, ") +
                                 strerror(error) + " at step " + std::to_string(k));
                    Lay();
                    int step = 0;
                    RealForm f(home, [&](PosixFiles::Step s) {
                        if (!hardLinks && s == PosixFiles::Step::Link) return EPERM;
                        return step++ == k ? error : 0;
                    });
                    SelectRow(f, command.row);
                    std::string prompt, title;
                    f.msgbox.onShow = [&](const fakes::ScriptedMessageBox::Box& box) {
                        prompt = box.prompt;
                        title = box.title;
                        // Yes to the command's warning, and to moving the
                        // live database where no copy of it can be made.
                        f.msgbox.Answer(box.title == operations::kWarningTitle ? ports::vbYes : ports::vbOK);
                        // The catalogue is not rebuilt: the files are not databases.
                        if (box.title == command.success) throw vb::Error(5, "stop before the rebuild");
                    };
                    command.run(f.form);

                    const Folder after = Folder::Of(folder);
                    EXPECT_TRUE(after.others.empty()) << "left behind: " << *after.others.begin();
                    // A failed flush after the rename: the new data is in
                    // place, and the message says so.
                    const bool inPlace = prompt.find("the new data is in place") != std::string::npos;
                    if (title == command.success || inPlace) {
                        EXPECT_EQ(after.live, newData);
                        EXPECT_TRUE(after.Keeps(oldData));
                    } else {
                        ASSERT_EQ(title, command.failure);
                        const auto kept = prompt.find("kept in ");
                        if (kept == std::string::npos) {
                            EXPECT_EQ(after.live, oldData) << prompt;
                        } else {
                            const std::string named = prompt.substr(kept + 8, prompt.size() - kept - 9);
                            EXPECT_EQ(Read(f.paths.ToHost(named)), oldData) << prompt;
                        }
                        for (const std::string& numbered : after.numbered) EXPECT_EQ(numbered, oldData);
                    }
                    if (step <= k) {  // the command ran out of steps before k
                        EXPECT_EQ(title, command.success);
                        EXPECT_GE(k, 8) << "link, flushes, temporary file, chunks, rename";
                        break;
                    }
                }
            }
        }
    }
}

}  // namespace
