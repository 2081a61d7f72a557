#include "records/render.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>

namespace records {

namespace {

// Decodes the UTF-8 sequence at text[i]; -1 for a byte that starts no valid
// sequence. `length` is how many bytes it took.
long Decode(std::string_view text, size_t i, size_t& length) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    length = 1;
    if (lead < 0x80) return lead;
    const size_t n = (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > text.size()) return -1;
    long c = lead & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return -1;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    static const long minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < minimum[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
    length = n;
    return c;
}

// How many cells of a terminal a character takes: none for a combining mark
// or a zero-width character, two for the East Asian wide and full-width
// characters (and the emoji that terminals draw wide), one for the rest.
// The ranges are those of Unicode's East Asian Width property (W and F)
// and general categories Mn, Me and Cf, as terminals' wcwidth draws them.
int CellsOf(long c) {
    if (c < 0x0300) return 1;  // below the first range of either kind
    struct Range { long first, last; };
    static constexpr Range none[] = {
        {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
        {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
        {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0x302A, 0x302D}, {0x3099, 0x309A}, {0xFE00, 0xFE0F},
        {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF}};
    static constexpr Range wide[] = {
        {0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
        {0xA000, 0xA4CF}, {0xA960, 0xA97F}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE10, 0xFE19},
        {0xFE30, 0xFE6F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF},
        {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
    for (const Range& r : none)
        if (c >= r.first && c <= r.last) return 0;
    for (const Range& r : wide)
        if (c >= r.first && c <= r.last) return 2;
    return 1;
}

// Characters that take effect on the text around them or on the device.
bool Unsafe(long c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string IsoDateTime(const vb::DateTime& v, char separator) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", v.year, v.month, v.day, separator, v.hour,
                  v.minute, v.second);
    return text;
}

std::string CurrencyText(Currency value) {
    // The magnitude as unsigned, so that the most negative amount has one.
    const bool negative = value.scaled < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value.scaled) : static_cast<uint64_t>(value.scaled);
    // Appended, not "-" + text: GCC 12 warns of that falsely (-Wrestrict) at -O2.
    std::string text = negative ? "-" : "";
    text += std::to_string(magnitude / 10000);
    uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04" PRIu64, fraction);
        std::string decimals(digits);
        while (decimals.back() == '0') decimals.pop_back();
        text += "." + decimals;
    }
    return text;
}

std::string FloatingText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Base64(std::string_view bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    const auto at = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[k])); };
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t group = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        for (int shift = 18; shift >= 0; shift -= 6) text += kDigits[(group >> shift) & 0x3F];
    }
    if (const size_t left = bytes.size() - i; left > 0) {
        const uint32_t group = at(i) << 16 | (left == 2 ? at(i + 1) << 8 : 0);
        text += kDigits[(group >> 18) & 0x3F];
        text += kDigits[(group >> 12) & 0x3F];
        text += left == 2 ? kDigits[(group >> 6) & 0x3F] : '=';
        text += '=';
    }
    return text;
}

std::string DisplayText(const Cell& cell) {
    return std::visit(ports::Overloaded{
                          [](const Null&) { return std::string(); },
                          [](int64_t v) { return std::to_string(v); },
                          [](double v) { return FloatingText(v); },
                          [](Currency v) { return CurrencyText(v); },
                          [](YesNo v) { return std::string(v.value ? "Yes" : "No"); },
                          [](const std::string& v) { return v; },
                          [](const vb::DateTime& v) { return IsoDateTime(v, ' '); },
                          [](const Bytes& v) {
                              std::string size = "(";
                              size += std::to_string(v.data.size());
                              return size + (v.data.size() == 1 ? " byte)" : " bytes)");
                          },
                      },
                      cell);
}

std::string ExportText(const Cell& cell) {
    return std::visit(ports::Overloaded{
                          [](const YesNo& v) { return std::string(v.value ? "true" : "false"); },
                          [](const vb::DateTime& v) { return IsoDateTime(v); },
                          [](const Bytes& v) { return Base64(v.data); },
                          [&cell](const auto&) { return DisplayText(cell); },
                      },
                      cell);
}

std::string Escaped(std::string_view text, bool backslash) {
    std::string out;
    out.reserve(text.size());
    char escape[16];
    for (size_t i = 0, length = 0; i < text.size(); i += length) {
        const long c = Decode(text, i, length);
        if (c < 0) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(text[i]));
            out += escape;
        } else if (c == '\\' && backslash) {
            out += "\\\\";
        } else if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else if (Unsafe(c)) {
            std::snprintf(escape, sizeof escape, c < 0x80 ? "\\x%02lX" : "\\u%04lX", c);
            out += escape;
        } else {
            out.append(text, i, length);
        }
    }
    return out;
}

size_t CharacterCount(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0, length = 0; i < text.size(); i += length, ++count) Decode(text, i, length);
    return count;
}

size_t TerminalColumns(std::string_view text) {
    size_t columns = 0;
    for (size_t i = 0, length = 0; i < text.size(); i += length) {
        const long c = Decode(text, i, length);
        columns += c < 0 ? 1 : CellsOf(c);
    }
    return columns;
}

std::string CutToColumns(std::string_view text, size_t columns) {
    // Whole characters up to one cell short of the width, then "…" in it;
    // the marks that follow a kept character stay with it. Read only as far
    // as the text is found too wide (a long memo is not read to its end).
    size_t used = 0, cut = std::string_view::npos;
    for (size_t at = 0, length = 0; at < text.size(); at += length) {
        const long c = Decode(text, at, length);
        const size_t cells = c < 0 ? 1 : CellsOf(c);
        if (cut == std::string_view::npos && (columns == 0 || used + cells > columns - 1)) cut = at;
        used += cells;
        if (used > columns) return std::string(text.substr(0, cut)) + "\u2026";
    }
    return std::string(text);
}

namespace {

// "12,040": the thousands grouped by commas.
std::string Grouped(uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

}  // namespace

std::string CountOf(size_t n, std::string_view one) {
    return Grouped(n) + " " + std::string(one) + (n == 1 ? "" : "s");
}

std::string CountWarning(size_t read, const std::optional<uint64_t>& stored) {
    if (!stored || *stored == read) return {};
    return CountOf(read, "record") + " read; the table says " + Grouped(*stored);
}

std::string DamagedAfter(size_t read, std::string_view reason) {
    return CountOf(read, "record") + " read; the copy is damaged after that (" + std::string(reason) + ")";
}

}  // namespace records
