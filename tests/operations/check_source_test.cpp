// Restore, Create Blank and Put Back check their source before the warning:
// a damaged one is refused in a message of its own and nothing moves; one
// with warnings only goes ahead and the warning says so; a check the user
// stops ends the command as No does.
#include <gtest/gtest.h>

#include "operations/commands.h"
#include "operations/commands_fixture.h"

using namespace testing_commands;
using fakes::db::Roof;
using ports::vbOK;
using ports::vbYes;

namespace {

using Ending = operations::Result::Ending;
using Run = std::function<operations::Result(common::Services&)>;

struct Command {
    const char* name;
    std::string source;
    Run run;
    int line;            // where a damaged source is refused
    const char* refusal; // the message, whole
};

const std::string kCopy = kPersonalFolder + "bsrv.1";
// The shell file as Create Blank names it: in lower case.
const std::string kShell = kProgramFiles + "brenwick software\\varnock rolvane\\data\\rv10db.shell";

std::vector<Command> Commands() {
    return {
        {"Restore", PersonalBackup(1),
         [](common::Services& sys) { return operations::Restore(sys, operations::RowRef::Of(PersonalBackup(1), "Personal")); },
         5,
         "Unable to restore file: C:\\users\\ann\\AppData\\Roaming\\Varnock Rolvane\\Backups\\Backup1.rv is "
         "damaged: roof, page 7, row 2: its rows overlap.  Nothing was changed."},
        {"CreateBlank", kShell,
         [](common::Services& sys) { return operations::CreateBlank(sys, operations::RowRef::Of(kPersonalLive, "Personal")); },
         12,
         "Unable to create blank database: C:\\Program Files (x86)\\brenwick software\\varnock rolvane\\data\\"
         "rv10db.shell is damaged: roof, page 7, row 2: its rows overlap.  Nothing was changed."},
        {"PutBack", kCopy, [](common::Services& sys) { return operations::PutBack(sys, kPersonalLive, kCopy); }, 15,
         "Unable to restore file: C:\\users\\ann\\Documents\\Varnock Rolvane\\Data\\bsrv.1 is damaged: roof, "
         "page 7, row 2: its rows overlap.  Nothing was changed."},
    };
}

struct Lay {
    fakes::World w;
    Lay() {
        w.shell.folders = {{5, kDocs.substr(0, kDocs.size() - 1)}, {38, kProgramFiles.substr(0, kProgramFiles.size() - 1)}};
        w.files.Put(kPersonalLive, Roof(10));
        for (const std::string& source : {PersonalBackup(1), kPersonalShell, kCopy}) w.files.Put(source, Roof(20));
    }
    std::vector<std::string> Paths() const { return w.files.Paths(); }
};

TEST(CheckSource, ADamagedSourceIsRefusedBeforeTheWarningAndNothingMoves) {
    for (const Command& c : Commands()) {
        SCOPED_TRACE(c.name);
        Lay lay;
        fakes::World& w = lay.w;
        w.check.Tell(c.source, {{ports::Severity::Warning, "its definition counts 3 rows; 2 were found", "roof", 3, {}},
                                {ports::Severity::Damaged, "its rows overlap", "roof", 7, 2}});
        const std::vector<std::string> before = lay.Paths();
        w.msgbox.Answer(vbOK);
        const operations::Result r = c.run(w.sys);
        EXPECT_EQ(r.ending, Ending::Failed);
        ASSERT_TRUE(r.error);
        EXPECT_EQ(r.error->Number(), 3343);
        EXPECT_EQ(r.line, c.line);
        ASSERT_EQ(w.msgbox.shown.size(), 1u) << "no warning, only the refusal";
        EXPECT_EQ(w.msgbox.shown[0].prompt, c.refusal);
        EXPECT_EQ(w.msgbox.shown[0].buttons, ports::vbOKOnly);
        EXPECT_EQ(w.msgbox.shown[0].title, "") << "the application's title";
        EXPECT_EQ(lay.Paths(), before);
        EXPECT_EQ(w.files.Find(kPersonalLive)->content, Roof(10));
        EXPECT_TRUE(w.files.log.empty());
        EXPECT_EQ(w.check.checked, std::vector<std::string>{c.source});
    }
}

TEST(CheckSource, WarningsOnlyGoAheadAndTheWarningSaysSo) {
    for (const Command& c : Commands()) {
        SCOPED_TRACE(c.name);
        Lay lay;
        fakes::World& w = lay.w;
        w.check.Tell(c.source, {{ports::Severity::Warning, "a", {}, {}, {}},
                                {ports::Severity::Note, "b", {}, {}, {}},
                                {ports::Severity::Warning, "c", {}, {}, {}}});
        w.msgbox.Answer({vbYes, vbOK});
        EXPECT_EQ(c.run(w.sys).ending, Ending::Done);
        ASSERT_GE(w.msgbox.shown.size(), 1u);
        const std::string& warning = w.msgbox.shown[0].prompt;
        const std::string sentence = "  The check of " + c.source + " found 2 warnings, which Jet tolerates.";
        ASSERT_GT(warning.size(), sentence.size());
        EXPECT_EQ(warning.substr(warning.size() - sentence.size()), sentence);
        EXPECT_EQ(warning.find("Warning: You are about to "), 0u) << "the warning's own text stays first";
        EXPECT_EQ(w.files.Find(kPersonalLive)->content, Roof(20));
    }
}

TEST(CheckSource, AGoodSourceKeepsTheWarningAsItWasAndAStoppedCheckChangesNothing) {
    for (const Command& c : Commands()) {
        SCOPED_TRACE(c.name);
        {
            Lay lay;
            lay.w.msgbox.Answer({vbYes, vbOK});
            EXPECT_EQ(c.run(lay.w.sys).ending, Ending::Done);
            EXPECT_EQ(lay.w.msgbox.shown[0].prompt.find("check"), std::string::npos) << lay.w.msgbox.shown[0].prompt;
        }
        Lay lay;
        lay.w.check.userStops = true;
        const std::vector<std::string> before = lay.Paths();
        EXPECT_EQ(c.run(lay.w.sys).ending, Ending::Declined);
        EXPECT_TRUE(lay.w.msgbox.shown.empty());
        EXPECT_EQ(lay.Paths(), before);
        EXPECT_TRUE(lay.w.files.log.empty());
    }
}

}  // namespace
