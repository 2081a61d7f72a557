// mkmdb: writes Jet 4 (.mdb, 4 KiB pages) databases for tests and tools.
//
// The files hold plain tables (no indexes, no properties, no relationships)
// with Long Integer, Text, DateTime, Memo, Currency, Double, Yes/No and OLE
// Object columns, and may keep the slots of deleted columns as Jet does
// after a change of schema. They are
// meant to be read by libmdb/mdbtools and similar readers; Microsoft Access
// is not a target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace mkmdb {

// A Memo of up to 256 characters stays in its row; a longer one goes to
// long-value pages, on one row up to 2,040 characters, else on a chain. An
// OLE Object's bytes are kept the same way (up to 512 bytes in the row). A
// Yes/No column has no Null: Jet keeps its value in the row's null mask, so
// a Null written to it reads back as No.
enum class ColumnType { Long, Text, DateTime, Memo, Currency, Double, YesNo, Ole };

struct Column {
    std::string name;  // UTF-8, 1..64 characters (all names: characters up to U+FFFF)
    ColumnType type = ColumnType::Long;
    int text_length = 255;  // declared size of a Text column, in characters (1..255)
    // A column deleted from the table: its slot stays in every row and in the
    // definition's counts of columns and variable columns, but it has no
    // entry and no name, so that readers do not show it. Its values are
    // written as given, as rows from before the deletion keep theirs.
    bool deleted = false;
};

// A calendar date and time of day, stored as Jet's day count from 1899-12-30.
struct DateTime {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// A Currency amount times 10,000, as Jet stores it.
struct Currency {
    int64_t scaled = 0;
};

// The bytes of an OLE Object.
struct Bytes {
    std::string data;
};

// std::monostate is Null. Text (Text and Memo columns) is UTF-8; a Double
// column takes a double, a Yes/No column a bool.
using Value = std::variant<std::monostate, int32_t, std::string, DateTime, double, bool, Currency, Bytes>;
using Row = std::vector<Value>;

// Fills `row` (already sized to the column count, deleted columns included,
// and reset to Null) with row i.
using RowGenerator = std::function<void(std::size_t i, Row& row)>;

struct Table {
    std::string name;  // UTF-8, 1..64 characters, unique without regard to case (vb/casefold.h)
    std::vector<Column> columns;
    // Rows come from `generate` when it is set (row_count of them), otherwise from `rows`.
    std::vector<Row> rows;
    std::size_t row_count = 0;
    RowGenerator generate;
};

// Writes a new database at `path` (replacing any file there) holding `tables`
// in the given order. Throws std::runtime_error on invalid input (bad names,
// type mismatches, a row too large for a page, text longer than its column)
// and on I/O errors; a partly written file is removed.
void Write(const std::string& path, const std::vector<Table>& tables);

// Jet's stored form of a DateTime: days since 1899-12-30, time as the fraction.
// Throws std::runtime_error for values outside 0100-01-01 .. 9999-12-31 or invalid fields.
double ToJetDate(const DateTime& dt);

// UTF-8 to UCS-2 code units; throws std::runtime_error on malformed UTF-8 and
// on characters above U+FFFF, which UCS-2 cannot hold.
std::u16string Utf8ToUcs2(const std::string& utf8);

// Applies the RC4 keystream used on the database definition page (key C7 DA 39 6B)
// to `len` bytes; encryption and decryption are the same operation.
void ApplyHeaderCipher(unsigned char* data, std::size_t len);

}  // namespace mkmdb
