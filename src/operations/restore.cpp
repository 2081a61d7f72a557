// Restore: copies the selected backup over the live database of its edition,
// after setting the live database aside as a numbered copy, then rebuilds
// the catalogue. A file held open brings up the file-in-use dialog; any
// other failure leaves the old data at the live path and says why.
#include <memory>

#include "catalogue/paths.h"
#include "common/procedure.h"
#include "common/shellfolders.h"
#include "common/vbvalue.h"
#include "operations/commands.h"
#include "operations/setaside.h"

namespace operations {

using common::Flow;
using common::Resume;

namespace {

constexpr const char* kRestoreWarning =
    "Warning: You are about to restore a backup of your data.  The data currently in Rolvane will "
    "be replaced with this backup file.  Do you want to continue?";

// Option 12 names the folder of the Business live database; the file name
// is joined with one separator, so that the restore writes exactly the file
// the catalogue lists (it appends "\bsrv.mdb"). Only a closing "\" stands
// for that separator: the folder part of a path ends at its last "\", so a
// value ending in "/" still needs one for the numbered copy to land beside
// the live database.
std::string JoinOption12(const std::string& folder) {
    return folder + (folder.back() == '\\' ? "" : "\\") + "bsrv.mdb";
}

}  // namespace

void cmdRestore_Click(catalogue::Form1& form) {
    common::Services& sys = form.sys;
    std::string source;
    std::string edition;
    std::string destination;
    std::string optionsPath;
    std::string sql;
    std::unique_ptr<ports::Database> db;
    std::unique_ptr<ports::Recordset> rs;
    SetAside live(form);

    auto option12 = [&] {
        if (!rs) throw vb::ObjectNotSet();
        return common::TextOf(rs->Field("Option"));
    };

    // Error 70 is a file in use: ask, and retry the statement as often as the
    // user likes. Anything else, or Cancel, ends the command with the old
    // data at the live path.
    common::Procedure proc([&](const vb::Error& e, int) {
        return EndOrRetry(form, live, e, "Unable to restore file: ", "Restore Failed");
    });
    // Only Yes goes ahead: No, Esc and the close box end the command.
    proc.Line(10, [&] {
        const int answer = sys.msgbox.Show(kRestoreWarning, ports::vbYesNo, kWarningTitle);
        return answer == ports::vbYes ? Flow::Next() : Flow::Leave();
    });
    proc.Line(40, [&] { source = form.lvFiles.Tag(catalogue::SelectedItem(form)); });
    proc.Line(50, [&] { edition = form.lvFiles.SubItem(catalogue::SelectedItem(form), 1); });
    proc.Line(60, [&] { return edition == catalogue::kBusiness ? Flow::Next() : Flow::Goto(190); });

    // Business: the live database's folder comes from option 12.
    proc.Line(70, [&] { optionsPath = catalogue::OptionDatabasePath(common::GetSpecialFolder(sys, ports::CSIDL_PERSONAL)); });
    proc.Line(80, [&] { db = sys.DBEngine().OpenDatabase(optionsPath); });
    proc.Line(90, [&] { sql = catalogue::kOption12Query; });
    proc.Line(100, [&] {
        if (!db) throw vb::ObjectNotSet();
        rs = db->OpenRecordset(sql, ports::dbOpenDynaset);
    });
    proc.Line(110, [&] {
        if (!rs) throw vb::ObjectNotSet();
        return !rs->IsEOF() && !common::Trim(option12()).empty() ? Flow::Next() : Flow::Goto(130);
    });
    proc.Line(120, [&] {
        destination = JoinOption12(option12());
        return Flow::Goto(140);
    });
    proc.IgnoreTo(140);
    proc.Line(130, [&] {
        destination = catalogue::BusinessFirstDefaultPath(common::GetSpecialFolder(sys, ports::CSIDL_PERSONAL));
    });
    proc.Line(140, [&] {
        if (!rs) throw vb::ObjectNotSet();
        rs->Close();
    });
    proc.Line(150, [&] {
        if (!db) throw vb::ObjectNotSet();
        db->Close();
    });
    proc.Line(160, [&] { db.reset(); });
    proc.Line(170, [&] {
        rs.reset();
        return Flow::Goto(210);
    });
    proc.IgnoreTo(210);

    // Any other edition label: the Personal live database.
    proc.Line(190, [&] {
        destination = catalogue::PersonalLivePath(common::GetSpecialFolder(sys, ports::CSIDL_PERSONAL));
    });

    proc.Line(210, [&] { live.Rename(destination); });
    // The user did not let the live database move: ended as on No.
    proc.Line(220, [&] { return live.CopyOver(source) ? Flow::Next() : Flow::Leave(); });
    proc.Line(230, [&] { sys.msgbox.Show("File was Restored", ports::vbOKOnly, kRestoredTitle); });
    proc.Line(240, [&] { catalogue::Form_Load(form); });
    proc.Run();
}

}  // namespace operations
