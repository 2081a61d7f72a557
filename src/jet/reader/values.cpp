#include "jet/reader/values.h"

#include <glib.h>

#include <charconv>
#include <cmath>
#include <cstring>

#include "jet/reader/failure.h"
#include "jet/reader/long_values.h"
#include "vb/casefold.h"

namespace jet::reader {

namespace {

// A Single as the Double that its shortest decimal form reads as (0.1 for
// the Single 0.1, not 0.100000001490116): the digits Jet shows for it.
double SingleAsDouble(float f) {
    if (!std::isfinite(f)) return f;
    char text[32];
    auto written = std::to_chars(text, text + sizeof text, f);
    double d = f;
    std::from_chars(text, written.ptr, d);
    return d;
}

// Sends the long value `value` in 'V' frames of about kPieceBytes each
// (text converted as it goes), so that the reader holds a piece of it at a
// time, never the whole.
Value SendInPieces(ValueSource& source, LongValue& value, bool text) {
    JetTextParts convert(source.mdb);
    std::string stored, piece;
    uint64_t total = 0;
    bool more = true;
    while (more) {
        std::string_view part;
        more = value.Next(part);
        stored.append(part);
        if (more && stored.size() < kPieceBytes) continue;
        piece.clear();
        PutU32(piece, source.slot);
        if (text) convert.Add(stored, !more, piece);
        else piece += stored;
        stored.clear();
        if (piece.size() > 4) source.pieces->Frame('V', piece);
        total += piece.size() - 4;
    }
    source.piecesSent += total;
    Value v;
    v.kind = text ? Kind::Text : Kind::Bytes;
    v.pieces = true;
    v.slot = source.slot;
    v.i = static_cast<int64_t>(total);
    return v;
}

// A Memo (as text) or OLE Object (as bytes): whole when it fits the row's
// budget, else in pieces where the source takes them, else 3035.
Value LongColumn(ValueSource& source, const unsigned char* page, int start, int size, bool text) {
    LongValue value(source.file, *source.mdb->fmt, page, start, size);
    if (source.pieces && (value.Length() > kPieceBytes || value.Length() > source.budget))
        return SendInPieces(source, value, text);
    if (value.Length() > source.budget) throw Failure{kSystemResourceExceeded, "System resource exceeded."};
    std::string bytes = value.Rest();
    source.budget -= bytes.size();
    Value v;
    v.kind = text ? Kind::Text : Kind::Bytes;
    v.text = text ? JetText(source.mdb, bytes.data(), bytes.size()) : std::move(bytes);
    return v;
}

}  // namespace

std::string GuidText(const unsigned char* b) {
    // The first three fields are little-endian numbers, the last two bytes
    // as stored: {00112233-4455-6677-8899-AABBCCDDEEFF}.
    static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    static const char kHex[] = "0123456789ABCDEF";
    std::string text = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += kHex[b[kOrder[i]] >> 4];
        text += kHex[b[kOrder[i]] & 0x0F];
    }
    return text + "}";
}

void JetDate(double v, Value& out) {
    if (!std::isfinite(v) || v < -657434.0 || v >= 2958466.0) Damaged("date out of range");
    double whole = std::trunc(v);
    long secs = std::lround(std::fabs(v - whole) * 86400.0);
    long long days = static_cast<long long>(whole);
    if (secs >= 86400) {
        secs -= 86400;
        ++days;
    }
    // Civil date from a day count (1970-01-01 = 0), proleptic Gregorian.
    long long z = days - 25569 + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long d = doy - (153 * mp + 2) / 5 + 1;
    long long m = mp < 10 ? mp + 3 : mp - 9;
    out.kind = Kind::Date;
    out.date[0] = static_cast<int>(y + (m <= 2));
    out.date[1] = static_cast<int>(m);
    out.date[2] = static_cast<int>(d);
    out.date[3] = static_cast<int>(secs / 3600);
    out.date[4] = static_cast<int>(secs / 60 % 60);
    out.date[5] = static_cast<int>(secs % 60);
}

Value Convert(ValueSource& source, const MdbColumn& col, const MdbField& field) {
    MdbHandle* mdb = source.mdb;
    Value v;
    if (col.col_type == MDB_BOOL) {  // the null bit holds the value
        v.kind = source.exact ? Kind::YesNo : Kind::Int;
        v.i = field.is_null ? 0 : source.exact ? 1 : -1;
        return v;
    }
    if (field.is_null) return v;
    const unsigned char* buf = mdb->pg_buf;
    int start = field.start, size = field.siz;
    if (start < 0 || size < 0 || start + size > mdb->fmt->pg_size) Damaged("value lies outside its page");
    auto need = [&](int n) {
        if (size < n) Damaged("value shorter than its type");
    };
    switch (col.col_type) {
    case MDB_BYTE: need(1); v.kind = Kind::Int; v.i = buf[start]; break;
    case MDB_INT: need(2); v.kind = Kind::Int; v.i = static_cast<int16_t>(mdb_get_int16(const_cast<unsigned char*>(buf), start)); break;
    case MDB_LONGINT: need(4); v.kind = Kind::Int; v.i = static_cast<int32_t>(mdb_get_int32(const_cast<unsigned char*>(buf), start)); break;
    case MDB_MONEY: {
        need(8);
        int64_t scaled;
        memcpy(&scaled, buf + start, 8);
        v.kind = source.exact ? Kind::Currency : Kind::Double;
        v.i = scaled;
        v.d = static_cast<double>(scaled) / 10000.0;
        break;
    }
    case MDB_FLOAT: need(4); v.kind = Kind::Double; v.d = SingleAsDouble(mdb_get_single(const_cast<unsigned char*>(buf), start)); break;
    case MDB_DOUBLE: need(8); v.kind = Kind::Double; v.d = mdb_get_double(const_cast<unsigned char*>(buf), start); break;
    case MDB_DATETIME: need(8); JetDate(mdb_get_double(const_cast<unsigned char*>(buf), start), v); break;
    case MDB_NUMERIC: {
        need(17);
        char* s = mdb_numeric_to_string(mdb, start, col.col_scale, col.col_prec);
        v.kind = Kind::Double;
        v.d = s ? g_ascii_strtod(s, nullptr) : 0;
        g_free(s);
        break;
    }
    case MDB_BINARY:
        v.kind = source.exact ? Kind::Bytes : Kind::Text;
        v.text.assign(reinterpret_cast<const char*>(buf + start), static_cast<size_t>(size));
        break;
    case MDB_TEXT:
        v.kind = Kind::Text;
        v.text = JetText(mdb, reinterpret_cast<const char*>(buf + start), static_cast<size_t>(size));
        break;
    case MDB_MEMO:
        need(MDB_MEMO_OVERHEAD);
        v = LongColumn(source, buf, start, size, true);
        break;
    case MDB_REPID: {
        need(16);
        v.kind = Kind::Text;
        v.text = GuidText(buf + start);
        break;
    }
    case MDB_OLE: {
        // Stored as a memo is; a query leaves it Null.
        if (!source.exact) break;
        need(MDB_MEMO_OVERHEAD);
        v = LongColumn(source, buf, start, size, false);
        break;
    }
    default:  // complex columns are not read: Null
        break;
    }
    return v;
}

void PutValue(std::string& out, const Value& v) {
    if (v.pieces) {
        out.push_back(static_cast<char>(v.kind == Kind::Text ? Kind::TextPieces : Kind::BytesPieces));
        PutU32(out, v.slot);
        PutU64(out, static_cast<uint64_t>(v.i));
        return;
    }
    out.push_back(static_cast<char>(v.kind));
    switch (v.kind) {
    case Kind::Null: break;
    case Kind::Int: PutU64(out, static_cast<uint64_t>(v.i)); break;
    case Kind::Double: PutU64(out, jet::reader::DoubleBits(v.d)); break;
    case Kind::Text:
    case Kind::Bytes: PutText(out, v.text); break;
    case Kind::Currency: PutU64(out, static_cast<uint64_t>(v.i)); break;
    case Kind::YesNo: out.push_back(v.i ? 1 : 0); break;
    case Kind::Date:
        for (int x : v.date) PutU32(out, static_cast<uint32_t>(x));
        break;
    case Kind::TextPieces:
    case Kind::BytesPieces: break;  // never a Value's own kind
    }
}

bool Matches(const Value& v, const jet::Literal& lit) {
    if (v.kind == Kind::Null) return false;
    if (const auto* text = std::get_if<std::string>(&lit)) {
        if (v.kind != Kind::Text) throw Failure{kTypeMismatch, "Data type mismatch in criteria expression."};
        return vb::EqualsIgnoringCase(v.text, *text);
    }
    double want = std::holds_alternative<int64_t>(lit) ? static_cast<double>(std::get<int64_t>(lit)) : std::get<double>(lit);
    if (v.kind == Kind::Int) {
        if (const auto* i = std::get_if<int64_t>(&lit)) return v.i == *i;
        return static_cast<double>(v.i) == want;
    }
    if (v.kind == Kind::Double) return v.d == want;
    throw Failure{kTypeMismatch, "Data type mismatch in criteria expression."};
}

}  // namespace jet::reader
