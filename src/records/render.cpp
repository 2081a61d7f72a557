#include "records/render.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>

namespace records {

namespace {

template <class... F>
struct Visitor : F... {
    using F::operator()...;
};

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
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000);
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
    return std::visit(Visitor{
                          [](const Null&) { return std::string(); },
                          [](int64_t v) { return std::to_string(v); },
                          [](double v) { return FloatingText(v); },
                          [](Currency v) { return CurrencyText(v); },
                          [](YesNo v) { return std::string(v.value ? "Yes" : "No"); },
                          [](const std::string& v) { return v; },
                          [](const vb::DateTime& v) { return IsoDateTime(v, ' '); },
                          [](const Bytes& v) {
                              return "(" + std::to_string(v.data.size()) + (v.data.size() == 1 ? " byte)" : " bytes)");
                          },
                      },
                      cell);
}

std::string ExportText(const Cell& cell) {
    return std::visit(Visitor{
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

}  // namespace records
