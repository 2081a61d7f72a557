// Create Blank: resets the selected live database from its edition's blank
// shell file, after keeping the old file as a numbered copy, then rebuilds
// the catalogue. A file held open brings up the file-in-use dialog; any other
// failure leaves the old data at the live path and says why.
#include "catalogue/paths.h"
#include "common/procedure.h"
#include "common/shellfolders.h"
#include "operations/commands.h"
#include "operations/setaside.h"

namespace operations {

using common::Flow;
using common::Resume;

namespace {

constexpr const char* kBlankWarning =
    "Warning: You are about to erase all of the data in your Rolvane program.  Do you want to continue?";
constexpr const char* kMissingShell =
    "Unable to locate the shell file.  If Rolvane is not installed in the default folder, this "
    "function will not work.";

}  // namespace

void cmdMakeBlank_Click(catalogue::Form1& form) {
    common::Services& sys = form.sys;
    std::string target;
    std::string edition;
    std::string programFiles;
    std::string shellPath;
    SetAside live(form);

    // Error 70 is a file in use, as in Restore; anything else, or Cancel,
    // ends the command with the old data at the live path.
    common::Procedure proc([&](const vb::Error& e, int) {
        return EndOrRetry(form, live, e, "Unable to create blank database: ", "Create Blank Failed");
    });
    // Only Yes goes ahead: No, Esc and the close box end the command.
    proc.Line(20, [&] {
        const int answer = sys.msgbox.Show(kBlankWarning, ports::vbYesNo, kWarningTitle);
        return answer == ports::vbYes ? Flow::Next() : Flow::Leave();
    });
    proc.Line(50, [&] { target = form.lvFiles.Tag(catalogue::SelectedItem(form)); });
    proc.Line(60, [&] { edition = form.lvFiles.SubItem(catalogue::SelectedItem(form), 1); });
    proc.Line(70, [&] { programFiles = common::GetSpecialFolder(sys, ports::CSIDL_PROGRAM_FILES); });
    proc.Line(80, [&] { return edition == catalogue::kBusiness ? Flow::Next() : Flow::Goto(110); });
    proc.Line(90, [&] {
        shellPath = catalogue::BusinessShellPath(programFiles);
        return Flow::Goto(130);
    });
    proc.IgnoreTo(130);
    proc.Line(110, [&] { shellPath = catalogue::PersonalShellPath(programFiles); });
    proc.Line(130, [&] { live.Rename(target); });
    proc.Line(140, [&] { return sys.files.Dir(shellPath).empty() ? Flow::Goto(160) : Flow::Next(); });
    // The user did not let the live database move: ended as on No.
    proc.Line(150, [&] { return live.CopyOver(shellPath) ? Flow::Goto(190) : Flow::Leave(); });
    proc.IgnoreTo(190);
    // No shell file: nothing replaces the live database, so the old data
    // stays at (or goes back to) the live path.
    proc.Line(160, [&] { live.Undo(); });
    proc.Line(170, [&] {
        sys.msgbox.Show(kMissingShell, ports::vbOKOnly, "Unable to locate shell");
        return Flow::Goto(200);
    });
    proc.IgnoreTo(200);
    proc.Line(190, [&] {
        sys.msgbox.Show("Database has been reset to the default values", ports::vbOKOnly, kBlankCreatedTitle);
    });
    proc.Line(200, [&] { catalogue::Form_Load(form); });
    proc.Run();
}

}  // namespace operations
