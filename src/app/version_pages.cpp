#include "app/version_pages.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "history/version_file.h"
#include "jet/libmdb_engine.h"
#include "records/engine_source.h"
#include "records/source.h"

namespace app {

void PageWriter::Put(uint64_t page, std::string_view bytes) {
    if (pending_.empty() || page * pageSize_ != at_ + pending_.size() || pending_.size() >= (size_t{1} << 20)) {
        Flush();
        at_ = page * pageSize_;
    }
    pending_ += bytes;
    if (bytes.size() < pageSize_) Flush();  // a short last page: nothing follows it
}

void PageWriter::Flush() {
    for (size_t done = 0; done < pending_.size();) {
        const ssize_t n = pwrite(fd_, pending_.data() + done, pending_.size() - done, off_t(at_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw errno == ENOSPC || errno == EDQUOT ? vb::DiskFull() : vb::DeviceIOError();
        done += size_t(n);
    }
    pending_.clear();
}

FileView::FileView(int fd, size_t pageSize) : pageSize_(pageSize) {
    struct stat st {};
    if (fstat(fd, &st) != 0) throw vb::DeviceIOError();
    size_ = size_t(st.st_size);
    if (size_ == 0) return;
    void* bytes = mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0);
    if (bytes == MAP_FAILED) throw vb::DeviceIOError();
    bytes_ = static_cast<const char*>(bytes);
}

FileView::~FileView() {
    if (bytes_) munmap(const_cast<char*>(bytes_), size_);
}

std::string_view FileView::Page(uint64_t at) const {
    const uint64_t from = at * pageSize_;
    if (from >= size_) return {};
    return std::string_view(bytes_ + from, std::min<uint64_t>(pageSize_, size_ - from));
}

namespace {

// RowRead in two parts: what says where the row lies (short enough to be
// kept in place), and the row's bytes as the page holds them.
std::pair<std::string, std::string_view> RowReadParts(std::string_view page, unsigned row, size_t rowCountOffset) {
    const auto u16 = [&page](size_t at) -> long {
        return at + 2 <= page.size() ? long(uint8_t(page[at]) | uint8_t(page[at + 1]) << 8) : -1;
    };
    const long count = u16(rowCountOffset);
    long start = u16(rowCountOffset + 2 + 2 * size_t(row));
    long end = row == 0 ? long(page.size()) : u16(rowCountOffset + 2 * size_t(row));
    start = start < 0 ? -1 : start & 0x1fff;
    end = end < 0 ? -1 : end & 0x1fff;
    std::string head(page.substr(0, 1));
    for (const int32_t field : {int32_t(count), int32_t(start), int32_t(end)})
        head.append(reinterpret_cast<const char*>(&field), sizeof field);
    std::string_view bytes;
    if (row < count && start >= 0 && start <= end && size_t(end) <= page.size())
        bytes = page.substr(size_t(start), size_t(end - start));
    return {head, bytes};
}

}  // namespace

std::string RowRead(std::string_view page, unsigned row, size_t rowCountOffset) {
    auto [head, bytes] = RowReadParts(page, row, rowCountOffset);
    return head.append(bytes);
}

bool ReadsAs(std::string_view page, unsigned row, size_t rowCountOffset, std::string_view read) {
    const auto [head, bytes] = RowReadParts(page, row, rowCountOffset);
    return read.size() == head.size() + bytes.size() && read.substr(0, head.size()) == head &&
           read.substr(head.size()) == bytes;
}

std::string PageRead(std::string_view page, size_t rowCountOffset) {
    std::string read(page);
    const auto u16 = [&page](size_t at) { return size_t(uint8_t(page[at]) | uint8_t(page[at + 1]) << 8); };
    if (page.size() < rowCountOffset + 2 || page[0] != 0x01) return read;
    const size_t rows = u16(rowCountOffset), table = rowCountOffset + 2 + 2 * rows;
    if (table > page.size()) return read;
    size_t lowest = page.size();
    for (size_t r = 0; r < rows; ++r) lowest = std::min(lowest, u16(rowCountOffset + 2 + 2 * r) & 0x1fff);
    if (lowest > table) std::fill(read.begin() + long(table), read.begin() + long(lowest), '\0');
    return read;
}

std::vector<size_t> SameLayout(history::Store& store, const std::vector<std::vector<int64_t>>& ids,
                               const std::vector<size_t>& versions, size_t first,
                               const std::vector<uint32_t>& structure, size_t pageSize,
                               std::unordered_map<int64_t, std::string>& reads) {
    const std::vector<int64_t>& own = ids[first];
    const auto differs = [&](size_t v, uint32_t pg) { return pg >= own.size() || ids[v][pg] != own[pg]; };
    std::vector<size_t> alike;
    for (size_t v : versions)
        if (v != first && ids[v].size() == own.size()) alike.push_back(v);
    std::vector<int64_t> unread;
    for (size_t v : alike)
        for (uint32_t pg : structure)
            if (pg < own.size() && differs(v, pg))
                for (int64_t id : {ids[v][pg], own[pg]})
                    if (!reads.count(id) && std::find(unread.begin(), unread.end(), id) == unread.end())
                        unread.push_back(id);
    store.ReadPages(unread, [&](size_t k, std::string_view page, bool good) {
        reads[unread[k]] = good ? PageRead(page, RowCountOffset(pageSize)) : std::string();
    });
    std::erase_if(alike, [&](size_t v) {
        return !std::all_of(structure.begin(), structure.end(), [&](uint32_t pg) {
            if (pg >= own.size()) return false;
            if (!differs(v, pg)) return true;
            const std::string& read = reads.at(ids[v][pg]);
            return !read.empty() && read == reads.at(own[pg]);
        });
    });
    return alike;
}

void KeepPlaces(PageResult& result) {
    result.places.clear();
    for (const PageResult::Read& read : result.read) result.places.push_back(read.page);
    for (const PageResult::ValueRow& row : result.valueRows) result.places.push_back(row.pgRow >> 8);
    std::sort(result.places.begin(), result.places.end());
    result.places.erase(std::unique(result.places.begin(), result.places.end()), result.places.end());
}

void ShareSearches(const std::vector<const PageResult*>& before, const std::vector<int64_t>& beforeIds,
                   std::vector<const PageResult*>& got, const std::vector<int64_t>& ids,
                   const std::vector<uint32_t>& data, const std::function<bool(const PageResult&)>& fits) {
    std::vector<char> differs(ids.size());
    for (size_t q = 0; q < ids.size(); ++q) differs[q] = q >= beforeIds.size() || ids[q] != beforeIds[q];
    const auto at = [&](uint32_t q) { return q < differs.size() && differs[q]; };
    const auto touched = [&](const PageResult& r) { return std::any_of(r.places.begin(), r.places.end(), at); };
    for (size_t k = 0; k < data.size(); ++k) {
        const PageResult* r = before[k];
        if (got[k] || !r || data[k] >= ids.size() || differs[data[k]]) continue;
        if (!touched(*r) || fits(*r)) got[k] = r;
    }
}

std::string UnbuiltReason(const history::Version& version, const std::string& edition, const vb::Error& error) {
    const std::string named = "Version " + std::to_string(version.number);
    return error.Number() == vb::kUnrecognizedFormat
               ? named + " of the " + edition +
                     " edition is damaged in the history store (it fails its hash); it is never put back."
               : named + " cannot be read from the history store: " + error.Description();
}

void SearchWhole(history::Store& store, VersionFound& found, const std::string& edition, const std::string& text,
                 const std::string& readerPath) {
    history::VersionFile file(store.Folder());
    try {
        store.Rebuild(found.version, file.Fd(), "version " + std::to_string(found.version.number));
    } catch (const vb::Error& error) {
        found.unbuilt = UnbuiltReason(found.version, edition, error);
        found.error = vb::Error(vb::kUnrecognizedFormat, "it cannot be rebuilt from the history store");
        return;
    }
    try {
        jet::LibmdbEngine engine([](const std::string& path) { return path; }, readerPath);
        std::unique_ptr<ports::Database> db = engine.OpenDatabase(file.Path());
        std::unique_ptr<ports::RowStream> rows = db->FindRecords(records::kContactsTable, text);
        for (const ports::ColumnInfo& column : rows->Columns())
            found.table.columns.push_back({column.name, records::KindOf(column.type)});
        found.table.primaryKey = rows->PrimaryKey();
        for (records::Record row; rows->Next(row);) found.table.records.push_back(std::move(row));
    } catch (const vb::Error& error) {
        found.error = error;  // the records read before it still count
    }
}

}  // namespace app
