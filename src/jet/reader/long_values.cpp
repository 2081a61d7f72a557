#include "jet/reader/long_values.h"

#include <cstdint>
#include <set>
#include <vector>

#include "jet/reader/failure.h"

namespace jet::reader {
namespace {

constexpr uint32_t kInline = 0x80000000u, kSinglePage = 0x40000000u, kLengthMask = 0x3FFFFFFFu;

uint32_t Get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

std::string Where(uint32_t pgRow) {
    return "long-value row " + std::to_string(pgRow & 0xff) + " on page " + std::to_string(pgRow >> 8);
}

// One row of a long-value page: where it starts on the page and how long it
// is, from the page's row offsets as for any data page.
struct LvalRow {
    std::vector<unsigned char> page;
    size_t start = 0, length = 0;
};

LvalRow FindRow(const RawFile& file, const MdbFormatConstants& fmt, uint32_t pgRow) {
    const uint32_t pg = pgRow >> 8, row = pgRow & 0xff;
    if (pg == 0) Damaged(Where(pgRow) + ": no such page");
    LvalRow r;
    r.page = file.Page(pg);
    if (r.page[0] != MDB_PAGE_DATA) Damaged(Where(pgRow) + ": not a data page");
    const unsigned rco = static_cast<unsigned>(fmt.row_count_offset);
    if (row >= U16(r.page, rco)) Damaged(Where(pgRow) + ": the page holds no such row");
    const size_t start = U16(r.page, rco + 2 + row * 2) & 0x1fff;
    const size_t end = row == 0 ? file.PageSize() : (U16(r.page, rco + row * 2) & 0x1fff);
    if (start > end || end > file.PageSize()) Damaged(Where(pgRow) + ": lies outside its page");
    r.start = start;
    r.length = end - start;
    return r;
}

}  // namespace

std::string ReadLongValue(const RawFile& file, const MdbFormatConstants& fmt, const unsigned char* page, int start,
                          int size, size_t limit) {
    if (size < MDB_MEMO_OVERHEAD) Damaged("long value shorter than its header");
    const unsigned char* head = page + start;
    const uint32_t word = Get32(head);
    const size_t length = word & kLengthMask;
    if (length > limit)
        throw Failure{kSystemResourceExceeded, "System resource exceeded."};
    std::string bytes;
    if ((word & (kInline | kSinglePage)) == (kInline | kSinglePage)) Damaged("long value of an unknown kind");
    if (word & kInline) {
        if (length > static_cast<size_t>(size - MDB_MEMO_OVERHEAD)) Damaged("long value longer than its row");
        bytes.assign(reinterpret_cast<const char*>(head + MDB_MEMO_OVERHEAD), length);
        return bytes;
    }
    const uint32_t first = Get32(head + 4);
    if (word & kSinglePage) {
        LvalRow r = FindRow(file, fmt, first);
        if (r.length < length) Damaged(Where(first) + ": shorter than its value");
        bytes.assign(reinterpret_cast<const char*>(r.page.data() + r.start), length);
        return bytes;
    }
    // A chain: each row holds the next row's address, then a part of the
    // value. A valid chain never comes back to a row it has been through.
    bytes.reserve(length);
    std::set<uint32_t> seen;
    for (uint32_t at = first; bytes.size() < length;) {
        if (at == 0) Damaged("long-value chain ends " + std::to_string(length - bytes.size()) + " bytes early");
        if (!seen.insert(at).second) Damaged(Where(at) + ": the long-value chain comes back to it");
        LvalRow r = FindRow(file, fmt, at);
        if (r.length < 4) Damaged(Where(at) + ": too short for the next row's address");
        const size_t part = std::min(r.length - 4, length - bytes.size());
        bytes.append(reinterpret_cast<const char*>(r.page.data() + r.start + 4), part);
        at = Get32(r.page.data() + r.start);
    }
    return bytes;
}

std::string JetText(MdbHandle* mdb, const char* bytes, size_t len) {
    // The longest UTF-8 the bytes can become: a Jet 3 byte is one character
    // of up to three bytes in UTF-8 (the euro sign in cp1252); Jet 4 stores
    // two bytes per character (up to three in UTF-8) or, compressed, one
    // byte per character below U+0100 (up to two).
    const size_t most = IS_JET3(mdb) ? 3 * len : 2 * len;
    // Two more than that: one for the terminator libmdb writes, and one so
    // that a conversion that filled the buffer shows as cut short.
    std::string text(most + 2, '\0');
    const int got = mdb_unicode2ascii(mdb, bytes, len, text.data(), text.size());
    if (got < 0 || static_cast<size_t>(got) > most) Damaged("text does not convert whole");
    text.resize(static_cast<size_t>(got));
    return text;
}

}  // namespace jet::reader
