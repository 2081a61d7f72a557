// The catalogue as values, and the one discovery that fills either it or
// the window's list.
//
// Discover runs Form_Load's lines: the path table, option 12, the order of
// the rows. Where it puts what it finds is a Shelf: the window's shelf is
// its list view (Form_Load, with LoadListView and GetRecordCount and their
// error reports); ReadCatalogue's shelf is a vector of rows, each counted
// without a report, so that a file that cannot be read is a row that says
// why rather than a question to answer. The command line prints that.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/procedure.h"
#include "common/services.h"
#include "vb/datetime.h"
#include "vb/error.h"

namespace catalogue {

// One row of the catalogue, as the window's list shows it.
struct Row {
    std::string caption;                   // "(Current)", "Backup 2"
    std::string edition;                   // "Business", "Personal"
    std::optional<int32_t> records;        // rows of roof; none when they could not be counted
    std::optional<vb::Error> error;        // what kept them from being counted
    std::optional<vb::DateTime> modified;  // none when the file's date could not be read
    std::string path;                      // the file, as the procedures hold paths
};

// A failure of one of discovery's own lines, passed over as Ignore passes
// over it in the window.
struct Note {
    int line;
    vb::Error error;
};

struct Catalogue {
    std::vector<Row> rows;
    std::vector<Note> notes;
};

// Where one run of discovery puts what it finds, line by line.
class Shelf {
public:
    virtual ~Shelf() = default;
    virtual void Clear() = 0;                                       // line 40
    virtual void Header(int Position, const std::string& Text) = 0;  // lines 50 to 80
    // Every candidate: a row for it when a file exists at FileName.
    virtual void Load(const std::string& Caption, const std::string& FileName, const std::string& Version) = 0;
    virtual void Autosize() = 0;  // line 400
    virtual void Follow() = 0;    // line 410: the selection follows the first row
};

// Form_Load's lines onto shelf; a failure of one of them goes to handler.
void Discover(common::Services& sys, Shelf& shelf, const common::Handler& handler);

// Every row the window shows once its error reports are answered with
// Ignore; one discovery. Count: each file counted as GetRecordCount counts
// it; Skip: the rows alone (what a command needs), no file opened.
enum class Counting { Count, Skip };
Catalogue ReadCatalogue(common::Services& sys, Counting counting = Counting::Count);

// What counting a file's records gave: the count, or the first error that
// kept it from being read (the rest follow from it).
struct Count {
    std::optional<int32_t> records;
    std::optional<vb::Error> error;
};

// The records of table roof in the database at FileName, counted by
// GetRecordCount's lines, without a report. The one way records are
// counted: the window's rows (GetRecordCount), the command line's listings,
// Previous Versions and Put Back all count through these lines.
Count CountRecords(common::Services& sys, const std::string& FileName);

// The records column of a file whose records cannot be counted.
inline constexpr const char* kCannotBeRead = "cannot be read";

// The row with this caption and edition label; nullptr when there is none.
const Row* FindRow(const Catalogue& catalogue, const std::string& Caption, const std::string& Edition);

}  // namespace catalogue
