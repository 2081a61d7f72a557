#include "mkmdb/pages.h"

#include <algorithm>
#include <stdexcept>

#include "mkmdb/mkmdb.h"

namespace mkmdb::detail {

LongValueField LongValueField::Inline(std::size_t length) {
    LongValueField f;
    Put32(f.bytes.data(), 0x80000000u | static_cast<uint32_t>(length));
    return f;
}

LongValueField LongValuePages::Store(const std::vector<uint8_t>& value) {
    LongValueField f;
    if (value.size() <= kMaxRowBytes) {
        Put32(f.bytes.data(), 0x40000000u | static_cast<uint32_t>(value.size()));
        Put32(f.bytes.data() + 4, Add(value.data(), value.size()));
        return f;
    }
    // A chain: each row begins with the address of the next. Written from
    // its last part to its first, so that every row knows its successor.
    constexpr std::size_t kPart = kMaxRowBytes - 4;
    const std::size_t parts = (value.size() + kPart - 1) / kPart;
    std::vector<uint8_t> row(kMaxRowBytes);
    uint32_t next = 0;
    for (std::size_t k = parts; k-- > 0;) {
        const std::size_t at = k * kPart, len = std::min(kPart, value.size() - at);
        Put32(row.data(), next);
        std::memcpy(row.data() + 4, value.data() + at, len);
        next = Add(row.data(), 4 + len);
    }
    Put32(f.bytes.data(), static_cast<uint32_t>(value.size()));
    Put32(f.bytes.data() + 4, next);
    return f;
}

uint32_t LongValuePages::Add(const uint8_t* row, std::size_t len) {
    if (open_ && !page_.Fits(len)) Finish();
    if (!open_) {
        page_no_ = allocate_();
        open_ = true;
    }
    return page_no_ << 8 | static_cast<uint32_t>(page_.Add(row, len));
}

void LongValuePages::Finish() {
    if (!open_) return;
    file_.WritePage(page_no_, page_.Finish());
    page_.Reset();
    open_ = false;
}

std::array<uint8_t, kPage> HeaderPage() {
    std::array<uint8_t, kPage> p{};
    p[1] = 0x01;
    std::memcpy(&p[0x04], "Standard Jet DB", 16);  // with its NUL
    p[0x14] = 0x01;                                 // Jet 4
    Put16(&p[0x3C], 1252);                          // code page
    Put32(&p[0x3E], 0);                             // database key 0: pages are not encrypted
    Put32(&p[0x6E], 0x0409);                        // sort order
    ApplyHeaderCipher(&p[0x18], 128);
    return p;
}

uint32_t CheckedPage(uint64_t page) {
    if (page >= (1u << 24)) throw std::runtime_error("database would exceed 2^24 pages");
    return static_cast<uint32_t>(page);
}

}  // namespace mkmdb::detail
