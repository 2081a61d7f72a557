#include "history/pages.h"

#include <zstd.h>

#include <new>

namespace history {

namespace {

// zstd's default level: most of what higher levels give on a database's
// pages, at a fraction of their time.
constexpr int kLevel = 3;
// A packed list is refused beyond this many pages (a 4 GB file of 2 KB pages).
constexpr size_t kMostPages = size_t{1} << 21;

}  // namespace

size_t PageSizeOf(std::string_view head) {
    constexpr size_t kVersionAt = 0x14;
    if (head.size() > kVersionAt && head[kVersionAt] == 0) return 2048;
    return 4096;
}

PageCodec::PageCodec() : compress_(ZSTD_createCCtx()), decompress_(ZSTD_createDCtx()) {
    if (!compress_ || !decompress_) {
        ZSTD_freeCCtx(compress_);
        ZSTD_freeDCtx(decompress_);
        throw std::bad_alloc();
    }
}

PageCodec::~PageCodec() {
    ZSTD_freeCCtx(compress_);
    ZSTD_freeDCtx(decompress_);
}

std::string PageCodec::Pack(std::string_view page, bool& packed) {
    std::string frame(ZSTD_compressBound(page.size()), '\0');
    const size_t size = ZSTD_compressCCtx(compress_, frame.data(), frame.size(), page.data(), page.size(), kLevel);
    packed = !ZSTD_isError(size) && size < page.size();
    if (!packed) return std::string(page);
    frame.resize(size);
    return frame;
}

bool PageCodec::Unpack(std::string_view stored, bool packed, size_t size, std::string& page) {
    if (!packed) {
        if (stored.size() != size) return false;
        page.assign(stored);
        return true;
    }
    // The frame says how large it unpacks to; a frame that says otherwise
    // is not this page's.
    if (ZSTD_getFrameContentSize(stored.data(), stored.size()) != size) return false;
    page.resize(size);
    const size_t got = ZSTD_decompressDCtx(decompress_, page.data(), size, stored.data(), stored.size());
    return !ZSTD_isError(got) && got == size;
}

std::string PackList(const std::vector<int64_t>& ids) {
    std::string varints;
    varints.reserve(ids.size() * 2);
    int64_t previous = 0;
    for (int64_t id : ids) {
        const int64_t step = id - previous;
        previous = id;
        uint64_t zigzag = (static_cast<uint64_t>(step) << 1) ^ static_cast<uint64_t>(step >> 63);
        do {
            const uint8_t low = zigzag & 0x7f;
            zigzag >>= 7;
            varints += static_cast<char>(zigzag ? low | 0x80 : low);
        } while (zigzag);
    }
    std::string packed(ZSTD_compressBound(varints.size()), '\0');
    const size_t size = ZSTD_compress(packed.data(), packed.size(), varints.data(), varints.size(), kLevel);
    if (ZSTD_isError(size)) throw std::bad_alloc();
    packed.resize(size);
    return packed;
}

bool UnpackList(std::string_view packed, std::vector<int64_t>& ids) {
    ids.clear();
    const unsigned long long size = ZSTD_getFrameContentSize(packed.data(), packed.size());
    // Every page takes one byte at least.
    if (size == ZSTD_CONTENTSIZE_UNKNOWN || size == ZSTD_CONTENTSIZE_ERROR || size > kMostPages * 10) return false;
    std::string varints(size, '\0');
    const size_t got = ZSTD_decompress(varints.data(), varints.size(), packed.data(), packed.size());
    if (ZSTD_isError(got) || got != size) return false;
    int64_t previous = 0;
    for (size_t at = 0; at < varints.size();) {
        uint64_t zigzag = 0;
        for (int shift = 0;; shift += 7) {
            if (at == varints.size() || shift > 63) return false;
            const uint8_t byte = static_cast<uint8_t>(varints[at++]);
            zigzag |= static_cast<uint64_t>(byte & 0x7f) << shift;
            if (!(byte & 0x80)) break;
        }
        const int64_t step = static_cast<int64_t>(zigzag >> 1) ^ -static_cast<int64_t>(zigzag & 1);
        previous += step;
        if (previous <= 0) return false;  // row numbers of pages start at 1
        ids.push_back(previous);
    }
    return ids.size() <= kMostPages;
}

}  // namespace history
