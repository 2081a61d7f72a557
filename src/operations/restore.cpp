// Restore: copies a backup over the live database of its edition, after
// setting the live database aside as a numbered copy; the click handler
// then rebuilds the catalogue (line 240). A file held open brings up the
// file-in-use dialog; any other failure leaves the old data at the live
// path and says why.
#include <memory>

#include "catalogue/paths.h"
#include "common/procedure.h"
#include "common/shellfolders.h"
#include "common/vbvalue.h"
#include "operations/commands.h"
#include "operations/setaside.h"

namespace operations {

using common::Flow;

namespace {

constexpr const char* kRestoreWarning =
    "Warning: You are about to restore a backup of your data.  The data currently in Rolvane will "
    "be replaced with this backup file.  Do you want to continue?";

}  // namespace

RowRef RowRef::Of(std::string path, std::string edition) {
    return {[path = std::move(path)] { return path; }, [edition = std::move(edition)] { return edition; }};
}

RowRef RowRef::Selected(catalogue::Form1& form) {
    return {[&form] { return form.lvFiles.Tag(catalogue::SelectedItem(form)); },
            [&form] { return form.lvFiles.SubItem(catalogue::SelectedItem(form), 1); }};
}

Result Restore(common::Services& sys, const RowRef& Backup, const Then& then) {
    std::string source;
    std::string edition;
    std::string destination;
    std::string optionsPath;
    std::string sql;
    std::unique_ptr<ports::Database> db;
    std::unique_ptr<ports::Recordset> rs;
    Replacing run(sys, "Unable to restore file: ", "Restore Failed");

    auto option12 = [&] {
        if (!rs) throw vb::ObjectNotSet();
        return common::TextOf(rs->Field("Option"));
    };

    common::Procedure proc([&](const vb::Error& e, int line) { return run.Fail(e, line); });
    // A damaged backup is refused before the warning: nothing moves.
    proc.Line(5, [&] { return run.CheckSource(Backup.path(), 5); });
    proc.Line(10, [&] { return run.Consent(kRestoreWarning); });
    proc.Line(40, [&] { source = Backup.path(); });
    proc.Line(50, [&] { edition = Backup.edition(); });
    proc.Line(60, [&] { return edition == catalogue::kBusiness ? Flow::Next() : Flow::Goto(190); });

    // Business: the live database is in the folder option 12 names, with
    // no existence test; else at the first default place.
    proc.Line(70, [&] { optionsPath = catalogue::OptionDatabasePath(common::GetSpecialFolder(sys, ports::CSIDL_PERSONAL)); });
    proc.Line(80, [&] { db = sys.DBEngine().OpenDatabase(optionsPath); });
    proc.Line(90, [&] { sql = catalogue::kOption12Query; });
    proc.Line(100, [&] {
        if (!db) throw vb::ObjectNotSet();
        rs = db->OpenRecordset(sql, ports::dbOpenDynaset);
    });
    proc.Line(110, [&] {
        if (!rs) throw vb::ObjectNotSet();
        return !rs->IsEOF() && catalogue::NamesAFolder(option12()) ? Flow::Next() : Flow::Goto(130);
    });
    proc.Line(120, [&] {
        destination = catalogue::BusinessLiveIn(option12());
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

    proc.Line(210, [&] { run.Keep(destination); });
    proc.Line(220, [&] { return run.CopyOver(source); });
    proc.Line(230, [&] { run.Tell("File was Restored", kRestoredTitle); });
    proc.Line(240, [&] {
        if (then) then();
    });
    proc.Run();
    return run.Finish();
}

void cmdRestore_Click(catalogue::Form1& form) {
    Restore(form.sys, RowRef::Selected(form), [&form] { catalogue::Form_Load(form); });
}

}  // namespace operations
