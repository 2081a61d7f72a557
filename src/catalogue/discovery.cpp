// The discovery. Empties the catalogue and fills it from what is on disk:
// the Business edition when its option database exists (the live database
// through option 12, then backup slots 1 to 5), and the Personal edition
// always (the live database, then backup slots 1 to 5). Form_Load runs it
// onto the window's list, ReadCatalogue onto a vector of rows.
#include <memory>

#include "catalogue/catalogue.h"
#include "catalogue/form1.h"
#include "catalogue/paths.h"
#include "common/parsedir.h"
#include "common/procedure.h"
#include "common/shellfolders.h"
#include "common/vbvalue.h"

namespace catalogue {

using common::Flow;
using common::GetSpecialFolder;
using ports::CSIDL_APPDATA;
using ports::CSIDL_PERSONAL;

void Discover(common::Services& sys, Shelf& shelf, const common::Handler& handler) {
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
    common::Procedure proc(handler);
    proc.Line(40, [&] { shelf.Clear(); });
    proc.Line(50, [&] { shelf.Header(1, "Database"); });
    proc.Line(60, [&] { shelf.Header(2, "Version"); });
    proc.Line(70, [&] { shelf.Header(3, "Records"); });
    proc.Line(80, [&] { shelf.Header(4, "FileDate"); });

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
        return NamesAFolder(common::TextOf(option12())) ? Flow::Next() : Flow::Goto(180);
    });
    // The value as stored, not trimmed: leading spaces are part of the folder.
    proc.Line(160, [&] {
        path = BusinessLiveIn(common::TextOf(option12()));
        return Flow::Goto(210);
    });
    proc.IgnoreTo(210);
    proc.Line(180, [&] { path = BusinessFirstDefaultPath(GetSpecialFolder(sys, CSIDL_PERSONAL)); });
    proc.Line(210, [&] { return sys.files.Dir(path).empty() ? Flow::Next() : Flow::Goto(240); });
    proc.Line(220, [&] { path = BusinessSecondDefaultPath(GetSpecialFolder(sys, CSIDL_PERSONAL)); });
    proc.Line(240, [&] { return sys.files.Dir(path).empty() ? Flow::Next() : Flow::Goto(270); });
    proc.Line(250, [&] {
        sys.msgbox.Show("Unable to locate main database: " + sys.paths.Present(path), ports::vbOKOnly, "");
        return Flow::Goto(290);
    });
    proc.IgnoreTo(290);
    proc.Line(270, [&] { shelf.Load(kCurrentCaption, path, kBusiness); });
    proc.Line(290, [&] { slot = 1; });
    proc.Line(300, [&] { path = BusinessBackupPath(GetSpecialFolder(sys, CSIDL_APPDATA), slot); });
    proc.Line(310, [&] { shelf.Load("Backup " + std::to_string(slot), path, kBusiness); });
    proc.Line(320, [&] { return ++slot <= 5 ? Flow::Goto(300) : Flow::Next(); });

    // Personal, always.
    proc.Line(340, [&] { path = PersonalLivePath(GetSpecialFolder(sys, CSIDL_PERSONAL)); });
    proc.Line(350, [&] { shelf.Load(kCurrentCaption, path, kPersonal); });
    proc.Line(360, [&] { slot = 1; });
    proc.Line(370, [&] { path = PersonalBackupPath(GetSpecialFolder(sys, CSIDL_APPDATA), slot); });
    proc.Line(380, [&] { shelf.Load("Backup " + std::to_string(slot), path, kPersonal); });
    proc.Line(390, [&] { return ++slot <= 5 ? Flow::Goto(370) : Flow::Next(); });

    proc.Line(400, [&] { shelf.Autosize(); });
    proc.Line(410, [&] { shelf.Follow(); });
    proc.Run();
}

namespace {

// The window's list: each candidate through LoadListView, which reports.
class ListShelf : public Shelf {
public:
    explicit ListShelf(Form1& form) : form_(form) {}
    void Clear() override { form_.lvFiles.ClearItems(); }
    // Each column header is added once: a later run finds it present.
    void Header(int Position, const std::string& Text) override {
        if (form_.lvFiles.ColumnHeaderCount() < Position) form_.lvFiles.AddColumnHeader(Text);
    }
    void Load(const std::string& Caption, const std::string& FileName, const std::string& Version) override {
        LoadListView(form_, Caption, FileName, Version);
    }
    void Autosize() override { common::lvAutosizeControl(form_.sys, form_.lvFiles); }
    void Follow() override { lvFiles_Click(form_); }

private:
    Form1& form_;
};

// Rows as values: a file that cannot be counted or dated keeps why.
class RowShelf : public Shelf {
public:
    RowShelf(common::Services& sys, std::vector<Row>& rows, Counting counting)
        : sys_(sys), rows_(rows), counting_(counting) {}
    void Clear() override { rows_.clear(); }
    void Header(int, const std::string&) override {}
    void Load(const std::string& Caption, const std::string& FileName, const std::string& Version) override {
        // Option 12 that could not be read leaves its line's path as it
        // was, the option database's: a live row names bsrv.mdb or nothing,
        // so that no command ever takes the option database for one.
        if (Caption == kCurrentCaption && !IsLiveDatabaseName(common::ParseDir(sys_, FileName, "filename"))) return;
        if (sys_.files.Dir(FileName).empty()) return;
        Row row{Caption, Version, std::nullopt, std::nullopt, std::nullopt, FileName};
        if (counting_ == Counting::Count) {
            Count count = CountRecords(sys_, FileName);
            row.records = count.records;
            row.error = std::move(count.error);
        }
        try {
            row.modified = sys_.files.FileDateTime(FileName);
        } catch (const vb::Error& e) {
            if (!row.error) row.error = e;
        }
        rows_.push_back(std::move(row));
    }
    void Autosize() override {}
    void Follow() override {}

private:
    common::Services& sys_;
    std::vector<Row>& rows_;
    Counting counting_;
};

}  // namespace

void Form_Load(Form1& form) {
    ListShelf shelf(form);
    Discover(form.sys, shelf, common::ReportTo(form.sys, "Form_Load", "Form1"));
}

Catalogue ReadCatalogue(common::Services& sys, Counting counting) {
    Catalogue catalogue;
    RowShelf shelf(sys, catalogue.rows, counting);
    // As Ignore would: the run goes on with the next line. A line that
    // fails only because an earlier one did (a result never opened) adds
    // nothing to what the first failure says.
    Discover(sys, shelf, [&catalogue](const vb::Error& e, int line) {
        if (catalogue.notes.empty() || e.Number() != vb::kObjectNotSet) catalogue.notes.push_back({line, e});
        return common::Resume::Ignore;
    });
    return catalogue;
}

const Row* FindRow(const Catalogue& catalogue, const std::string& Caption, const std::string& Edition) {
    for (const Row& row : catalogue.rows)
        if (row.caption == Caption && row.edition == Edition) return &row;
    return nullptr;
}

}  // namespace catalogue
