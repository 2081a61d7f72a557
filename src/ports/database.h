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
// 3420 object used after Close, 3131 syntax error in the query.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "vb/datetime.h"

namespace ports {

inline constexpr int dbOpenDynaset = 2;

struct Null {
    bool operator==(const Null&) const = default;
};

// A field's value: Null, integer, floating point, text (UTF-8) or date/time.
using Value = std::variant<Null, int64_t, double, std::string, vb::DateTime>;

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
};

class DBEngine {
public:
    virtual ~DBEngine() = default;
    // Path as the procedures hold it (Windows form), mapped to the host.
    virtual std::unique_ptr<Database> OpenDatabase(const std::string& Path) = 0;
};

}  // namespace ports
