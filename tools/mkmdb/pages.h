// Pages as mkmdb writes them: a data page being filled, the output file,
// and the database definition page.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "mkmdb/format.h"

namespace mkmdb::detail {

// A data page being filled: rows packed from the end downwards.
class DataPage {
public:
    explicit DataPage(uint32_t owner) : owner_(owner) { Reset(); }
    void Reset() {
        buf_.fill(0);
        buf_[0] = 0x01;
        buf_[1] = 0x01;
        Put32(&buf_[4], owner_);
        n_ = 0;
        top_ = kPage;
    }
    bool Fits(std::size_t len) const {
        return n_ < kMaxRowsPerPage && kDataHeader + 2 * (n_ + 1) + (kPage - top_) + len <= kPage;
    }
    // Returns the row number on this page.
    std::size_t Add(const uint8_t* row, std::size_t len) {
        top_ -= len;
        std::memcpy(&buf_[top_], row, len);
        Put16(&buf_[kDataHeader + 2 * n_], static_cast<uint32_t>(top_));
        return n_++;
    }
    bool Empty() const { return n_ == 0; }
    const uint8_t* Finish() {
        Put16(&buf_[0x0C], static_cast<uint32_t>(n_));
        Put16(&buf_[0x02], static_cast<uint32_t>(top_ - kDataHeader - 2 * n_));
        return buf_.data();
    }

private:
    uint32_t owner_;
    std::array<uint8_t, kPage> buf_;
    std::size_t n_ = 0;
    std::size_t top_ = kPage;
};

class File {
public:
    explicit File(const std::string& path) : path_(path) {
        f_ = std::fopen(path.c_str(), "wb");
        if (!f_) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
        std::setvbuf(f_, nullptr, _IOFBF, 1 << 20);
    }
    ~File() {
        if (f_) {
            std::fclose(f_);
            std::remove(path_.c_str());
        }
    }
    void WritePage(uint32_t page, const uint8_t* data) {
        if (page != next_) {
            if (std::fseek(f_, static_cast<long>(page) * static_cast<long>(kPage), SEEK_SET) != 0) Fail();
        }
        if (std::fwrite(data, 1, kPage, f_) != kPage) Fail();
        next_ = page + 1;
    }
    void Close() {
        std::FILE* f = f_;
        f_ = nullptr;
        if (std::fclose(f) != 0) {
            std::remove(path_.c_str());
            throw std::runtime_error("cannot write " + path_ + ": " + std::strerror(errno));
        }
    }

private:
    [[noreturn]] void Fail() { throw std::runtime_error("cannot write " + path_ + ": " + std::strerror(errno)); }
    std::string path_;
    std::FILE* f_ = nullptr;
    uint32_t next_ = 0;
};


// The 12 bytes a row holds for a memo: its length with two flags (0x80:
// the bytes follow in the row; 0x40: they are one long-value row; neither:
// a chain of long-value rows), the address (page << 8 | row) of that row
// or of the chain's first, and four bytes of zero.
struct LongValueField {
    std::array<uint8_t, 12> bytes{};
    static LongValueField Inline(std::size_t length);
};

// The long-value pages of one table. Rows are packed as on data pages, on
// pages whose owner reads "LVAL"; each page gets its number from
// `allocate` when it is begun and goes to the file when full, or at Finish.
class LongValuePages {
public:
    LongValuePages(File& file, std::function<uint32_t()> allocate) : file_(file), allocate_(std::move(allocate)) {}
    // Stores `value` (the memo's bytes as the file keeps them) on long-value
    // rows and returns the field that names them.
    LongValueField Store(const std::vector<uint8_t>& value);
    void Finish();

private:
    uint32_t Add(const uint8_t* row, std::size_t len);  // the row's address

    File& file_;
    std::function<uint32_t()> allocate_;
    DataPage page_{kLongValueOwner};
    uint32_t page_no_ = 0;
    bool open_ = false;
};

std::array<uint8_t, kPage> HeaderPage();

// `page` as a page number; throws when the file would outgrow 2^24 pages.
uint32_t CheckedPage(uint64_t page);

}  // namespace mkmdb::detail
