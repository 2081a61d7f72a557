#include "jet/reader/long_values.h"

#include <algorithm>
#include <cstdint>

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
    file.NoteRow(pgRow);
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

LongValue::LongValue(const RawFile& file, const MdbFormatConstants& fmt, const unsigned char* page, int start, int size)
    : file_(file), fmt_(fmt) {
    if (size < MDB_MEMO_OVERHEAD) Damaged("long value shorter than its header");
    const unsigned char* head = page + start;
    const uint32_t word = Get32(head);
    length_ = word & kLengthMask;
    if ((word & (kInline | kSinglePage)) == (kInline | kSinglePage)) Damaged("long value of an unknown kind");
    if (word & kInline) {
        if (length_ > static_cast<size_t>(size - MDB_MEMO_OVERHEAD)) Damaged("long value longer than its row");
        inline_ = head + MDB_MEMO_OVERHEAD;
        return;
    }
    at_ = Get32(head + 4);
    chain_ = !(word & kSinglePage);
}

bool LongValue::Next(std::string_view& part) {
    if (done_) return false;
    if (inline_ || !chain_) {
        done_ = true;
        if (inline_) {
            part = {reinterpret_cast<const char*>(inline_), length_};
        } else {
            LvalRow r = FindRow(file_, fmt_, at_);
            if (r.length < length_) Damaged(Where(at_) + ": shorter than its value");
            page_ = std::move(r.page);
            part = {reinterpret_cast<const char*>(page_.data() + r.start), length_};
        }
        given_ = length_;
        return true;
    }
    // A chain: each row holds the next row's address, then a part of the
    // value. A valid chain never comes back to a row it has been through.
    if (given_ >= length_) {
        done_ = true;
        return false;
    }
    if (at_ == 0) Damaged("long-value chain ends " + std::to_string(length_ - given_) + " bytes early");
    if (!seen_.insert(at_).second) Damaged(Where(at_) + ": the long-value chain comes back to it");
    LvalRow r = FindRow(file_, fmt_, at_);
    if (r.length < 4) Damaged(Where(at_) + ": too short for the next row's address");
    const size_t n = std::min(r.length - 4, length_ - given_);
    page_ = std::move(r.page);
    part = {reinterpret_cast<const char*>(page_.data() + r.start + 4), n};
    at_ = Get32(page_.data() + r.start);
    given_ += n;
    return true;
}

std::string LongValue::Rest() {
    std::string bytes;
    bytes.reserve(length_ - given_);
    for (std::string_view part; Next(part);) bytes.append(part);
    return bytes;
}

std::string ReadLongValue(const RawFile& file, const MdbFormatConstants& fmt, const unsigned char* page, int start,
                          int size, size_t limit) {
    LongValue value(file, fmt, page, start, size);
    if (value.Length() > limit) throw Failure{kSystemResourceExceeded, "System resource exceeded."};
    return value.Rest();
}

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Code page 1252 from 0x80 to 0x9F; the rest is Latin-1.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::string Cp1252ToUtf8(const char* bytes, size_t len) {
    std::string out;
    out.reserve(len);
    for (size_t i = 0; i < len; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
    }
    return out;
}

std::string Ucs2ToUtf8(const char* bytes, size_t len) {
    std::string out;
    out.reserve(len);
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    size_t i = 0;
    for (; i + 1 < len; i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < len && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    if (i < len) AppendUtf8(out, 0xFFFD);
    return out;
}

std::string JetText(MdbHandle* mdb, const char* bytes, size_t len) {
    // Jet 3 text is in the file's code page, 1252 where Jet 3 runs in the
    // West (as libmdb takes it too); converted here so that the five bytes
    // that iconv refuses are kept.
    if (IS_JET3(mdb)) return Cp1252ToUtf8(bytes, len);
    // The longest UTF-8 the bytes can become: Jet 4 stores two bytes per
    // character (up to three in UTF-8) or, compressed, one byte per
    // character below U+0100 (up to two).
    const size_t most = 2 * len;
    // Two more than that: one for the terminator libmdb writes, and one so
    // that a conversion that filled the buffer shows as cut short.
    std::string text(most + 2, '\0');
    const int got = mdb_unicode2ascii(mdb, bytes, len, text.data(), text.size());
    if (got < 0 || static_cast<size_t>(got) > most) Damaged("text does not convert whole");
    text.resize(static_cast<size_t>(got));
    return text;
}

void JetTextParts::Add(std::string_view stored, bool last, std::string& out) {
    if (IS_JET3(mdb_)) {  // one byte a character: any part converts by itself
        out += JetText(mdb_, stored.data(), stored.size());
        return;
    }
    // Jet 4: a value that begins FF FE is compressed (as libmdb decides for
    // a value whole): a 00 byte switches between one byte a character (the
    // high byte 00) and two, and an odd byte left at the end is dropped.
    std::string first;
    if (!begun_) {
        first.assign(held_).append(stored);  // held_ keeps a first byte alone until its second comes
        held_.clear();
        if (first.size() < 2 && !last) {
            held_ = std::move(first);
            return;
        }
        begun_ = true;
        compressed_ = CompressedText(first);
        stored = std::string_view(first).substr(compressed_ ? 2 : 0);
    }
    if (!compressed_) {
        held_.append(stored);
    } else {
        for (const char c : stored) {
            if (half_) {
                held_.push_back(c);
                half_ = false;
            } else if (c == 0) {
                packed_ = !packed_;
            } else {
                held_.push_back(c);
                if (packed_) held_.push_back('\0');
                else half_ = true;
            }
        }
    }
    size_t n = held_.size();
    if (!last) {
        n -= n % 2;
    } else if (half_) {
        held_.pop_back();
        --n;
    }
    Convert(n, out);
}

void JetTextParts::Convert(size_t n, std::string& out) {
    size_t from = 0;
    // Jet 4 code units that begin FF FE would read as compressed text on
    // their own: such a U+FEFF is written here, as the whole text has it.
    if (!IS_JET3(mdb_))
        while (n - from >= 2 && static_cast<unsigned char>(held_[from]) == 0xFF &&
               static_cast<unsigned char>(held_[from + 1]) == 0xFE) {
            out += "\xEF\xBB\xBF";
            from += 2;
        }
    if (n > from) out += JetText(mdb_, held_.data() + from, n - from);
    held_.erase(0, n);
}

}  // namespace jet::reader
