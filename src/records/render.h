// The text forms of a cell's value, one for each way records leave the
// program:
//   DisplayText  on screen (the window's table, the command line's table):
//                dates "2024-03-01 09:30:00", Yes/No "Yes"/"No", bytes as
//                their size; the caller makes the text harmless (Escaped)
//   ExportText   in CSV and tab-separated text: dates ISO 8601 without an
//                offset (Jet stores no zone), Yes/No "true"/"false", bytes
//                base64, Null the empty text
// Numbers are the same in both: integers in decimal, floating point in the
// shortest form that reads back as the same number, currency exactly, with
// as many of its four decimal places as it needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "records/record.h"

namespace records {

std::string DisplayText(const Cell& cell);
std::string ExportText(const Cell& cell);

// "2024-03-01T09:30:00"; with `separator` ' ', "2024-03-01 09:30:00".
std::string IsoDateTime(const vb::DateTime& value, char separator = 'T');
// "1234.5", "-0.0001", "12": the amount a Currency stands for, exactly.
std::string CurrencyText(Currency value);
std::string FloatingText(double value);
std::string Base64(std::string_view bytes);

// How many cells a terminal draws `text` in: East Asian wide and
// full-width characters take two, combining marks and zero-width
// characters none, every other character (and a byte that is not UTF-8)
// one.
size_t TerminalColumns(std::string_view text);
// `text` whole when it fits in `columns` cells; else cut at a character's
// start and ended with "…", in at most `columns` cells.
std::string CutToColumns(std::string_view text, size_t columns);

// Text made safe to show: control characters (C0, DEL, C1), the characters
// that change the direction of text around them (bidi embeddings,
// overrides, isolates and marks), the line and paragraph separators and
// bytes that are not UTF-8 are written as escapes ("\n", "\t", "\x1B",
// "\u202E", "\xFF"), so that nothing in a value can move the cursor, change
// the terminal or reorder the text beside it. With `backslash`, a backslash
// is written "\\" as well, so that the escaped text can be read back
// without doubt (the terminal); without, it stays as it is (the window).
std::string Escaped(std::string_view text, bool backslash = true);

// "1 record", "11,369 records": a count with its thousands grouped by
// commas, and the noun (`one`, with an "s" when not one).
std::string CountOf(size_t n, std::string_view one);

// How much of a table was read, where it is not simply all of it:
// "11,369 records read; the table says 12,040" when a whole reading gives
// another count than the table's definition holds (empty when they agree
// or the count is not known), and "4,100 records read; the copy is
// damaged after that (reason)" for a reading that failed part way.
std::string CountWarning(size_t read, const std::optional<uint64_t>& stored);
std::string DamagedAfter(size_t read, std::string_view reason);

// The number of characters (code points) of UTF-8 text, for lining up
// columns; a byte that is not UTF-8 counts as one.
size_t CharacterCount(std::string_view text);

}  // namespace records
