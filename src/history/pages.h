// A database file as the store keeps it: cut into the pages of its own Jet
// format, each page compressed with zstd on its own, and a version's list
// of pages packed small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ZSTD_CCtx_s;
struct ZSTD_DCtx_s;

namespace history {

// The page size of a Jet file from its first page: 2 KB for Jet 3 (the
// version byte at 0x14 is 0), 4 KB for Jet 4 and later, and for anything
// too short to say. Cutting at the file's own page size means that one
// changed page costs one stored page.
size_t PageSizeOf(std::string_view head);

// One zstd compression and one decompression context, kept for every page
// of a run (a fresh context per page would cost more than the page).
class PageCodec {
public:
    PageCodec();
    ~PageCodec();
    PageCodec(const PageCodec&) = delete;
    PageCodec& operator=(const PageCodec&) = delete;

    // The page as stored: its zstd frame, or the page itself when that is
    // no smaller (packed then says false).
    std::string Pack(std::string_view page, bool& packed);

    // The page back from what Pack gave; false when the stored bytes are
    // not a frame of exactly `size` bytes (a damaged page).
    bool Unpack(std::string_view stored, bool packed, size_t size, std::string& page);

private:
    ZSTD_CCtx_s* compress_;
    ZSTD_DCtx_s* decompress_;
};

// A version's pages as the row numbers of the stored pages, in file order,
// packed as the differences from one to the next (varints, zigzag) and
// compressed: a version that shares most pages with the one before costs a
// few bytes a page.
std::string PackList(const std::vector<int64_t>& ids);
// The list back; false when the bytes are not one PackList gave.
bool UnpackList(std::string_view packed, std::vector<int64_t>& ids);

}  // namespace history
