// Memo and OLE values and text, whole. A long value in a row is a 12-byte
// header: the value's length in the low 30 bits of the first four bytes,
// with the top two bits saying where the bytes are (0x80: right after the
// header in the row; 0x40: one row of a long-value (LVAL) page, named by
// the next four bytes as page << 8 | row; 0x00: a chain of LVAL rows, each
// beginning with the page and row of the next). libmdb's own reader gives
// up to its bind size (16 KiB) and an empty text when the chain cannot be
// followed; these read every byte the header announces, or fail.
//
// A value is read a part (one LVAL row) at a time, so that one of any
// length Jet allows passes through the reader a piece at a time
// (values.h), and only a short one is ever held whole.
#pragma once

// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <mdbtools.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "jet/reader/page_checks.h"

namespace jet::reader {

// The stored bytes of the long value whose header lies at `start` of `page`
// (the row's data page, `size` bytes of field), part after part. Damaged as
// soon as the header or its chain does not hold what it announces.
class LongValue {
public:
    LongValue(const RawFile& file, const MdbFormatConstants& fmt, const unsigned char* page, int start, int size);
    size_t Length() const { return length_; }
    // The next part into `part` (valid until the next call; it may be
    // empty); false once every byte the header announces has been given.
    bool Next(std::string_view& part);
    // What is left of the value, whole.
    std::string Rest();

private:
    const RawFile& file_;
    const MdbFormatConstants& fmt_;
    const unsigned char* inline_ = nullptr;  // the bytes in the row, if they are there
    size_t length_ = 0, given_ = 0;
    bool chain_ = false, done_ = false;
    uint32_t at_ = 0;  // the next LVAL row
    std::vector<unsigned char> page_;
    std::set<uint32_t> seen_;
};

// The bytes of such a value whole, at most `limit` of them: a Failure of
// 3035 when the value is longer.
std::string ReadLongValue(const RawFile& file, const MdbFormatConstants& fmt, const unsigned char* page, int start,
                          int size, size_t limit);

// Jet text (`len` bytes as the file stores it: Jet 3 in the file's code
// page, Jet 4 in UCS-2, plain or compressed) as UTF-8, every character of it.
std::string JetText(MdbHandle* mdb, const char* bytes, size_t len);

// Whether Jet 4 text, from its first stored byte, begins with the mark of
// compressed text (FF FE), as libmdb decides for a value whole.
inline bool CompressedText(std::string_view stored) {
    return stored.size() >= 2 && static_cast<unsigned char>(stored[0]) == 0xFF &&
           static_cast<unsigned char>(stored[1]) == 0xFE;
}

// Windows code page 1252, Jet 3's text, as UTF-8. The five bytes the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control
// characters of the same number, as Windows itself maps them, so that no
// byte is lost.
std::string Cp1252ToUtf8(const char* bytes, size_t len);

// UCS-2 (little-endian) as UTF-8; a surrogate pair as its one character, a
// lone surrogate or an odd last byte as U+FFFD.
std::string Ucs2ToUtf8(const char* bytes, size_t len);

// JetText's conversion for a value given in parts: each part's text comes
// as soon as it is whole, and what a part ends in the middle of (half a
// Jet 4 code unit) waits for the next. The text is the same as JetText's
// of the parts joined.
class JetTextParts {
public:
    explicit JetTextParts(MdbHandle* mdb) : mdb_(mdb) {}
    // Appends the text of `stored`, the value's next bytes, to `out`;
    // `last` with its last bytes (which may be none).
    void Add(std::string_view stored, bool last, std::string& out);

private:
    void Convert(size_t n, std::string& out);
    MdbHandle* mdb_;
    bool begun_ = false, compressed_ = false, packed_ = true, half_ = false;
    std::string held_;  // Jet 4 code units not yet converted
};

}  // namespace jet::reader
