// Form_Load: the discovery. Empties the catalogue and fills it from what is
// on disk: the Business edition when its option database exists (the live
// database through option 12, then backup slots 1 to 5), and the Personal
// edition always (the live database, then backup slots 1 to 5).
#include <memory>

#include "catalogue/form1.h"
#include "catalogue/paths.h"
#include "common/procedure.h"
#include "common/shellfolders.h"
#include "common/vbvalue.h"

namespace catalogue {

using common::Flow;
using common::GetSpecialFolder;
using ports::CSIDL_APPDATA;
using ports::CSIDL_PERSONAL;

void Form_Load(Form1& form) {
    common::Services& sys = form.sys;
    std::string path;
    std::string sql;
    int slot = 0;
    // The option database and its result stay open until the run ends.
    std::unique_ptr<ports::Database> db;
    std::unique_ptr<ports::Recordset> rs;

    auto option12 = [&] {
        if (!rs) throw vb::ObjectNotSet();
        return rs->Field("Option");
    };
    // Each column header is added once: a later run finds it present.
    auto header = [&](int position, const char* text) {
        if (form.lvFiles.ColumnHeaderCount() < position) form.lvFiles.AddColumnHeader(text);
    };

    common::Procedure proc(sys, "Form_Load", "Form1");
    proc.Line(40, [&] { form.lvFiles.ClearItems(); });
    proc.Line(50, [&] { header(1, "Database"); });
    proc.Line(60, [&] { header(2, "Version"); });
    proc.Line(70, [&] { header(3, "Records"); });
    proc.Line(80, [&] { header(4, "FileDate"); });

    // Business, only when its option database exists.
    proc.Line(90, [&] { path = OptionDatabasePath(GetSpecialFolder(sys, CSIDL_PERSONAL)); });
    proc.Line(100, [&] { return sys.files.Dir(path).empty() ? Flow::Goto(340) : Flow::Next(); });
    proc.Line(110, [&] { db = sys.DBEngine().OpenDatabase(path); });
    proc.Line(120, [&] { sql = kOption12Query; });
    proc.Line(130, [&] {
        if (!db) throw vb::ObjectNotSet();
        rs = db->OpenRecordset(sql, ports::dbOpenDynaset);
    });
    proc.Line(140, [&] {
        if (!rs) throw vb::ObjectNotSet();
        return rs->IsEOF() ? Flow::Goto(180) : Flow::Next();
    });
    proc.Line(150, [&] {
        return common::Trim(common::TextOf(option12())).empty() ? Flow::Goto(180) : Flow::Next();
    });
    // The value as stored, not trimmed: leading spaces are part of the folder.
    proc.Line(160, [&] {
        path = common::TextOf(option12()) + "\\bsrv.mdb";
        return Flow::Goto(210);
    });
    proc.IgnoreTo(210);
    proc.Line(180, [&] { path = BusinessFirstDefaultPath(GetSpecialFolder(sys, CSIDL_PERSONAL)); });
    proc.Line(210, [&] { return sys.files.Dir(path).empty() ? Flow::Next() : Flow::Goto(240); });
    proc.Line(220, [&] { path = BusinessSecondDefaultPath(GetSpecialFolder(sys, CSIDL_PERSONAL)); });
    proc.Line(240, [&] { return sys.files.Dir(path).empty() ? Flow::Next() : Flow::Goto(270); });
    proc.Line(250, [&] {
        sys.msgbox.Show("Unable to locate main database: " + path, ports::vbOKOnly, "");
        return Flow::Goto(290);
    });
    proc.IgnoreTo(290);
    proc.Line(270, [&] { LoadListView(form, kCurrentCaption, path, kBusiness); });
    proc.Line(290, [&] { slot = 1; });
    proc.Line(300, [&] { path = BusinessBackupPath(GetSpecialFolder(sys, CSIDL_APPDATA), slot); });
    proc.Line(310, [&] { LoadListView(form, "Backup " + std::to_string(slot), path, kBusiness); });
    proc.Line(320, [&] { return ++slot <= 5 ? Flow::Goto(300) : Flow::Next(); });

    // Personal, always.
    proc.Line(340, [&] { path = PersonalLivePath(GetSpecialFolder(sys, CSIDL_PERSONAL)); });
    proc.Line(350, [&] { LoadListView(form, kCurrentCaption, path, kPersonal); });
    proc.Line(360, [&] { slot = 1; });
    proc.Line(370, [&] { path = PersonalBackupPath(GetSpecialFolder(sys, CSIDL_APPDATA), slot); });
    proc.Line(380, [&] { LoadListView(form, "Backup " + std::to_string(slot), path, kPersonal); });
    proc.Line(390, [&] { return ++slot <= 5 ? Flow::Goto(370) : Flow::Next(); });

    proc.Line(400, [&] { common::lvAutosizeControl(sys, form.lvFiles); });
    proc.Line(410, [&] { lvFiles_Click(form); });
    proc.Run();
}

}  // namespace catalogue
