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

#include "app/version_pages.h"
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

// The search of one run. Every group is read from one file: the group's
// first version's pages in their places (the first pages of the file, as
// many as the longest version has), and after them, in the pool, once
// each, every page a version of any group holds elsewhere than the first
// of its own group; a new group rewrites only the places where its first
// version differs from the last group's.
class Search {
public:
    Search(history::Store& store, const std::vector<history::Version>& versions, const std::string& edition,
           const std::string& text, const std::string& readerPath, unsigned readers,
           const std::function<bool()>& stopped)
        : store_(store), edition_(edition), text_(text), readerPath_(readerPath), stopped_(stopped),
          found_(versions.size()), ids_(versions.size()) {
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
                if (ids_[v].empty()) {
                    SearchWhole(store_, found_[v], edition_, text_, readerPath_);  // an empty file, which the reader refuses as it is
                    continue;
                }
                left.push_back(v);
                places_ = std::max<uint64_t>(places_, ids_[v].size());
            } catch (const history::StoreRefused&) {
                throw;
            } catch (const vb::Error& error) {
                Unbuilt(v, error);
            }
        }
        if (left.empty()) return std::move(found_);
        file_ = std::make_unique<history::VersionFile>(store_.Folder());
        pageSize_ = size_t(found_[left.front()].version.pageSize);
        path_ = file_->Path();
        natural_.assign(places_, -1);
        while (!left.empty() && !Stopped()) {
            const std::vector<size_t> group = SearchGroup(left);
            std::erase_if(left, [&](size_t v) { return std::find(group.begin(), group.end(), v) != group.end(); });
        }
        for (size_t v : left) found_[v].error = vb::Error(vb::kUserInterrupt, "the search was stopped");
        return std::move(found_);
    }

private:
    bool Stopped() const { return stopped_ && stopped_(); }
    std::string Label(size_t v) const { return "version " + std::to_string(found_[v].version.number); }
    void Unbuilt(size_t v, const vb::Error& error) {
        found_[v].unbuilt = UnbuiltReason(found_[v].version, edition_, error);
        found_[v].error = vb::Error(vb::kUnrecognizedFormat, "it cannot be rebuilt from the history store");
    }
    int64_t Bytes(size_t v) {
        int64_t bytes = 0;
        for (int64_t id : ids_[v]) bytes += int64_t(sizes_[id]);
        return bytes;
    }

    // Searches the group of the first of `left`; returns its versions.
    std::vector<size_t> SearchGroup(const std::vector<size_t>& left) {
        const size_t first = left.front();
        const std::vector<int64_t>& own = ids_[first];
        pages_ = static_cast<uint32_t>(own.size());
        if (size_t(found_[first].version.pageSize) != pageSize_) {
            SearchWhole(store_, found_[first], edition_, text_, readerPath_);
            return {first};
        }
        if (!Place(first)) return {first};
        if (Bytes(first) != int64_t(pages_ * pageSize_)) {
            // Not whole pages (the reader refuses such a file): searched as
            // it is, rebuilt alone.
            natural_[pages_ - 1] = -1;
            SearchWhole(store_, found_[first], edition_, text_, readerPath_);
            return {first};
        }
        ++group_;
        jet::PagesLayout layout;
        try {
            layout = readers_[0]->OpenPages(path_, path_, pages_, records::kContactsTable, text_);
            opened_[0] = group_;
        } catch (const vb::Error& error) {
            found_[first].error = error;
            return {first};
        }
        std::string decoding = layout.decoding;
        decoding.append(reinterpret_cast<const char*>(&own[0]), sizeof own[0]);  // the header's page
        decoding_ = decodings_.emplace(decoding, int(decodings_.size())).first->second;
        std::vector<size_t> members{first};
        for (size_t v : SameLayout(store_, ids_, left, first, layout.structure, pageSize_, pageReads_))
            if (found_[v].version.size == found_[first].version.size) members.push_back(v);
        naturalAt_.clear();
        for (uint32_t pg = 0; pg < pages_; ++pg) naturalAt_.emplace(natural_[pg], pg);
        done_.clear();
        PlaceOthers(members);
        Resolve(members, layout);
        members.insert(members.end(), done_.begin(), done_.end());
        return members;
    }

    // Puts the first version's pages in their places: from the pool where
    // it holds them, else from the store, each checked. False, the version
    // told damaged, when one fails.
    bool Place(size_t first) {
        const std::vector<int64_t>& own = ids_[first];
        std::vector<int64_t> wanted;
        std::vector<uint32_t> at;
        PageWriter write(file_->Fd(), pageSize_);
        std::string page;
        for (uint32_t pg = 0; pg < own.size(); ++pg) {
            if (natural_[pg] == own[pg]) continue;
            if (const auto pooled = pool_.find(own[pg]); pooled != pool_.end()) {
                page.resize(pageSize_);
                if (pread(file_->Fd(), page.data(), pageSize_, off_t(pooled->second * pageSize_)) != off_t(pageSize_))
                    throw vb::DeviceIOError();
                write.Put(pg, page);
                natural_[pg] = own[pg];
            } else {
                wanted.push_back(own[pg]);
                at.push_back(pg);
            }
        }
        bool whole = true;
        store_.ReadPages(wanted, [&](size_t k, std::string_view bytes, bool good) {
            if (!good) {
                whole = false;
                bad_.insert(wanted[k]);
                natural_[at[k]] = -1;
                return;
            }
            sizes_[wanted[k]] = bytes.size();
            write.Put(at[k], bytes);
            natural_[at[k]] = wanted[k];
        });
        write.Flush();
        if (whole && Bytes(first) == found_[first].version.size) return true;
        Unbuilt(first, vb::UnrecognizedFormat(Label(first)));
        return false;
    }

    // Writes the members' pages that the first lacks to the pool, each
    // checked: a member with a page that fails is damaged, and leaves the
    // group with its own verdict. A page shorter than a whole one (the end
    // of a file that is not all pages) leaves its version for later. A
    // member holds what the one before it holds but in a few places: only
    // those places are looked at, and its pages' sizes and failures are the
    // one before's, changed there.
    void PlaceOthers(std::vector<size_t>& members) {
        const auto differing = [&](size_t m, const auto& at) {
            const std::vector<int64_t>& ids = ids_[members[m]];
            const std::vector<int64_t>& before = ids_[members[m - 1]];
            for (size_t pg = 0; pg < ids.size(); ++pg)
                if (ids[pg] != before[pg]) at(before[pg], ids[pg]);
        };
        std::vector<int64_t> wanted;
        std::unordered_set<int64_t> seen;
        for (size_t m = 1; m < members.size(); ++m)
            differing(m, [&](int64_t, int64_t id) {
                if (!naturalAt_.count(id) && !pool_.count(id) && !bad_.count(id) && seen.insert(id).second)
                    wanted.push_back(id);
            });
        std::sort(wanted.begin(), wanted.end());  // read in the order the store keeps them
        std::unordered_set<int64_t> part;
        PageWriter write(file_->Fd(), pageSize_);
        store_.ReadPages(wanted, [&](size_t k, std::string_view page, bool good) {
            if (!good) bad_.insert(wanted[k]);
            if (!good) return;
            sizes_[wanted[k]] = page.size();
            if (page.size() != pageSize_) {
                part.insert(wanted[k]);
                return;
            }
            const uint64_t at = places_ + pool_.size();
            pool_.emplace(wanted[k], at);
            write.Put(at, page);
        });
        write.Flush();
        // The first's pages are all whole and good.
        int64_t bytes = Bytes(members[0]);
        int64_t bad = 0, partial = 0;
        std::vector<char> leaves(members.size());
        const auto size = [this](int64_t id) {
            const auto known = sizes_.find(id);
            return known == sizes_.end() ? int64_t{0} : int64_t(known->second);
        };
        for (size_t m = 1; m < members.size(); ++m) {
            const size_t v = members[m];
            differing(m, [&](int64_t was, int64_t id) {
                bytes += size(id) - size(was);
                bad += int64_t(bad_.count(id)) - int64_t(bad_.count(was));
                partial += int64_t(part.count(id)) - int64_t(part.count(was));
            });
            if (bad > 0 || (partial == 0 && bytes != found_[v].version.size)) {
                Unbuilt(v, vb::UnrecognizedFormat(Label(v)));
                done_.push_back(v);
            }
            leaves[m] = bad > 0 || partial > 0 || bytes != found_[v].version.size;
        }
        for (size_t m = members.size(); m-- > 1;)
            if (leaves[m]) members.erase(members.begin() + long(m));
    }

    // Where the file holds a stored page for the group being searched.
    uint32_t Where(int64_t id, uint32_t place) const {
        if (place < pages_ && natural_[place] == id) return place;
        if (const auto pooled = pool_.find(id); pooled != pool_.end()) return static_cast<uint32_t>(pooled->second);
        return naturalAt_.at(id);  // the first version holds it in another place
    }

    // Searches each data page of the members once for each content it has
    // with the pages its rows read, then gives each member its records.
    void Resolve(const std::vector<size_t>& members, const jet::PagesLayout& layout) {
        const std::vector<uint32_t>& data = layout.dataPages;
        // The file is whole for this group from here on.
        view_ = std::make_unique<FileView>(file_->Fd(), pageSize_);
        std::vector<std::vector<const PageResult*>> got(members.size(), std::vector<const PageResult*>(data.size()));
        // A search applies to a version that holds what its rows read: the
        // same pages, or for a page of long values the same rows.
        const auto fits = [this](const PageResult& r, const std::vector<int64_t>& ids) {
            for (const PageResult::Read& read : r.read)
                if (read.id >= 0 && !read.byRows && ids[read.page] != read.id) return false;
            for (const PageResult::ValueRow& row : r.valueRows) {
                const uint32_t q = row.pgRow >> 8;
                if (row.id < 0 || ids[q] == row.id) continue;
                if (!ReadsAs(view_->Page(Where(ids[q], q)), row.pgRow & 0xff, RowCountOffset(pageSize_), row.read))
                    return false;
            }
            return true;
        };
        // From the second round on, a member first takes the one before's searches.
        std::vector<char> shared(members.size());
        for (int round = 0; round < kMostRounds && !Stopped(); ++round) {
            std::map<std::tuple<uint32_t, int64_t, std::vector<std::pair<uint32_t, uint32_t>>>, size_t> asked;
            std::vector<Ask> asks;
            for (size_t m = 0; m < members.size(); ++m) {
                const std::vector<int64_t>& ids = ids_[members[m]];
                if (m > 0 && round > 0 && !shared[m]) {
                    ShareSearches(got[m - 1], ids_[members[m - 1]], got[m], ids, data,
                                  [&](const PageResult& r) { return fits(r, ids); });
                    shared[m] = 1;
                }
                for (size_t k = 0; k < data.size(); ++k) {
                    const uint32_t pg = data[k];
                    if (got[m][k] || pg >= pages_) continue;
                    // The page of the member before: its search is asked for once.
                    if (m > 0 && round == 0 && ids[pg] == ids_[members[m - 1]][pg] && !got[m - 1][k]) continue;
                    std::deque<PageResult>& known = results_[{decoding_, pg, ids[pg]}];
                    std::set<uint32_t> differ;  // where a search of this page read, and this version differs
                    for (const PageResult& r : known) {
                        if (fits(r, ids)) {
                            got[m][k] = &r;
                            break;
                        }
                        for (const PageResult::Read& read : r.read)
                            if (read.id >= 0 && ids[read.page] != natural_[read.page]) differ.insert(read.page);
                    }
                    if (got[m][k]) continue;
                    Ask ask{{Where(ids[pg], pg), pg, {}}, ids[pg], {}};
                    for (uint32_t q : differ) {
                        ask.task.moved.emplace_back(q, Where(ids[q], q));
                        ask.movedIds.push_back(ids[q]);
                    }
                    if (asked.emplace(std::make_tuple(pg, ids[pg], ask.task.moved), asks.size()).second)
                        asks.push_back(std::move(ask));
                }
            }
            if (asks.empty()) break;
            std::vector<PageResult> done = RunAsks(asks);
            if (Stopped()) break;  // what was not searched is no result
            for (size_t a = 0; a < asks.size(); ++a)
                results_[{decoding_, asks[a].task.versionPage, asks[a].id}].push_back(std::move(done[a]));
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
                if (r->rows.empty() && !r->error) continue;
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
                        if (!reader.Paging() || opened_[w] != group_) {
                            reader.OpenPages(path_, path_, pages_, records::kContactsTable, text_);
                            opened_[w] = group_;
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

    void Take(const Ask& ask, jet::PageFound& page, PageResult& result) const {
        result.rows = std::move(page.rows);
        result.error = std::move(page.error);
        // The stored page the search read at q, and where the file holds it.
        const auto read = [&](uint32_t q) -> std::pair<int64_t, uint32_t> {
            for (size_t i = 0; i < ask.task.moved.size(); ++i)
                if (ask.task.moved[i].first == q) return {ask.movedIds[i], ask.task.moved[i].second};
            return {q < pages_ ? natural_[q] : -1, q};
        };
        std::set<uint32_t> byRows;
        for (uint32_t pgRow : page.valueRows) {
            const auto [id, at] = read(pgRow >> 8);
            std::string rowRead =
                id < 0 ? std::string() : RowRead(view_->Page(at), pgRow & 0xff, RowCountOffset(pageSize_));
            result.valueRows.push_back({pgRow, id, std::move(rowRead)});
            byRows.insert(pgRow >> 8);
        }
        for (uint32_t q : page.read) result.read.push_back({q, read(q).first, byRows.count(q) > 0});
        KeepPlaces(result);
    }

    history::Store& store_;
    const std::string& edition_;
    const std::string& text_;
    const std::string& readerPath_;
    const std::function<bool()>& stopped_;
    std::vector<VersionFound> found_;
    std::vector<std::vector<int64_t>> ids_;
    std::vector<std::unique_ptr<jet::ReaderProcess>> readers_;
    std::vector<int> opened_;  // the group each reader's page search is open on
    // The file: the places (as many pages as the longest version has) and
    // what each holds (-1: nothing known), then the pool.
    std::unique_ptr<history::VersionFile> file_;
    std::unique_ptr<FileView> view_;  // of the file as the group being searched has it
    std::string path_;
    uint64_t places_ = 0;
    size_t pageSize_ = 0;
    std::vector<int64_t> natural_;
    std::unordered_map<int64_t, uint64_t> pool_;
    std::unordered_map<int64_t, uint32_t> naturalAt_;  // where the group's first holds each of its pages
    std::unordered_map<int64_t, size_t> sizes_;  // of each page read and whole
    std::unordered_set<int64_t> bad_;           // pages that fail their hash
    // The group being searched: its first version's pages, its number, its decoding.
    uint32_t pages_ = 0;
    int group_ = 0;
    int decoding_ = 0;
    std::map<std::string, int> decodings_;
    // Each data page's searches so far, whatever the group: a deque, whose
    // elements stay where they are as more come.
    std::unordered_map<ResultKey, std::deque<PageResult>, ResultKeyHash> results_;
    std::vector<size_t> done_;  // versions of the group found damaged before their search
    std::unordered_map<int64_t, std::string> pageReads_;  // PageRead of the layout's pages that differ
};

}  // namespace

std::vector<VersionFound> SearchVersions(history::Store& store, const std::vector<history::Version>& versions,
                                         const std::string& edition, const std::string& text,
                                         const std::string& readerPath, unsigned readers,
                                         const std::function<bool()>& stopped) {
    return Search(store, versions, edition, text, readerPath, readers, stopped).Run();
}

}  // namespace app
