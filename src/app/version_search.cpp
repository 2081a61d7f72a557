#include "app/version_search.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "history/version_file.h"
#include "jet/reader_client.h"
#include "records/engine_source.h"
#include "records/source.h"

namespace app {

namespace {

// A version whose long values lead through more pages that differ from the
// group's first than this is searched no further (its chains loop, say).
constexpr int kMostRounds = 16;
// Tasks a reader takes from the others at a time.
constexpr size_t kChunk = 512;

// One data page searched as one version holds it: its rows, its failure,
// and the other pages its rows read, each with the stored page read there
// (-1: past the version's end, the same for every version of the group).
struct PageResult {
    std::vector<records::Record> rows;
    std::optional<vb::Error> error;
    std::vector<std::pair<uint32_t, int64_t>> read;
};

// A data page to search, and the stored page at each place it moves.
struct Ask {
    jet::PageTask task;
    int64_t id = 0;  // the stored page searched
    std::vector<int64_t> movedIds;
};

// Appends pages to a file a megabyte at a time.
class Appender {
public:
    explicit Appender(int fd) : fd_(fd) {}
    void Add(std::string_view page) {
        pending_ += page;
        if (pending_.size() >= (size_t{1} << 20)) Flush();
    }
    void Flush() {
        for (size_t done = 0; done < pending_.size();) {
            const ssize_t n = pwrite(fd_, pending_.data() + done, pending_.size() - done, at_ + off_t(done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw errno == ENOSPC || errno == EDQUOT ? vb::DiskFull() : vb::DeviceIOError();
            done += size_t(n);
        }
        at_ += off_t(pending_.size());
        pending_.clear();
    }

private:
    int fd_;
    off_t at_ = 0;
    std::string pending_;
};

class Search {
public:
    Search(history::Store& store, const std::vector<history::Version>& versions, const std::string& edition,
           const std::string& text, const std::string& readerPath, unsigned readers,
           const std::function<bool()>& stopped)
        : store_(store), edition_(edition), text_(text), stopped_(stopped), found_(versions.size()),
          ids_(versions.size()) {
        for (unsigned r = 0; r < std::max(1u, readers); ++r)
            readers_.push_back(std::make_unique<jet::ReaderProcess>(readerPath, jet::ReaderLimits{}));
        opened_.resize(readers_.size());
        for (size_t v = 0; v < versions.size(); ++v) found_[v].version = versions[v];
    }

    std::vector<VersionFound> Run() {
        std::vector<size_t> left;
        for (size_t v = 0; v < found_.size(); ++v) {
            try {
                ids_[v] = store_.PageIds(found_[v].version, Label(v));
                left.push_back(v);
            } catch (const history::StoreRefused&) {
                throw;
            } catch (const vb::Error& error) {
                Unbuilt(v, error);
            }
        }
        while (!left.empty() && !Stopped()) {
            const std::vector<size_t> group = SearchGroup(left);
            std::erase_if(left, [&](size_t v) { return std::find(group.begin(), group.end(), v) != group.end(); });
        }
        return std::move(found_);
    }

private:
    bool Stopped() const { return stopped_ && stopped_(); }
    std::string Label(size_t v) const { return "version " + std::to_string(found_[v].version.number); }
    void Unbuilt(size_t v, const vb::Error& error) {
        found_[v].unbuilt = UnbuiltReason(found_[v].version, edition_, error);
        found_[v].error = vb::Error(vb::kUnrecognizedFormat, "it cannot be rebuilt from the history store");
    }

    // Searches the group of the first of `left`; returns its versions.
    std::vector<size_t> SearchGroup(const std::vector<size_t>& left) {
        const size_t first = left.front();
        group0_ = first;
        const std::vector<int64_t>& own = ids_[first];
        file_ = std::make_unique<history::VersionFile>(store_.Folder());
        path_ = file_->Path();
        pages_ = static_cast<uint32_t>(own.size());
        placed_.clear();
        sizes_.clear();
        Appender append(file_->Fd());
        bool whole = true;
        int64_t bytes = 0;
        store_.ReadPages(own, [&](size_t at, std::string_view page, bool good) {
            whole = whole && good;
            bytes += int64_t(page.size());
            sizes_[own[at]] = page.size();
            placed_.emplace(own[at], uint32_t(at));
            append.Add(page);
        });
        append.Flush();
        if (!whole || bytes != found_[first].version.size) {
            Unbuilt(first, vb::UnrecognizedFormat(Label(first)));
            return {first};
        }
        jet::PagesLayout layout;
        try {
            layout = readers_[0]->OpenPages(path_, path_, pages_, records::kContactsTable, text_);
            opened_[0] = path_;
        } catch (const vb::Error& error) {
            found_[first].error = error;
            return {first};
        }
        std::vector<size_t> members{first};
        for (size_t v : left) {
            const bool same = v != first && ids_[v].size() == own.size() &&
                              found_[v].version.size == found_[first].version.size &&
                              std::all_of(layout.structure.begin(), layout.structure.end(),
                                          [&](uint32_t pg) { return pg < pages_ && ids_[v][pg] == own[pg]; });
            if (same) members.push_back(v);
        }
        done_.clear();
        PlaceOthers(members, append);
        Resolve(members, layout);
        members.insert(members.end(), done_.begin(), done_.end());
        return members;
    }

    // Writes the members' pages that the first lacks after its own, each
    // checked: a member with a page that fails is damaged, and leaves the
    // group with its own verdict. A page shorter than a whole one (the end
    // of a file that is not all pages) cannot be placed: its version is
    // left for a group of its own.
    void PlaceOthers(std::vector<size_t>& members, Appender& append) {
        const size_t first = members[0];
        std::vector<int64_t> wanted;
        std::unordered_set<int64_t> seen;
        for (size_t v : members)
            for (int64_t id : ids_[v])
                if (!placed_.count(id) && seen.insert(id).second) wanted.push_back(id);
        const size_t whole = sizes_[ids_[first][0]];
        std::unordered_set<int64_t> bad, part;
        uint32_t end = pages_;
        store_.ReadPages(wanted, [&](size_t at, std::string_view page, bool good) {
            if (!good) bad.insert(wanted[at]);
            else if (page.size() != whole) part.insert(wanted[at]);
            if (!good || page.size() != whole) return;
            sizes_[wanted[at]] = page.size();
            placed_.emplace(wanted[at], end++);
            append.Add(page);
        });
        append.Flush();
        std::erase_if(members, [&](size_t v) {
            if (v == first) return false;
            int64_t bytes = 0;
            bool placeable = true;
            for (int64_t id : ids_[v]) {
                if (bad.count(id)) {
                    Unbuilt(v, vb::UnrecognizedFormat(Label(v)));
                    done_.push_back(v);
                    return true;
                }
                placeable = placeable && !part.count(id);
                bytes += int64_t(sizes_[id]);
            }
            if (!placeable) return true;
            if (bytes == found_[v].version.size) return false;
            Unbuilt(v, vb::UnrecognizedFormat(Label(v)));
            done_.push_back(v);
            return true;
        });
    }

    // Searches each data page of the members once for each content it has
    // with the pages its rows read, then gives each member its records.
    void Resolve(const std::vector<size_t>& members, const jet::PagesLayout& layout) {
        const std::vector<uint32_t>& data = layout.dataPages;
        const std::vector<int64_t>& own = ids_[members[0]];
        // A deque, whose elements stay where they are as more come.
        std::map<std::pair<uint32_t, int64_t>, std::deque<PageResult>> results;
        std::vector<std::vector<const PageResult*>> got(members.size(), std::vector<const PageResult*>(data.size()));
        const auto fits = [](const PageResult& r, const std::vector<int64_t>& ids) {
            return std::all_of(r.read.begin(), r.read.end(),
                               [&](const auto& read) { return read.second < 0 || ids[read.first] == read.second; });
        };
        for (int round = 0; round < kMostRounds && !Stopped(); ++round) {
            std::map<std::tuple<uint32_t, int64_t, std::vector<std::pair<uint32_t, uint32_t>>>, size_t> asked;
            std::vector<Ask> asks;
            for (size_t m = 0; m < members.size(); ++m) {
                const std::vector<int64_t>& ids = ids_[members[m]];
                for (size_t k = 0; k < data.size(); ++k) {
                    const uint32_t pg = data[k];
                    if (got[m][k] || pg >= pages_) continue;
                    const auto key = std::make_pair(pg, ids[pg]);
                    std::set<uint32_t> differ;  // where a search of this page read, and this version differs
                    for (const PageResult& r : results[key]) {
                        if (fits(r, ids)) {
                            got[m][k] = &r;
                            break;
                        }
                        for (const auto& [q, id] : r.read)
                            if (id >= 0 && ids[q] != own[q]) differ.insert(q);
                    }
                    if (got[m][k]) continue;
                    Ask ask{{placed_.at(ids[pg]), pg, {}}, ids[pg], {}};
                    for (uint32_t q : differ) {
                        ask.task.moved.emplace_back(q, placed_.at(ids[q]));
                        ask.movedIds.push_back(ids[q]);
                    }
                    if (asked.emplace(std::make_tuple(pg, ids[pg], ask.task.moved), asks.size()).second)
                        asks.push_back(std::move(ask));
                }
            }
            if (asks.empty()) break;
            std::vector<PageResult> done = RunAsks(asks);
            for (size_t a = 0; a < asks.size(); ++a)
                results[{asks[a].task.versionPage, asks[a].id}].push_back(std::move(done[a]));
        }
        std::vector<records::Column> columns;
        for (const ports::ColumnInfo& column : layout.head.columns)
            columns.push_back({column.name, records::KindOf(column.type)});
        for (size_t m = 0; m < members.size(); ++m) {
            VersionFound& found = found_[members[m]];
            found.table.columns = columns;
            found.table.primaryKey = layout.head.primaryKey;
            found.table.storedCount = layout.head.storedRows;
            for (size_t k = 0; k < data.size() && !found.error; ++k) {
                const PageResult* r = got[m][k];
                if (!r) {
                    found.error = Stopped() ? vb::Error(vb::kUserInterrupt, "the search was stopped")
                                            : vb::UnrecognizedFormat(path_).WithDetail(
                                                  "the long values of page " + std::to_string(data[k]) +
                                                  " lead through too many pages");
                    break;
                }
                found.table.records.insert(found.table.records.end(), r->rows.begin(), r->rows.end());
                found.error = r->error;
            }
        }
    }

    // The asks searched by every reader at once, each taking kChunk at a
    // time; a batch a reader fails is asked again a page at a time, so
    // that the failure is the page's that caused it.
    std::vector<PageResult> RunAsks(const std::vector<Ask>& asks) {
        std::vector<PageResult> out(asks.size());
        std::atomic<size_t> next{0};
        const auto work = [&](size_t w) {
            jet::ReaderProcess& reader = *readers_[w];
            for (size_t from; (from = next.fetch_add(kChunk)) < asks.size();) {
                const size_t to = std::min(asks.size(), from + kChunk);
                bool single = false;
                for (size_t at = from; at < to;) {
                    if (Stopped()) return;
                    std::vector<jet::PageTask> tasks;
                    for (size_t a = at; a < (single ? at + 1 : to); ++a) tasks.push_back(asks[a].task);
                    try {
                        if (!reader.Paging() || opened_[w] != path_) {
                            reader.OpenPages(path_, path_, pages_, records::kContactsTable, text_);
                            opened_[w] = path_;
                        }
                        std::vector<jet::PageFound> found = reader.SearchPages(tasks, path_, path_);
                        for (jet::PageFound& page : found) Take(asks[at], page, out[at]), ++at;
                    } catch (const vb::Error& error) {
                        if (!single && tasks.size() > 1) {
                            single = true;
                            continue;
                        }
                        out[at++].error = error;
                    }
                }
            }
        };
        std::vector<std::thread> threads;
        for (size_t w = 1; w < readers_.size() && w * kChunk < asks.size(); ++w) threads.emplace_back(work, w);
        work(0);
        for (std::thread& thread : threads) thread.join();
        return out;
    }

    void Take(const Ask& ask, jet::PageFound& page, PageResult& result) {
        const std::vector<int64_t>& own = ids_[group0_];
        result.rows = std::move(page.rows);
        result.error = std::move(page.error);
        for (uint32_t q : page.read) {
            int64_t id = q < pages_ ? own[q] : -1;
            for (size_t i = 0; i < ask.task.moved.size(); ++i)
                if (ask.task.moved[i].first == q) id = ask.movedIds[i];
            result.read.emplace_back(q, id);
        }
    }

    history::Store& store_;
    const std::string& edition_;
    const std::string& text_;
    const std::function<bool()>& stopped_;
    std::vector<VersionFound> found_;
    std::vector<std::vector<int64_t>> ids_;
    std::vector<std::unique_ptr<jet::ReaderProcess>> readers_;
    std::vector<std::string> opened_;  // the file each reader's page search is open on
    // The group being searched: its file, the first version's count of
    // pages, where the file holds each stored page, and their sizes.
    std::unique_ptr<history::VersionFile> file_;
    std::string path_;
    uint32_t pages_ = 0;
    size_t group0_ = 0;
    std::unordered_map<int64_t, uint32_t> placed_;
    std::unordered_map<int64_t, size_t> sizes_;
    std::vector<size_t> done_;  // versions of the group found damaged before their search
};

}  // namespace

std::string UnbuiltReason(const history::Version& version, const std::string& edition, const vb::Error& error) {
    const std::string named = "Version " + std::to_string(version.number);
    return error.Number() == vb::kUnrecognizedFormat
               ? named + " of the " + edition +
                     " edition is damaged in the history store (it fails its hash); it is never put back."
               : named + " cannot be read from the history store: " + error.Description();
}

std::vector<VersionFound> SearchVersions(history::Store& store, const std::vector<history::Version>& versions,
                                         const std::string& edition, const std::string& text,
                                         const std::string& readerPath, unsigned readers,
                                         const std::function<bool()>& stopped) {
    return Search(store, versions, edition, text, readerPath, readers, stopped).Run();
}

}  // namespace app
