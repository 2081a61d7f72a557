// A version read back: its file rebuilt page by page, and checked against
// the whole file's SHA-256, which a page that is not what was stored fails.
#include <unistd.h>

#include <cerrno>
#include <future>

#include "history/pages.h"
#include "history/sqlite.h"
#include "history/store.h"

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
    sql::Statement page = db_->Prepare("SELECT hash, size, packed, data FROM pages WHERE id = ?1");
    PageCodec codec;
    Sha256 fileHash;
    std::string bytes, pending, behind;
    off_t at = 0, written = 0;
    // Written a megabyte at a time (one call a page would cost more than the
    // page), hashed and written on a second core while this one unpacks the
    // next megabyte. Whatever is thrown, the future's end waits for it.
    std::future<void> writing;
    const auto flush = [&] {
        if (writing.valid()) writing.get();
        std::swap(pending, behind);
        pending.clear();
        writing = std::async(std::launch::async, [&fileHash, &behind, fd, from = written] {
            fileHash.Add(behind);
            WriteAll(fd, behind, from);
        });
        written += static_cast<off_t>(behind.size());
    };
    for (int64_t id : ids) {
        page.Bind(1, id);
        if (!page.Step()) throw damaged();
        // Each page is checked through the whole file's hash, which any
        // page that is not the one stored under its hash fails: hashing
        // every page on its own as well would read each byte twice.
        const bool whole = codec.Unpack(page.Blob(3), page.Int(2) != 0, static_cast<size_t>(page.Int(1)), bytes);
        page.Reset();
        if (!whole) throw damaged();
        pending += bytes;
        at += static_cast<off_t>(bytes.size());
        if (pending.size() >= (size_t{1} << 20)) flush();
    }
    flush();
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
    sql::Statement page = db_->Prepare("SELECT hash, size, packed, data FROM pages WHERE id = ?1");
    PageCodec codec;
    Sha256 hash;
    std::string bytes;
    for (size_t at = 0; at < ids.size(); ++at) {
        page.Bind(1, ids[at]);
        bool whole = page.Step();
        if (whole) {
            whole = codec.Unpack(page.Blob(3), page.Int(2) != 0, static_cast<size_t>(page.Int(1)), bytes) &&
                    hash.Of(bytes) == DigestOf(page.Blob(0));
        }
        page.Reset();
        if (!whole) bytes.clear();
        each(at, bytes, whole);
    }
    reading.Commit();
}

}  // namespace history
