#include "app/version_pages.h"

#include <unistd.h>

#include <cerrno>

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

std::string RowRead(std::string_view page, unsigned row, size_t rowCountOffset) {
    const auto u16 = [&page](size_t at) -> long {
        return at + 2 <= page.size() ? long(uint8_t(page[at]) | uint8_t(page[at + 1]) << 8) : -1;
    };
    const long count = u16(rowCountOffset);
    long start = u16(rowCountOffset + 2 + 2 * size_t(row));
    long end = row == 0 ? long(page.size()) : u16(rowCountOffset + 2 * size_t(row));
    start = start < 0 ? -1 : start & 0x1fff;
    end = end < 0 ? -1 : end & 0x1fff;
    std::string read = std::string(page.substr(0, 1)) + std::to_string(count) + ' ' + std::to_string(start) + ' ' +
                       std::to_string(end) + ' ';
    if (row < count && start >= 0 && start <= end && size_t(end) <= page.size())
        read += page.substr(size_t(start), size_t(end - start));
    return read;
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
