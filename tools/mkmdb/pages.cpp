#include "mkmdb/pages.h"

#include <stdexcept>

#include "mkmdb/mkmdb.h"

namespace mkmdb::detail {

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
