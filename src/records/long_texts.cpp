#include "records/long_texts.h"

#include <zstd.h>

#include <algorithm>
#include <memory>

#include "records/text_search.h"
#include "vb/casefold.h"

namespace records {

namespace {

// zstd's fastest level: long texts are packed as the reader gives them.
constexpr int kLevel = 1;

// The bit of a folded character (second 0) or of a pair of them.
size_t Bit(char32_t first, char32_t second) {
    uint32_t x = static_cast<uint32_t>(first) * 0x9E3779B1u ^ (static_cast<uint32_t>(second) + 1) * 0x85EBCA77u;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    return x % 4096;
}

}  // namespace

uint32_t LongTexts::Put(uint32_t record, std::string_view text) {
    Kept kept;
    kept.record = record;
    kept.size = static_cast<uint32_t>(text.size());
    kept.packed.resize(ZSTD_compressBound(text.size()));
    const size_t packed = ZSTD_compress(kept.packed.data(), kept.packed.size(), text.data(), text.size(), kLevel);
    if (ZSTD_isError(packed)) {
        kept.packed.assign(text);
        kept.raw = true;
    } else {
        kept.packed.resize(packed);
    }
    kept.packed.shrink_to_fit();
    const std::u32string folded = vb::FoldCase(text);
    for (size_t k = 0; k < folded.size(); ++k) {
        const size_t one = Bit(folded[k], 0);
        kept.summary[one / 64] |= uint64_t{1} << (one % 64);
        if (k + 1 < folded.size()) {
            const size_t two = Bit(folded[k], folded[k + 1]);
            kept.summary[two / 64] |= uint64_t{1} << (two % 64);
        }
    }
    kept_.push_back(std::move(kept));
    return static_cast<uint32_t>(kept_.size() - 1);
}

uint32_t LongTexts::Take(const LongTexts& more, uint32_t k, uint32_t record) {
    kept_.push_back(more.kept_[k]);
    kept_.back().record = record;
    return static_cast<uint32_t>(kept_.size() - 1);
}

std::string LongTexts::Text(uint32_t k) const {
    const Kept& kept = kept_[k];
    if (kept.raw) return kept.packed;
    std::string text(kept.size, '\0');
    const size_t got = ZSTD_decompress(text.data(), text.size(), kept.packed.data(), kept.packed.size());
    if (ZSTD_isError(got)) text.clear();
    return text;
}

bool LongTexts::MayHold(const Kept& kept, const std::u32string& folded) const {
    const auto set = [&](size_t bit) { return (kept.summary[bit / 64] >> (bit % 64) & 1) != 0; };
    if (folded.size() == 1) return set(Bit(folded[0], 0));
    for (size_t k = 0; k + 1 < folded.size(); ++k)
        if (!set(Bit(folded[k], folded[k + 1]))) return false;
    return true;
}

// Unpacked piece by piece, and searched as each comes, so that a text found
// near the start of a long one costs only its first pieces. A place is
// taken once the text after it is long enough to hold any match from it
// (four bytes a character, and the bytes read to decode one past it).
bool LongTexts::Holds(const Kept& kept, const TextSearch& search, std::string& unpacked) const {
    if (!MayHold(kept, search.Folded())) return false;
    if (kept.raw) return search.Find(kept.packed) != std::string_view::npos;
    constexpr size_t kPiece = 8192;
    const size_t keep = search.Folded().size() * 4 + 4;
    const std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> context(ZSTD_createDCtx(), ZSTD_freeDCtx);
    ZSTD_inBuffer in{kept.packed.data(), kept.packed.size(), 0};
    unpacked.clear();
    for (size_t from = 0;;) {
        const size_t had = unpacked.size();
        unpacked.resize(had + kPiece);
        ZSTD_outBuffer out{unpacked.data() + had, kPiece, 0};
        const size_t left = ZSTD_decompressStream(context.get(), &out, &in);
        unpacked.resize(had + out.pos);
        if (ZSTD_isError(left) || (out.pos == 0 && left != 0 && in.pos == in.size)) return false;
        const bool end = left == 0;
        const size_t limit = end ? unpacked.size() : (unpacked.size() > keep ? unpacked.size() - keep : 0);
        if (limit > from) {
            if (const size_t at = search.Find(unpacked, from); at != std::string_view::npos && at < limit) return true;
            from = limit;
        }
        if (end) return false;
    }
}

std::vector<uint32_t> LongTexts::Matching(const TextSearch& search, const std::vector<uint32_t>& found) const {
    std::vector<uint32_t> more;
    std::string unpacked;
    for (const Kept& kept : kept_)
        if ((more.empty() || more.back() != kept.record) &&
            !std::binary_search(found.begin(), found.end(), kept.record) && Holds(kept, search, unpacked))
            more.push_back(kept.record);
    return more;
}

std::vector<uint32_t> LongTexts::Holding(const TextSearch& search, const std::vector<uint32_t>& records) const {
    std::vector<uint32_t> held;
    std::string unpacked;
    auto next = records.begin();
    for (const Kept& kept : kept_) {
        next = std::lower_bound(next, records.end(), kept.record);
        if (next == records.end()) break;
        if (*next == kept.record && (held.empty() || held.back() != kept.record) && Holds(kept, search, unpacked))
            held.push_back(kept.record);
    }
    return held;
}

size_t LongTexts::Bytes() const {
    size_t bytes = kept_.capacity() * sizeof(Kept);
    for (const Kept& kept : kept_) bytes += kept.packed.capacity();
    return bytes;
}

}  // namespace records
