// Put Back and Move to Trash: what the user does with a numbered copy.
// Put Back replaces the live database the way Restore does, through
// SetAside (setaside.h): the live database gets a second name first, the
// copy's data is written to a temporary file, flushed and renamed over
// the live name, so the live database is whole, old or new, at every
// instant, and the old data is kept as the next numbered copy.
#include "catalogue/form1.h"
#include "common/parsedir.h"
#include "common/procedure.h"
#include "operations/previous_versions.h"
#include "operations/setaside.h"

namespace operations {

using common::Flow;
using common::Resume;

namespace {

std::string PutBackWarning(const std::string& copy, const std::string& live) {
    return "Warning: You are about to put back the previous version " + copy + " as your live database " + live +
           ".  The data currently in it will be kept as the next numbered copy.  Do you want to continue?";
}

std::string TrashWarning(const std::string& copy) {
    return "Warning: You are about to move the previous version " + copy + " to the Trash.  Do you want to continue?";
}

}  // namespace

Result PutBack(common::Services& sys, const std::string& LivePath, const std::string& CopyPath,
               const Then& then) {
    std::string name;
    // As in Restore: error 70 is a file in use, which the user may retry;
    // anything else, or Cancel, ends the command with the old data at the
    // live path, and says why.
    Replacing run(sys, "Unable to restore file: ", "Restore Failed");
    run.For(LivePath);

    common::Procedure proc([&](const vb::Error& e, int line) { return run.Fail(e, line); });
    proc.Line(10, [&] { name = common::ParseDir(sys, CopyPath, "filename"); });
    proc.Line(20, [&] { return run.Consent(PutBackWarning(name, LivePath)); });
    // A copy gone since it was listed would leave its name free for the
    // live database's second name, and the live data would be copied onto
    // itself as if it were the copy's.
    proc.Line(30, [&] {
        if (sys.files.Dir(CopyPath).empty()) throw vb::FileNotFound();
    });
    proc.Line(40, [&] { run.Keep(LivePath); });
    proc.Line(50, [&] { return run.CopyOver(CopyPath); });
    proc.Line(60, [&] { run.Tell("File was Restored", kRestoredTitle); });
    proc.Line(70, [&] {
        if (then) then();
    });
    proc.Run();
    return run.Finish();
}

bool PutBack(catalogue::Form1& form, const std::string& LivePath, const std::string& CopyPath) {
    return PutBack(form.sys, LivePath, CopyPath, [&form] { catalogue::Form_Load(form); }).ending ==
           Result::Ending::Done;
}

bool MoveVersionToTrash(common::Services& sys, const std::string& CopyPath) {
    std::string name;
    bool moved = false;

    common::Procedure proc([&](const vb::Error& e, int) {
        sys.msgbox.Show("Unable to move file to the Trash: " + e.Description(), ports::vbOKOnly,
                        "Move to Trash Failed");
        return Resume::Leave;
    });
    proc.Line(10, [&] { name = common::ParseDir(sys, CopyPath, "filename"); });
    proc.Line(20, [&] {
        const int answer = sys.msgbox.Show(TrashWarning(name), ports::vbYesNo, "Move to Trash");
        return answer == ports::vbYes ? Flow::Next() : Flow::Leave();
    });
    proc.Line(30, [&] {
        sys.files.MoveToTrash(CopyPath);
        moved = true;
    });
    proc.Run();
    return moved;
}

}  // namespace operations
