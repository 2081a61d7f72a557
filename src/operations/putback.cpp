// Put Back and Move to Trash: what the user does with a numbered copy.
// Put Back replaces the live database the way Restore does, through
// SetAside (setaside.h): the live database gets a second name first, the
// copy's data is written to a temporary file, flushed and renamed over
// the live name, so the live database is whole, old or new, at every
// instant, and the old data is kept as the next numbered copy.
#include "catalogue/catalogue.h"
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
    // A damaged copy is refused before the warning: nothing moves.
    proc.Line(15, [&] { return run.CheckSource(CopyPath, 15); });
    proc.Line(20, [&] { return run.Consent(PutBackWarning(name, sys.paths.Present(LivePath))); });
    // Under the lock from here: the copy is looked at as it is now.
    proc.Line(25, [&] { run.Hold(LivePath); });
    // A copy gone since it was listed would leave its name free for the
    // live database's second name, and the live data would be copied onto
    // itself as if it were the copy's.
    proc.Line(30, [&] {
        if (sys.files.Dir(CopyPath).empty()) throw vb::FileNotFound();
    });
    // A copy the database reader cannot read would be a damaged live
    // database: refused, as it is now, before anything moves.
    proc.Line(35, [&] {
        const catalogue::Count count = catalogue::CountRecords(sys, CopyPath);
        if (count.records) return Flow::Next();
        const vb::Error why = count.error ? *count.error : vb::PathFileAccessError();
        run.Refuse(why, 35, "Unable to restore file: " + name + " " + catalogue::kCannotBeRead + ": " + why.Description(),
                   "Restore Failed");
        return Flow::Leave();
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

bool MoveVersionToTrash(common::Services& sys, const std::string& LivePath, const std::string& CopyPath) {
    std::string name;
    bool moved = false;
    std::unique_ptr<ports::StopSignals::Span> noting;
    std::unique_ptr<ports::FolderLock::Held> held;

    common::Procedure proc([&](const vb::Error& e, int) {
        const std::string prompt = "Unable to move file to the Trash: " + e.Description();
        if (sys.stops.Requested()) sys.msgbox.Notice(prompt, "Move to Trash Failed");
        else sys.msgbox.Show(prompt, ports::vbOKOnly, "Move to Trash Failed");
        return Resume::Leave;
    });
    proc.Line(10, [&] { name = common::ParseDir(sys, CopyPath, "filename"); });
    proc.Line(20, [&] {
        const int answer = sys.msgbox.Show(TrashWarning(name), ports::vbYesNo, "Move to Trash");
        if (answer != ports::vbYes) return Flow::Leave();
        noting = sys.stops.Catch();
        return Flow::Next();
    });
    // One command at a time on the folder, as for Put Back.
    proc.Line(25, [&] { held = TakeLock(sys, LivePath, "Move to Trash"); });
    proc.Line(30, [&] {
        sys.stops.StopPoint();
        sys.files.MoveToTrash(CopyPath);
        moved = true;
    });
    proc.Run();
    held.reset();
    sys.stops.EndIfRequested();
    return moved;
}

}  // namespace operations
