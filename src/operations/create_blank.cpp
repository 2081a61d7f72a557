// Create Blank: resets a live database from its edition's blank shell file,
// after keeping the old file as a numbered copy; the click handler then
// rebuilds the catalogue (line 200). A file held open brings up the
// file-in-use dialog; any other failure leaves the old data at the live
// path and says why.
#include "catalogue/paths.h"
#include "common/procedure.h"
#include "common/shellfolders.h"
#include "operations/commands.h"
#include "operations/setaside.h"

namespace operations {

using common::Flow;

namespace {

constexpr const char* kBlankWarning =
    "Warning: You are about to erase all of the data in your Rolvane program.  Do you want to continue?";
constexpr const char* kMissingShell =
    "Unable to locate the shell file.  If Rolvane is not installed in the default folder, this "
    "function will not work.";

}  // namespace

Result CreateBlank(common::Services& sys, const RowRef& Live, const Then& then) {
    std::string target;
    std::string edition;
    std::string programFiles;
    std::string shellPath;
    Replacing run(sys, "Unable to create blank database: ", "Create Blank Failed");

    common::Procedure proc([&](const vb::Error& e, int line) { return run.Fail(e, line); });
    // A damaged shell file is refused before the warning: nothing moves. A
    // missing one is told at line 170, as it always was.
    proc.Line(12, [&] {
        const std::string folder = common::GetSpecialFolder(sys, ports::CSIDL_PROGRAM_FILES);
        const std::string shell = Live.edition() == catalogue::kBusiness ? catalogue::BusinessShellPath(folder)
                                                                          : catalogue::PersonalShellPath(folder);
        return run.CheckSource(shell, 12);
    });
    proc.Line(20, [&] { return run.Consent(kBlankWarning); });
    proc.Line(50, [&] { target = Live.path(); });
    proc.Line(60, [&] { edition = Live.edition(); });
    proc.Line(70, [&] { programFiles = common::GetSpecialFolder(sys, ports::CSIDL_PROGRAM_FILES); });
    proc.Line(80, [&] { return edition == catalogue::kBusiness ? Flow::Next() : Flow::Goto(110); });
    proc.Line(90, [&] {
        shellPath = catalogue::BusinessShellPath(programFiles);
        return Flow::Goto(130);
    });
    proc.IgnoreTo(130);
    proc.Line(110, [&] { shellPath = catalogue::PersonalShellPath(programFiles); });
    proc.Line(130, [&] { run.Keep(target); });
    proc.Line(140, [&] { return sys.files.Dir(shellPath).empty() ? Flow::Goto(160) : Flow::Next(); });
    proc.Line(150, [&] { return run.CopyOver(shellPath).IsLeave() ? Flow::Leave() : Flow::Goto(190); });
    proc.IgnoreTo(190);
    // No shell file: nothing replaces the live database, so the old data
    // stays at (or goes back to) the live path.
    proc.Line(160, [&] { run.Undo(); });
    proc.Line(170, [&] {
        run.Refuse(vb::FileNotFound(), 170, kMissingShell, "Unable to locate shell");
        return Flow::Goto(200);
    });
    proc.IgnoreTo(200);
    proc.Line(190, [&] { run.Tell("Database has been reset to the default values", kBlankCreatedTitle); });
    proc.Line(200, [&] {
        if (then) then();
    });
    proc.Run();
    return run.Finish();
}

void cmdMakeBlank_Click(catalogue::Form1& form) {
    CreateBlank(form.sys, RowRef::Selected(form), [&form] { catalogue::Form_Load(form); });
}

}  // namespace operations
