// The commands as calls on the fakes: what each returns.
#include <gtest/gtest.h>

#include "operations/commands.h"
#include "operations/commands_fixture.h"
#include "operations/setaside.h"

using namespace testing_commands;
using fakes::db::Roof;
using ports::vbCancel;
using ports::vbNo;
using ports::vbOK;
using ports::vbYes;

namespace {

// ---- The commands as calls: what each returns ----

TEST_F(CommandsTest, EachCommandReturnsWhatHappened) {
    using Ending = operations::Result::Ending;
    struct Case {
        const char* name;
        std::function<void(fakes::World&)> lay;
        std::initializer_list<int> answers;
        std::function<operations::Result(common::Services&, const operations::Then&)> run;
        Ending ending;
        int error;  // 0: none
        int line;
        bool kept, then;
    };
    const auto restore = [](common::Services& sys, const operations::Then& then) {
        return operations::Restore(sys, operations::RowRef::Of(PersonalBackup(1), "Personal"), then);
    };
    const auto blank = [](common::Services& sys, const operations::Then& then) {
        return operations::CreateBlank(sys, operations::RowRef::Of(kPersonalLive, "Personal"), then);
    };
    const auto putBack = [](common::Services& sys, const operations::Then& then) {
        return operations::PutBack(sys, kPersonalLive, kPersonalFolder + "bsrv.1", then);
    };
    const Case cases[] = {
        {"restored", [](auto&) {}, {vbYes, vbOK}, restore, Ending::Done, 0, 0, true, true},
        {"No", [](auto&) {}, {vbNo}, restore, Ending::Declined, 0, 0, false, false},
        {"held open", [](auto& w) { w.files.Find(kPersonalLive)->heldOpen = true; }, {vbYes, vbCancel}, restore,
         Ending::InUse, 70, 210, false, false},
        {"backup gone", [](auto& w) { w.files.Remove(PersonalBackup(1)); }, {vbYes, vbOK}, restore, Ending::Failed,
         53, 220, false, false},
        {"reset", [](auto& w) { w.files.Put(kPersonalShell, Roof(0)); }, {vbYes, vbOK}, blank, Ending::Done, 0, 0,
         true, true},
        {"no shell", [](auto&) {}, {vbYes, vbOK}, blank, Ending::Failed, 53, 170, false, true},
        {"put back", [](auto& w) { w.files.Put(kPersonalFolder + "bsrv.1", Roof(5)); }, {vbYes, vbOK}, putBack,
         Ending::Done, 0, 0, true, true},
        {"copy gone", [](auto&) {}, {vbYes, vbOK}, putBack, Ending::Failed, 53, 30, false, false},
        // In use is another program holding the file, or another command the
        // folder; a refusal no wait mends is a failure, even as a 70.
        {"access denied", [](auto& w) { w.files.failures.Add("FileCopy", vb::PermissionDenied()); }, {vbYes, vbOK},
         restore, Ending::Failed, 70, 220, false, false},
        {"another command", [](auto& w) { w.lock.heldByOthers.insert(fakes::FakeFolderLock::FolderOf(kPersonalLive)); },
         {vbYes, vbCancel}, restore, Ending::InUse, 70, 210, false, false},
        {"no lock file here", [](auto& w) { w.lock.failures.Add("Take", vb::PathNotFound()); }, {vbYes, vbOK},
         blank, Ending::Failed, 76, 130, false, false},
        // The new data took the live name, the disk failed to save that:
        // failed, with the old data kept in its numbered copy.
        {"not saved", [](auto& w) { w.files.failures.Add("FileCopy.flush", vb::NewDataNotSaved()); },
         {vbYes, vbOK}, restore, Ending::Failed, 57, 220, true, false},
    };
    for (const Case& c : cases) {
        fakes::World w;
        w.shell.folders = {{5, kDocs.substr(0, kDocs.size() - 1)}, {38, kProgramFiles.substr(0, kProgramFiles.size() - 1)}};
        w.files.Put(kPersonalLive, Roof(10));
        w.files.Put(PersonalBackup(1), Roof(20));
        c.lay(w);
        w.msgbox.Answer(c.answers);
        int thens = 0;
        const operations::Result result = c.run(w.sys, [&thens] { ++thens; });
        EXPECT_EQ(result.ending, c.ending) << c.name;
        EXPECT_EQ(result.error ? result.error->Number() : 0, c.error) << c.name;
        if (c.error) {
            EXPECT_EQ(result.line, c.line) << c.name;
        }
        // Put Back knows its live database from the start, the others once they have read their row.
        const bool known = c.ending != Ending::Declined || std::string(c.name) == "put back";
        EXPECT_EQ(result.live, known ? kPersonalLive : "") << c.name;
        EXPECT_EQ(result.kept.has_value(), c.kept) << c.name;
        if (result.kept) {
            EXPECT_EQ(w.files.Find(result.kept->path)->content, Roof(10)) << c.name;
        }
        EXPECT_EQ(thens, c.then ? 1 : 0) << c.name;
        EXPECT_EQ(w.msgbox.Unanswered(), 0u) << c.name;
    }
}

}  // namespace
