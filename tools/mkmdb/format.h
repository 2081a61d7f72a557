// The Jet 4 page format as mkmdb writes it: sizes, little-endian fields and
// UTF-8 decoded to the UCS-2 that Jet 4 text is stored in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace mkmdb::detail {

inline constexpr std::size_t kPage = 4096;
inline constexpr std::size_t kDataHeader = 14;   // data page header, before the row offsets
inline constexpr std::size_t kMaxRowsPerPage = 255;  // a row number must fit the low byte of a pg_row
inline constexpr std::size_t kMaxRowBytes = kPage - kDataHeader - 2;
inline constexpr std::size_t kTdefHeader = 0x3F;  // Jet 4 table definition header, up to the column entries
inline constexpr std::size_t kColumnEntry = 25;
inline constexpr uint32_t kInlineMapBits = 64 * 8;        // pages an inline (type 0) map row covers
inline constexpr uint32_t kIndirectMapBits = (kPage - 4) * 8;  // pages one type 0x05 page covers
inline constexpr uint32_t kCatalogPage = 2;
inline constexpr uint32_t kTablesContainerId = 0x0F000001;

enum : uint8_t {
    kTypeBool = 0x01,
    kTypeInteger = 0x03,
    kTypeLong = 0x04,
    kTypeMoney = 0x05,
    kTypeDouble = 0x07,
    kTypeDateTime = 0x08,
    kTypeText = 0x0A,
    kTypeOle = 0x0B,
    kTypeMemo = 0x0C,
};

// What a data page holds in place of its owner's definition page when its
// rows are parts of long values (memos): the letters "LVAL".
inline constexpr uint32_t kLongValueOwner = 0x4C41564C;
// Memos of up to this many bytes stay in their row; longer ones go to
// long-value pages: on one row when they fit it, else on a chain of rows.
inline constexpr std::size_t kInlineMemoBytes = 512;
// A memo's length has 30 bits in its field; the top two say where it is.
inline constexpr std::size_t kLongValueMaxBytes = (1u << 30) - 1;

inline void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutDouble(uint8_t* p, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(bits >> (8 * i));
}


// Decodes UTF-8 and hands each character to `emit` as one UCS-2 code unit.
template <typename Emit>
void DecodeUtf8(const std::string& s, Emit&& emit) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        uint32_t c = *p++;
        int extra = 0;
        uint32_t min = 0;
        if (c < 0x80) {
        } else if ((c & 0xE0) == 0xC0) {
            c &= 0x1F, extra = 1, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            c &= 0x0F, extra = 2, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            c &= 0x07, extra = 3, min = 0x10000;
        } else {
            throw std::runtime_error("malformed UTF-8 text");
        }
        if (end - p < extra) throw std::runtime_error("malformed UTF-8 text (truncated)");
        for (int i = 0; i < extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) throw std::runtime_error("malformed UTF-8 text");
            c = (c << 6) | (p[i] & 0x3F);
        }
        p += extra;
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            throw std::runtime_error("malformed UTF-8 text (invalid code point)");
        // Jet 4 text is UCS-2, and libmdb converts it as such: a surrogate
        // pair would read back as two unknown characters.
        if (c >= 0x10000) throw std::runtime_error("text has a character outside UCS-2 (U+10000 or above)");
        emit(static_cast<char16_t>(c));
    }
}

inline std::size_t Utf16Length(const std::string& s) {
    std::size_t n = 0;
    DecodeUtf8(s, [&](char16_t) { ++n; });
    return n;
}

}  // namespace mkmdb::detail
