// The Jet database engine as the procedures use it: one DBEngine per
// process, OpenDatabase, OpenRecordset with a SELECT, IsEOF (EOF), Fields(name).Value
// and Close. Databases are opened read-only.
// In production: LibmdbEngine (jet/libmdb_engine.h), which reads every file
// in one long-lived, sandboxed, resource-limited child process (jet/reader/),
// replaced whenever a file makes it fail, so that a damaged file can never
// crash, hang or exhaust the utility.
// In tests: FakeDBEngine (tests/fakes/fakes.h), databases as tables in memory
// that can be told to fail.
//
// Failures throw vb::Error with DAO numbers: 3024 file not found, 3343
// unrecognized format (not Jet, damaged), 3051 cannot open (permissions),
// 3078 no such table, 3265 no such field, 3021 no current record,
// 3420 object used after Close, 3131 syntax error in the query, 3035 a
// value a WHERE compares larger than the reader may hold (a value read is
// never too large: a long one comes in pieces).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ports/value.h"
#include "vb/error.h"

namespace ports {

inline constexpr int dbOpenDynaset = 2;

// A column's type, as Jet numbers its types.
enum class ColumnType : uint8_t {
    YesNo = 1, Byte = 2, Integer = 3, Long = 4, Currency = 5, Single = 6, Double = 7, DateTime = 8,
    Binary = 9, Text = 10, OLE = 11, Memo = 12, ReplicationID = 15, Decimal = 16, Other = 255,
};

struct ColumnInfo {
    std::string name;
    ColumnType type = ColumnType::Other;
    bool operator==(const ColumnInfo&) const = default;
};

// The records of one table, read in order, every column whole. Values by
// column type: Yes/No a YesNo (never Null); Byte, Integer, Long an int64_t;
// Currency a Currency; Single, Double and Decimal a double; DateTime a
// vb::DateTime (to the second); Text and Memo UTF-8 text; Binary and OLE
// Object their Bytes; ReplicationID its text form; any other type Null.
class RowStream {
public:
    virtual ~RowStream() = default;
    // The table's columns, in table order.
    virtual const std::vector<ColumnInfo>& Columns() const = 0;
    // The names of the columns of the table's primary key, in key order;
    // empty when the table has none.
    virtual const std::vector<std::string>& PrimaryKey() const = 0;
    // How many records the table's definition says it holds (as Jet's and
    // mdb-count's count(*) gives): a reading that gives another number
    // lost records to damage or met rows the count does not know.
    // Unknown (nullopt) where an implementation keeps no such count.
    virtual std::optional<uint64_t> StoredCount() const { return std::nullopt; }
    // The next record, one value per column, into `row`; false after the
    // last. Only false says that every record has been given: a table that
    // cannot be read to its end throws vb::Error (3343 for a damaged file or
    // a reader that failed, 3035 for a row larger than an answer may
    // hold whatever its long values), and so does every call after that.
    virtual bool Next(std::vector<Value>& row) = 0;
};

class Recordset {
public:
    virtual ~Recordset() = default;
    // EOF (named so because EOF is a macro of the C library): no current row.
    virtual bool IsEOF() = 0;
    virtual void MoveNext() = 0;
    // The value of the named field in the current row; names match without
    // regard to case. 3265 unknown name, 3021 at EOF, 3420 after Close.
    virtual Value Field(const std::string& Name) = 0;
    virtual void Close() = 0;
    // The field names in SELECT-list order (for tools that print a result);
    // empty when an implementation does not know them.
    virtual std::vector<std::string> Names() { return {}; }
};

class Database {
public:
    virtual ~Database() = default;
    virtual std::unique_ptr<Recordset> OpenRecordset(const std::string& Query, int Type) = 0;
    virtual void Close() = 0;

    // Every record of table `Name` (names match without regard to case;
    // 3078 when there is none). A stream is read through its engine: it
    // ends (its next Next throws 3420) when the database is closed or when
    // anything else is read through the same engine, so a reader of many
    // databases at once uses an engine for each. An implementation without
    // streams says 3251, Operation is not supported for this type of object.
    virtual std::unique_ptr<RowStream> OpenTable(const std::string& Name);
    // As OpenTable, but only the records in which a Text or Memo column
    // contains `Text`, compared without regard to case as names are
    // (vb/casefold.h); an empty text matches every record.
    virtual std::unique_ptr<RowStream> FindRecords(const std::string& Name, const std::string& Text);
};

inline std::unique_ptr<RowStream> Database::OpenTable(const std::string&) {
    throw vb::Error(3251, "Operation is not supported for this type of object.");
}
inline std::unique_ptr<RowStream> Database::FindRecords(const std::string&, const std::string&) {
    throw vb::Error(3251, "Operation is not supported for this type of object.");
}

class DBEngine {
public:
    virtual ~DBEngine() = default;
    // Path as the procedures hold it (Windows form), mapped to the host.
    virtual std::unique_ptr<Database> OpenDatabase(const std::string& Path) = 0;
};

}  // namespace ports
