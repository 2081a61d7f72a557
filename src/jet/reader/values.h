// Values as the reader sends them: a field of a row that libmdb has cracked,
// turned into one of the protocol's kinds (reader_protocol.h), and compared
// with a WHERE literal as Jet compares.
#pragma once

// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <mdbtools.h>

#include <cstdint>
#include <string>

#include "jet/query.h"
#include "jet/reader/output.h"
#include "jet/reader/page_checks.h"
#include "jet/reader_protocol.h"

namespace jet::reader {

struct Value {
    Kind kind = Kind::Null;
    int64_t i = 0;
    double d = 0;
    std::string text;
    int date[6] = {};
    // A Text or Bytes value sent in 'V' frames under `slot` (its column):
    // `i` is how many bytes they carried, and `text` is empty.
    bool pieces = false;
    uint32_t slot = 0;
};

// A Replication ID (GUID) as Windows writes one: {8-4-4-4-12} hexadecimal
// digits in capitals.
std::string GuidText(const unsigned char* bytes16);

// Jet stores a date as days since 1899-12-30 with the time as the fraction;
// for days before that the fraction still counts forward from midnight.
void JetDate(double v, Value& out);

// A long value (Memo, OLE Object) longer than this, as stored, is sent in
// pieces of about this size where the source has somewhere to send them.
inline constexpr size_t kPieceBytes = 32 * 1024;
// A search that reads a long value says so every this many bytes ('P').
inline constexpr uint32_t kProgressBytes = 4u << 20;

// What a row's values are read from: libmdb's current page, and the file
// itself for long values kept on long-value pages. `budget` is how many
// bytes of such values the row may still hold whole (the reader's memory
// cap and the answer's room for a row set it). A longer value, or one of
// more than kPieceBytes, goes to `pieces` in 'V' frames, a piece at a time,
// under the number `slot` (the caller's column number); without `pieces` it
// fails the query with 3035. `exact` gives Yes/No, Currency and the bytes
// of Binary and OLE columns their own kinds, as a table's stream sends
// them; a query sends numbers and text.
struct ValueSource {
    MdbHandle* mdb;
    const RawFile& file;
    size_t budget;
    bool exact = false;
    Output* pieces = nullptr;
    uint32_t slot = 0;
    uint64_t piecesSent = 0;  // bytes sent in pieces so far
};

// The value of `field` of column `col`, whole: a value that cannot be read
// in full fails the query, never gives a shorter one.
Value Convert(ValueSource& source, const MdbColumn& col, const MdbField& field);

// Appends `v` to a row frame's payload (a value sent in pieces as its kind
// TextPieces or BytesPieces, its slot and its length).
void PutValue(std::string& out, const Value& v);

// Whether `v` equals the literal of a WHERE; text without regard to case,
// as names are compared (vb/casefold.h).
// A literal of another type than the column's is 3464.
bool Matches(const Value& v, const jet::Literal& lit);

}  // namespace jet::reader
