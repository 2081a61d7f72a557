// The commands under the folder's lock and with stop signals noted, on the
// fakes: when the lock is held, what waiting for another command looks
// like, and what a stop signal at each point leaves on disk.
#include <gtest/gtest.h>
#include <signal.h>

#include "operations/commands.h"
#include "operations/commands_fixture.h"
#include "operations/previous_versions.h"
#include "operations/setaside.h"

using namespace testing_commands;
using fakes::db::Roof;
using ports::vbOK;
using ports::vbYes;

namespace {

const std::string kFolderKey = fakes::FakeFolderLock::FolderOf(kPersonalLive);

using Run = std::function<operations::Result(common::Services&, const operations::Then&)>;

const Run kRestore = [](common::Services& sys, const operations::Then& then) {
    return operations::Restore(sys, operations::RowRef::Of(PersonalBackup(1), "Personal"), then);
};
const Run kBlank = [](common::Services& sys, const operations::Then& then) {
    return operations::CreateBlank(sys, operations::RowRef::Of(kPersonalLive, "Personal"), then);
};
const Run kPutBack = [](common::Services& sys, const operations::Then& then) {
    return operations::PutBack(sys, kPersonalLive, kPersonalFolder + "bsrv.1", then);
};

struct Lay : FormFixture {
    Lay() {
        w.files.Put(kPersonalLive, Roof(10));
        w.files.Put(PersonalBackup(1), Roof(20));
        w.files.Put(kPersonalShell, Roof(0));
        w.files.Put(kPersonalFolder + "bsrv.1", Roof(1));
    }
    std::string Content(const std::string& path) {
        auto* f = w.files.Find(path);
        return f ? f->content : "<missing>";
    }
};

// Each command holds the lock from its consent to its last step: not while
// it asks, taken before it changes anything, held at its message and while
// the catalogue is rebuilt, let go when it returns.
TEST(OneAtATime, EveryCommandHoldsTheLockFromConsentToItsLastStep) {
    for (const auto& [name, run, title] : {std::tuple{"Restore", kRestore, "Restore Complete"},
                                           std::tuple{"Create Blank", kBlank, "Create Blank Successful"},
                                           std::tuple{"Put Back", kPutBack, "Restore Complete"}}) {
        SCOPED_TRACE(name);
        Lay f;
        std::vector<std::string> heldAt;
        f.w.msgbox.onShow = [&](const auto& box) {
            heldAt.push_back(box.title + (f.w.lock.heldNow.count(kFolderKey) ? " held" : " free"));
        };
        f.w.msgbox.Answer({vbYes, vbOK});
        bool heldInThen = false;
        EXPECT_EQ(run(f.w.sys, [&] { heldInThen = f.w.lock.heldNow.count(kFolderKey) > 0; }).ending,
                  operations::Result::Ending::Done);
        EXPECT_EQ(heldAt, (std::vector<std::string>{"Restore Warning free", std::string(title) + " held"}));
        EXPECT_TRUE(heldInThen);
        EXPECT_EQ(f.w.lock.log, (std::vector<std::string>{"take " + kFolderKey, "release " + kFolderKey}));
        EXPECT_TRUE(f.w.lock.heldNow.empty());
    }

    // Move to Trash waits for the lock as the commands do, and gives up the
    // same way, with the copy where it was.
    Lay f;
    f.w.lock.heldByOthers.insert(kFolderKey);
    f.w.msgbox.Answer({vbYes, vbOK});
    EXPECT_FALSE(operations::MoveVersionToTrash(f.w.sys, kPersonalLive, kPersonalFolder + "bsrv.1"));
    EXPECT_EQ(f.w.msgbox.shown.back().prompt,
              "Unable to move file to the Trash: Another restore is running on this database");
    EXPECT_EQ(f.w.msgbox.notices, (std::vector<std::string>{operations::kWaitingPrompt, ""}));
    EXPECT_TRUE(f.w.files.trash.empty());
}

// A stop signal: before the new data is in place the command undoes as on a
// failure and says so without a box; after it, the command is done and says
// so; either way the process then ends by that signal.
TEST(OneAtATime, AStopSignalUndoesOrFinishesAndThenEndsTheProcess) {
    enum When { WhileWaiting, SettingAside, Copying, AfterTheCopy };
    const struct {
        const char* name;
        When when;
        bool hardLinks;
        int signal;
        const char* told;  // the last notice
    } rows[] = {
        {"while waiting for the lock", WhileWaiting, true, SIGINT, "Unable to restore file: User interrupt occurred"},
        {"while the old data is copied aside", SettingAside, false, SIGHUP,
         "Unable to restore file: User interrupt occurred"},
        {"midway through the copy", Copying, true, SIGTERM, "Unable to restore file: User interrupt occurred"},
        {"midway through the copy, no hard links", Copying, false, SIGTERM,
         "Unable to restore file: User interrupt occurred"},
        // The catalogue is being rebuilt after the message.
        {"once the new data is in place", AfterTheCopy, true, SIGTERM, "File was Restored"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Lay f;
        f.w.files.hardLinks = row.hardLinks;
        f.w.files.copySteps = 3;
        int copies = 0;  // CopyAside, where there are no hard links, then FileCopy
        const int stoppedCopy = row.when == SettingAside ? 1 : row.hardLinks ? 1 : 2;
        f.w.files.onCopyStep = [&](int step) {
            if (step == 1) ++copies;
            if (step == 2 && copies == stoppedCopy && (row.when == SettingAside || row.when == Copying))
                f.w.stops.signal = row.signal;
        };
        if (row.when == WhileWaiting) {
            f.w.lock.heldByOthers.insert(kFolderKey);
            f.w.lock.onWait = [&] {
                f.w.stops.signal = row.signal;
                f.w.lock.heldByOthers.clear();
            };
        }
        f.w.msgbox.Answer({vbYes});
        const bool replaced = row.when == AfterTheCopy;
        if (replaced) f.w.msgbox.Answer(vbOK);
        int thens = 0;
        int ended = 0;
        try {
            kRestore(f.w.sys, [&] {
                ++thens;
                if (row.when == AfterTheCopy) f.w.stops.signal = row.signal;
            });
        } catch (const fakes::EndedBySignal& e) {
            ended = e.signal;
        }
        EXPECT_EQ(ended, row.signal) << "the process ends by the signal";
        if (replaced) {
            EXPECT_EQ(f.w.msgbox.shown.back().prompt, row.told);
        } else {
            EXPECT_EQ(f.Titles(), std::vector<std::string>{"Restore Warning"}) << "no box waits for an answer";
            ASSERT_FALSE(f.w.msgbox.notices.empty());
            EXPECT_EQ(f.w.msgbox.notices.back(), row.told);
        }
        EXPECT_EQ(f.Content(kPersonalLive), replaced ? Roof(20) : Roof(10));
        EXPECT_EQ(f.Content(kPersonalFolder + "bsrv.2"), replaced ? Roof(10) : "<missing>")
            << "kept once replaced, never left behind before";
        EXPECT_EQ(thens, replaced ? 1 : 0);
        EXPECT_TRUE(f.w.lock.heldNow.empty());
        EXPECT_EQ(f.w.stops.spans, 0);
    }
}

}  // namespace
