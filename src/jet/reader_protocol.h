// The frames between the window's process (reader_client.cpp) and the
// reader child (reader/main.cpp), both ways on one stream socket that the
// child has as file descriptor 3. The child serves one request at a time and
// answers each in full before it reads the next; it ends when the socket closes.
//
// A frame is one tag byte, a little-endian u32 payload length, the payload.
// Requests (window to reader), each beginning with u32 kProtocolVersion:
//   'Q' a query:      version, u32 length + path, u32 length + SELECT text
//                     (an empty SELECT only checks the file)
//   'P' a probe:      version, u32 length + a folder holding a file "existing"
//                     that the probe tries to write, remove and create beside
//                     (empty: only report the sandbox; reader/sandbox.h)
//   'T' a table:      version, u32 length + path, u32 length + table name,
//                     u32 length + text (empty: every row; else only rows in
//                     which a Text or Memo column holds it, without regard to
//                     case), then the first batch's bounds (see 'N')
//   'N' next batch:   version, u32 most rows, u32 bytes after which the batch
//                     ends (pieces count), u32 most bytes of one row's frame
//                     (its long values go in pieces to stay within it); a
//                     batch also ends after the reader has looked at 20,000
//                     rows, so that a search's batch may hold none
//   'K' a check:      version, u32 length + path, then the first batch's
//                     bounds (as 'N'; a check reads only the bytes)
//   'I' a check of a file of which only some pages are new: as 'K', with
//                     u32 length + a bitmap of the new pages after the path
//                     (reader/check.h)
//   'G' a page search: version, u32 length + path, u32 pages, u32 length +
//                     table name, u32 length + text (as 'T'): the file holds
//                     a version of that many pages in their places, and after
//                     them pages in which other versions differ; answered
//                     with 'H', 'L' and 'Z'
//   'J' pages:        version, u32 count, per task u32 page in the file, u32
//                     its number in the version, u32 count + pairs (u32
//                     version page, u32 file page) of the version's pages
//                     held elsewhere than in their places; then u32 bytes and
//                     u32 a row's bytes (as 'N'). Each task's matching rows,
//                     then 'D'; the batch ends as 'N' does, or after a page
//                     found damaged, with 'B' (u32 tasks done) or 'Z' (all)
// A table is answered in batches: 'H' and the first batch, then one batch
// for each 'N'; so is the whole-file check (reader/check.h): findings, and
// 'W' for a batch that more follow. Any other request ends the table's
// stream or the check, and only 'J' continues a page search; an 'N' with
// neither open, or a 'J' without a page search, is answered with 'E' 3420.
// Answers (reader to window):
//   'C' column names:  u32 count, then per name u32 length + UTF-8 bytes
//   'V' a piece:       u32 slot, then bytes: part of a long value of the next
//                      'R' (text as UTF-8, cut between characters); the
//                      pieces of one slot joined, in order, are the value
//   'R' one row:       per column a kind byte and its value (see Kind)
//   'P' progress:      u32 bytes of long values read since the last frame, sent
//                      while a search reads a long value, which sends nothing else
//   'E' an error:      i32 number, u32 length + UTF-8 description; ends the answer
//   'Z' the end:       u32 number of rows sent; ends the answer, a result without it is void
//                      (of a table: of the last batch, and the stream)
//   'H' a table:       u32 count, then per column u32 length + name and u8 Jet type;
//                      u32 count of primary-key columns, then each one's u32 index;
//                      u32 the count of rows the table's definition holds
//   'B' batch end:     u32 number of rows in this batch; ends the answer, more follow
//   'L' a page search's layout: u32 length + what decoding its rows depends
//                      on besides their page (the columns as libmdb reads
//                      them); u32 count + u32 pages the table's structure
//                      (header, catalogue, definition, usage map) was read
//                      from; u32 count + u32 data pages, in the order read
//   'D' a page done:   u32 rows sent for it, i32 error (0: none), u32 length +
//                      description, u32 count + u32 other pages its rows read,
//                      u32 count + u32 rows of long values they read (page << 8 | row)
//   'F' a finding:     u8 Severity (0 damaged, 1 warning, 2 note), u32 length + what,
//                      u32 length + table (empty: none), u32 page, u32 row (kNoPlace: none)
//   'W' check batch end: u32 findings in this batch, u64 work done, u64 work in all;
//                      ends the answer, more follow
//                      (a check's 'Z' counts the findings of its last batch)
//   'S' sandbox:       u32 Sandbox bits, u32 Landlock ABI (0: none), u32 count, then per
//                      attempt u8 Attempt, u8 refused (1) or done (0), i32 errno; ends the answer
// Integers are little-endian; a double is its 8 IEEE bytes. A request of
// another version is answered with 'E' 3343 and the reader ends.
//
// A Memo or OLE Object value longer than a row's frame may hold comes in
// 'V' frames before its row, a piece at a time, so that neither side's
// limits on a batch or an answer bound the size of one value: only the
// value's own length (Jet's 2^30 bytes as stored) does. Pieces and 'P'
// frames do not count against the answer's size cap, and their progress
// moves the request's deadline and CPU seconds on (reader_client.cpp).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace jet::reader {

inline constexpr int kProtocolFd = 3;
inline constexpr uint32_t kProtocolVersion = 6;
// The most one 'V' frame carries (a piece of text is at most three times
// the bytes it is stored in), and the most the pieces and progress of one
// answer count in all.
inline constexpr uint32_t kMostPieceBytes = 1u << 20;
inline constexpr uint64_t kMostPiecesBytes = 4ull << 30;
// A finding's page or row that does not apply.
inline constexpr uint32_t kNoPlace = 0xFFFFFFFF;
inline constexpr uint32_t kMaxRequestBytes = 64 * 1024;

// What the sandbox answer says was set up.
// kIncomplete: something the kernel offers could not be set up; such a
// reader answers every query with 3343 and reads no database.
enum Sandbox : uint32_t { kNoNewPrivs = 1, kSeccomp = 2, kLandlock = 4, kIncomplete = 8 };

// What the probe tries, inside the folder it is given.
enum class Attempt : uint8_t { OpenForWriting = 1, CreateFile = 2, RemoveFile = 3, Execute = 4, OpenSocket = 5 };

struct ProbeOutcome {
    Attempt attempt;
    bool refused;
    int error;  // errno of the refusal, 0 when the attempt succeeded
};

// Said once on stderr by a program whose reader runs without a Landlock
// ruleset, or without a seccomp filter, because the kernel offers none, or
// whose reader could not set up its sandbox.
inline constexpr const char* kNoLandlockNotice =
    "restore-rolvane-data: this kernel offers no Landlock; databases are read without a read-only file-system ruleset\n";
inline constexpr const char* kNoSeccompNotice =
    "restore-rolvane-data: this kernel offers no seccomp filter; databases are read without a system-call allow-list\n";
inline constexpr const char* kSandboxFailedNotice =
    "restore-rolvane-data: the database reader's sandbox could not be set up; no database is read\n";

// Currency (the scaled i64), YesNo (u8) and Bytes (u32 length + bytes) are
// sent for tables only; a query sends them as Double, Int and Text.
// TextPieces and BytesPieces (u32 slot, u64 length) are a Text or Bytes
// value sent in the 'V' frames of that slot before the row.
enum class Kind : uint8_t {
    Null = 0, Int = 1, Double = 2, Text = 3, Date = 4, Currency = 5, YesNo = 6, Bytes = 7,
    TextPieces = 8, BytesPieces = 9,
};

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

}  // namespace jet::reader
