// What the selected row means for the two commands: Restore acts on a backup
// row, Create Blank on a "(Current)" row. lvFiles_Click is the only code that
// changes their enabled flags; the window runs it on every change of the
// selected row, by mouse or keyboard, and discovery runs it at its end.
#include "catalogue/form1.h"
#include "catalogue/paths.h"
#include "common/procedure.h"

namespace catalogue {

using common::Flow;

int SelectedItem(Form1& form) {
    const int index = form.lvFiles.SelectedIndex();
    if (index == 0) throw vb::ObjectNotSet();
    return index;
}

void lvFiles_Click(Form1& form) {
    std::string path;
    std::string label;

    common::Procedure proc(form.sys, "lvFiles_Click", "Form1");
    // No row selected (an empty catalogue): neither command has anything to
    // act on, so both are disabled; this is not an error.
    proc.Line(30, [&] { return form.lvFiles.SelectedIndex() == 0 ? Flow::Goto(170) : Flow::Next(); });
    proc.IgnoreTo(170);
    proc.Line(40, [&] { path = form.lvFiles.Tag(SelectedItem(form)); });
    proc.Line(60, [&] { label = form.lvFiles.ItemText(SelectedItem(form)); });
    proc.Line(70, [&] { return path.empty() ? Flow::Leave() : Flow::Next(); });
    proc.Line(100, [&] { return label == kCurrentCaption ? Flow::Next() : Flow::Goto(140); });
    proc.Line(110, [&] { form.cmdRestore.SetEnabled(false); });
    proc.Line(120, [&] {
        form.cmdMakeBlank.SetEnabled(true);
        return Flow::Leave();
    });
    proc.IgnoreToEnd();
    proc.Line(140, [&] { form.cmdRestore.SetEnabled(true); });
    proc.Line(150, [&] {
        form.cmdMakeBlank.SetEnabled(false);
        return Flow::Leave();
    });
    proc.IgnoreToEnd();
    proc.Line(170, [&] { form.cmdRestore.SetEnabled(false); });
    proc.Line(180, [&] { form.cmdMakeBlank.SetEnabled(false); });
    proc.Run();
}

void cmdCancel_Click(Form1& form) {
    common::Procedure proc(form.sys, "cmdCancel_Click", "Form1");
    proc.Line(40, [&] { form.sys.process.End(); });
    proc.Run();
}

}  // namespace catalogue
