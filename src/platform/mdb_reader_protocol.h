// The frames the reader child (mdb_reader_main.cpp) writes on file
// descriptor 3 and the window's process (database_libmdb.cpp) decodes.
//
// A frame is one tag byte, a little-endian u32 payload length, the payload:
//   'C' column names:  u32 count, then per name u32 length + UTF-8 bytes
//   'R' one row:       per column a kind byte and its value (see Kind)
//   'E' an error:      i32 number, u32 length + UTF-8 description
//   'Z' the end:       u32 number of rows sent; a result without it is void
// Integers are little-endian; a double is its 8 IEEE bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace platform::reader {

inline constexpr int kProtocolFd = 3;

enum class Kind : uint8_t { Null = 0, Int = 1, Double = 2, Text = 3, Date = 4 };

inline void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
inline void PutU64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
inline void PutText(std::string& out, const std::string& s) {
    PutU32(out, static_cast<uint32_t>(s.size()));
    out += s;
}
inline void PutFrame(std::string& out, char tag, const std::string& payload) {
    out.push_back(tag);
    PutU32(out, static_cast<uint32_t>(payload.size()));
    out += payload;
}

// Reads values from a payload; every read is bounds-checked, and a read past
// the end clears ok() instead of touching memory.
class Cursor {
public:
    Cursor(const char* data, size_t size) : p_(data), left_(size) {}
    bool ok() const { return ok_; }
    bool done() const { return left_ == 0; }

    uint8_t U8() {
        if (!Take(1)) return 0;
        return static_cast<uint8_t>(p_[-1]);
    }
    uint32_t U32() {
        if (!Take(4)) return 0;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(p_[i - 4])) << (8 * i);
        return v;
    }
    uint64_t U64() {
        if (!Take(8)) return 0;
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(p_[i - 8])) << (8 * i);
        return v;
    }
    std::string Bytes(uint32_t n) {
        if (!ok_ || n > left_) {
            ok_ = false;
            return {};
        }
        std::string s(p_, n);
        Take(n);
        return s;
    }
    std::string Text() { return Bytes(U32()); }

private:
    bool Take(size_t n) {
        if (!ok_ || n > left_) {
            ok_ = false;
            return false;
        }
        p_ += n;
        left_ -= n;
        return true;
    }
    const char* p_;
    size_t left_;
    bool ok_ = true;
};

inline uint64_t DoubleBits(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}
inline double BitsDouble(uint64_t u) {
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

}  // namespace platform::reader
