// The catalogue rows: LoadListView adds one row per existing database file,
// with its record count (GetRecordCount) and file date; the row's Tag keeps
// the file's full path for the commands.
#include <memory>
#include <optional>

#include "catalogue/catalogue.h"
#include "catalogue/form1.h"
#include "catalogue/paths.h"
#include "common/procedure.h"
#include "common/vbvalue.h"

namespace catalogue {

using common::Flow;

void LoadListView(Form1& form, const std::string& Caption, const std::string& FileName,
                  const std::string& Version) {
    ports::ListView& lv = form.lvFiles;
    common::Procedure proc(form.sys, "LoadListView", "Form1");
    proc.Line(40, [&] { return form.sys.files.Dir(FileName).empty() ? Flow::Leave() : Flow::Next(); });
    proc.Line(50, [&] { lv.AddItem(Caption); });
    // Each line looks the row just added up afresh: the last one.
    proc.Line(60, [&] { lv.SetSubItem(lv.ItemCount(), 1, Version); });
    proc.Line(70, [&] {
        const std::string count = std::to_string(GetRecordCount(form, FileName));
        lv.SetSubItem(lv.ItemCount(), 2, count);
    });
    proc.Line(80, [&] {
        const std::string date = form.sys.locale.GeneralDate(form.sys.files.FileDateTime(FileName));
        lv.SetSubItem(lv.ItemCount(), 3, date);
    });
    proc.Line(90, [&] { lv.SetTag(lv.ItemCount(), FileName); });
    proc.Run();
}

namespace {

// GetRecordCount's lines: the rows of table roof in the database at
// FileName, set in records once read (0 when the query gives no row). A
// failing line goes to handler.
void CountLines(common::Services& sys, const std::string& FileName, common::Handler handler,
                std::optional<int32_t>& records) {
    std::string sql;
    std::unique_ptr<ports::Database> db;
    std::unique_ptr<ports::Recordset> rs;

    // A line that uses a database or result that was never opened (because
    // its opening line failed and was ignored) fails as Visual Basic does.
    auto database = [&]() -> ports::Database& {
        if (!db) throw vb::ObjectNotSet();
        return *db;
    };
    auto result = [&]() -> ports::Recordset& {
        if (!rs) throw vb::ObjectNotSet();
        return *rs;
    };

    common::Procedure proc(std::move(handler));
    proc.Line(40, [&] { records.reset(); });
    proc.Line(50, [&] { db = sys.DBEngine().OpenDatabase(FileName); });
    proc.Line(60, [&] { sql = kCountQuery; });
    proc.Line(70, [&] { rs = database().OpenRecordset(sql, ports::dbOpenDynaset); });
    proc.Line(80, [&] {
        if (!result().IsEOF()) return Flow::Next();
        records = 0;
        return Flow::Goto(110);
    });
    proc.Line(90, [&] { records = common::CLng(result().Field("Counter")); });
    proc.Line(110, [&] { result().Close(); });
    proc.Line(120, [&] { database().Close(); });
    proc.Line(130, [&] { db.reset(); });
    proc.Line(140, [&] { rs.reset(); });
    proc.Run();
}

}  // namespace

int32_t GetRecordCount(Form1& form, const std::string& FileName) {
    std::optional<int32_t> records;
    CountLines(form.sys, FileName, common::ReportTo(form.sys, "GetRecordCount", "Form1"), records);
    return records.value_or(0);
}

Count CountRecords(common::Services& sys, const std::string& FileName) {
    Count count;
    // A file that cannot be read is a fact about the file, kept with its
    // row: the handler keeps the error and leaves without a report. Once
    // the count is read, a failure to close does not take it back.
    CountLines(
        sys, FileName,
        [&count](const vb::Error& e, int) {
            if (!count.records) count.error = e;
            return common::Resume::Leave;
        },
        count.records);
    return count;
}

}  // namespace catalogue
