// Memo values and text, whole. A memo field in a row is a 12-byte header:
// the value's length in the low 30 bits of the first four bytes, with the
// top two bits saying where the bytes are (0x80: right after the header in
// the row; 0x40: one row of a long-value (LVAL) page, named by the next four
// bytes as page << 8 | row; 0x00: a chain of LVAL rows, each beginning with
// the page and row of the next). libmdb's own reader gives up to its bind
// size (16 KiB) and an empty text when the chain cannot be followed; these
// read every byte the header announces, or fail.
#pragma once

// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <mdbtools.h>

#include <cstddef>
#include <string>

#include "jet/reader/page_checks.h"

namespace jet::reader {

// The bytes of the long value whose header lies at `start` of `page` (the
// row's data page, `size` bytes of field), at most `limit` of them: Damaged
// when the header or its chain does not hold what it announces, a Failure
// of 3035 when the value is longer than `limit`.
std::string ReadLongValue(const RawFile& file, const MdbFormatConstants& fmt, const unsigned char* page, int start,
                          int size, size_t limit);

// Jet text (`len` bytes as the file stores it: Jet 3 in the file's code
// page, Jet 4 in UCS-2, plain or compressed) as UTF-8, every character of it.
std::string JetText(MdbHandle* mdb, const char* bytes, size_t len);

// Windows code page 1252, Jet 3's text, as UTF-8. The five bytes the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control
// characters of the same number, as Windows itself maps them, so that no
// byte is lost.
std::string Cp1252ToUtf8(const char* bytes, size_t len);

// UCS-2 (little-endian) as UTF-8; a surrogate pair as its one character, a
// lone surrogate or an odd last byte as U+FFFD.
std::string Ucs2ToUtf8(const char* bytes, size_t len);

}  // namespace jet::reader
