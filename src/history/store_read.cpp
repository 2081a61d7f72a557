// A version read back: its file rebuilt page by page, and checked against
// the whole file's SHA-256, which a page that is not what was stored fails.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <future>

#include "history/pages.h"
#include "history/sqlite.h"
#include "history/store.h"
#include "history/store_rows.h"

namespace history {

namespace {

void WriteAll(int fd, const std::string& data, off_t at) {
    for (size_t done = 0; done < data.size();) {
        const ssize_t n = pwrite(fd, data.data() + done, data.size() - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw errno == ENOSPC || errno == EDQUOT ? vb::DiskFull() : vb::DeviceIOError();
        done += static_cast<size_t>(n);
    }
}

// Pages are fetched a batch at a time on the calling thread (SQLite's
// connection is used by one thread) and unpacked, with `verify` each checked
// against its own hash, on two more threads while the next batch is
// fetched and the last one handed on: unpacking is most of a read's work.
// The calling thread, once it has fetched, unpacks beside them; each takes
// the batch's next page, so that none waits while another has pages left.
constexpr size_t kBatch = 256;
constexpr int kUnpackers = 3;  // two threads of their own and the calling one

struct Stored {
    std::string data;
    Digest hash{};
    size_t size = 0;
    bool packed = false;
    bool found = false;
};

struct Batch {
    std::vector<Stored> stored;
    std::vector<std::string> pages;
    std::vector<char> whole;
    std::atomic<size_t> next{0};
};

// Unpacks the batch's pages not yet taken, one at a time, through its own codec and hash.
void Unpack(Batch& batch, bool verify, PageCodec& codec, Sha256& sha) {
    for (size_t i; (i = batch.next.fetch_add(1)) < batch.stored.size();) {
        const Stored& s = batch.stored[i];
        bool whole = s.found && codec.Unpack(s.data, s.packed, s.size, batch.pages[i]);
        if (whole && verify) whole = sha.Of(batch.pages[i]) == s.hash;
        if (!whole) batch.pages[i].clear();
        batch.whole[i] = whole;
    }
}

void ForEachStored(sql::Connection& db, const std::vector<int64_t>& ids, bool verify,
                   const std::function<void(size_t at, std::string_view page, bool whole)>& each) {
    rows::PageWalk walk(db, "hash, size, packed, data");
    const auto fetch = [&](size_t from, Batch& into) {
        into.stored.resize(std::min(kBatch, ids.size() - from));
        for (size_t i = 0; i < into.stored.size(); ++i) {
            Stored& s = into.stored[i];
            s.found = walk.To(ids[from + i]);
            if (s.found) {
                const sql::Statement& row = walk.Row();
                s.hash = DigestOf(row.Blob(1));
                s.size = static_cast<size_t>(row.Int(2));
                s.packed = row.Int(3) != 0;
                s.data.assign(row.Blob(4));
            }
        }
        into.pages.resize(into.stored.size());
        into.whole.assign(into.stored.size(), 0);
        into.next = 0;
    };
    PageCodec codecs[kUnpackers];
    Sha256 hashes[kUnpackers];
    Batch batches[2];
    // Declared after what they use: leaving early waits for them first.
    std::future<void> helpers[kUnpackers - 1];
    const auto start = [&](int b) {
        for (int h = 0; h < kUnpackers - 1; ++h)
            helpers[h] = std::async(std::launch::async,
                                    [&, b, h] { Unpack(batches[b], verify, codecs[h + 1], hashes[h + 1]); });
    };
    const auto finish = [&](int b) {
        Unpack(batches[b], verify, codecs[0], hashes[0]);
        for (std::future<void>& helper : helpers) helper.get();
    };
    if (ids.empty()) return;
    fetch(0, batches[0]);
    start(0);
    for (size_t from = 0, b = 0;; from += kBatch, b ^= 1) {
        const bool more = from + kBatch < ids.size();
        if (more) fetch(from + kBatch, batches[b ^ 1]);
        finish(int(b));
        if (more) start(int(b ^ 1));
        const Batch& batch = batches[b];
        for (size_t i = 0; i < batch.stored.size(); ++i) each(from + i, batch.pages[i], batch.whole[i]);
        if (!more) break;
    }
}

}  // namespace

void Store::Rebuild(const Version& version, int fd, const std::string& label) {
    const auto damaged = [&label] { return vb::UnrecognizedFormat(label); };
    sql::Transaction reading(*db_, sql::Transaction::Mode::Read);
    std::vector<int64_t> ids;
    {
        sql::Statement list = db_->Prepare("SELECT pages FROM versions WHERE id = ?1");
        list.Bind(1, version.id);
        if (!list.Step()) throw vb::FileNotFound();  // thinned since it was listed
        if (!UnpackList(list.Blob(0), ids)) throw damaged();
        list.Reset();
    }
    Sha256 fileHash;
    std::string pending, behind;
    off_t at = 0, written = 0;
    // Written a megabyte at a time (one call a page would cost more than the
    // page), hashed on one core and written on another while the next
    // megabyte is unpacked. Whatever is thrown, the futures' ends wait for them.
    std::future<void> hashing, writing;
    const auto flush = [&] {
        if (hashing.valid()) hashing.get();
        if (writing.valid()) writing.get();
        std::swap(pending, behind);
        pending.clear();
        hashing = std::async(std::launch::async, [&fileHash, &behind] { fileHash.Add(behind); });
        writing = std::async(std::launch::async, [&behind, fd, from = written] { WriteAll(fd, behind, from); });
        written += static_cast<off_t>(behind.size());
    };
    // Each page is checked through the whole file's hash, which any page
    // that is not the one stored under its hash fails: hashing every page
    // on its own as well would read each byte twice.
    ForEachStored(*db_, ids, false, [&](size_t, std::string_view bytes, bool whole) {
        if (!whole) throw damaged();
        pending += bytes;
        at += static_cast<off_t>(bytes.size());
        if (pending.size() >= (size_t{1} << 20)) flush();
    });
    flush();
    hashing.get();
    writing.get();
    if (at != version.size || fileHash.Finish() != version.hash) throw damaged();
    if (ftruncate(fd, at) != 0) throw vb::DeviceIOError();
    reading.Commit();
}

std::vector<int64_t> Store::PageIds(const Version& version, const std::string& label) {
    sql::Statement list = db_->Prepare("SELECT pages FROM versions WHERE id = ?1");
    list.Bind(1, version.id);
    if (!list.Step()) throw vb::FileNotFound();  // thinned since it was listed
    std::vector<int64_t> ids;
    if (!UnpackList(list.Blob(0), ids)) throw vb::UnrecognizedFormat(label);
    return ids;
}

void Store::ReadPages(const std::vector<int64_t>& ids,
                      const std::function<void(size_t at, std::string_view page, bool whole)>& each) {
    sql::Transaction reading(*db_, sql::Transaction::Mode::Read);
    ForEachStored(*db_, ids, true, each);
    reading.Commit();
}

}  // namespace history
