#include "history/store.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "history/pages.h"
#include "history/sqlite.h"
#include "history/store_rows.h"
#include "history/version_file.h"
#include "host/host_files.h"

namespace history {

namespace {

// The layout of kLayout. A version's pages are the row numbers of its
// pages (pages.h, PackList); a page's row is kept while any version lists it.
constexpr const char* kSchema = R"sql(
CREATE TABLE databases(
  id INTEGER PRIMARY KEY,
  edition TEXT NOT NULL,
  path TEXT NOT NULL,
  next_number INTEGER NOT NULL DEFAULT 1,
  UNIQUE(edition, path));
CREATE TABLE pages(
  id INTEGER PRIMARY KEY,
  hash BLOB NOT NULL UNIQUE,
  size INTEGER NOT NULL,
  packed INTEGER NOT NULL,
  checked INTEGER NOT NULL DEFAULT 0,
  data BLOB NOT NULL);
CREATE TABLE versions(
  id INTEGER PRIMARY KEY,
  database INTEGER NOT NULL REFERENCES databases(id),
  number INTEGER NOT NULL,
  taken INTEGER NOT NULL,
  size INTEGER NOT NULL,
  modified_ns INTEGER NOT NULL,
  hash BLOB NOT NULL,
  records INTEGER,
  verdict TEXT NOT NULL,
  page_size INTEGER NOT NULL,
  pages BLOB NOT NULL,
  UNIQUE(database, number));
CREATE INDEX versions_by_time ON versions(database, taken);
)sql";

// Makes folder and any missing parent, private to the user.
void MakeFolders(const std::string& folder) {
    if (folder.empty() || host::IsDirectory(folder)) return;
    const std::string parent = host::Parent(folder);
    if (parent != folder) MakeFolders(parent);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        if (errno == EACCES || errno == EPERM || errno == EROFS) throw vb::PermissionDenied();
        if (errno == ENOSPC || errno == EDQUOT) throw vb::DiskFull();
        throw vb::PathNotFound();
    }
}

}  // namespace

std::string StoreFolder(const ports::HostEnvironment& env) {
    const std::string data = !env.xdgDataHome.empty() && env.xdgDataHome[0] == '/'
                                 ? env.xdgDataHome
                                 : host::Join(env.home, ".local/share");
    return host::Join(host::WithoutTrailingSlash(data), "restore-rolvane-data");
}

int64_t DefaultCap(const std::string& folder) {
    constexpr int64_t kGiB = int64_t{1} << 30;
    struct statvfs fs{};
    std::string at = folder;
    // The folder may not exist yet: its nearest existing parent's file system.
    while (statvfs(at.c_str(), &fs) != 0) {
        const std::string parent = host::Parent(at);
        if (parent == at) return kGiB;
        at = parent;
    }
    const int64_t twentieth = static_cast<int64_t>(fs.f_blocks) * static_cast<int64_t>(fs.f_frsize) / 20;
    return std::min(kGiB, twentieth);
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Good: return "good";
        case Verdict::Damaged: return "damaged";
        case Verdict::Unchecked: break;
    }
    return "unchecked";
}

namespace rows {

Verdict VerdictFrom(const std::string& name) {
    if (name == "good") return Verdict::Good;
    if (name == "damaged") return Verdict::Damaged;
    return Verdict::Unchecked;
}

Version VersionFrom(const sql::Statement& row) {
    Version v;
    v.id = row.Int(0);
    v.number = row.Int(1);
    v.database = {row.Text(2), row.Text(3)};
    v.taken = row.Int(4);
    v.size = row.Int(5);
    v.modifiedNs = row.Int(6);
    v.hash = DigestOf(row.Blob(7));
    if (!row.IsNull(8)) v.records = row.Int(8);
    v.verdict = VerdictFrom(row.Text(9));
    v.pageSize = row.Int(10);
    return v;
}

}  // namespace rows

Store::Store(const std::string& folder, bool create) : folder_(folder), path_(host::Join(folder, kStoreFileName)) {
    struct stat st{};
    if (stat(path_.c_str(), &st) != 0) {
        if (!create) throw vb::FileNotFound();
        MakeFolders(folder_);
    }
    db_ = std::make_unique<sql::Connection>(path_, create);
    db_->Exec("PRAGMA busy_timeout=60000");
    // Whose file it is, read before anything could write to it. A file that
    // is no database at all fails here (NOTADB).
    const auto look = [this] {
        try {
            const int64_t id = db_->Number("PRAGMA application_id");
            const int64_t layout = db_->Number("PRAGMA user_version");
            const int64_t tables = db_->Number("SELECT count(*) FROM sqlite_master");
            if (id == kApplicationId && layout == kLayout) return true;
            if (id == kApplicationId && layout > kLayout) throw StoreRefused(StoreRefused::Why::Newer, path_);
            if (id == 0 && layout == 0 && tables == 0) return false;
            throw StoreRefused(id == kApplicationId ? StoreRefused::Why::Damaged : StoreRefused::Why::NotOurs, path_);
        } catch (const StoreRefused&) {
            throw;
        } catch (const vb::Error& e) {
            if (e.Number() == vb::kUnrecognizedFormat) throw StoreRefused(StoreRefused::Why::Damaged, path_);
            throw;
        }
    };
    if (!look()) {
        // A new, empty file: laid out in one transaction, looked at again
        // inside it in case another run laid it out first.
        db_->Exec("PRAGMA page_size=8192");
        sql::Transaction laying(*db_);
        if (!look()) {
            db_->Exec(kSchema);
            db_->Exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
            db_->Exec(("PRAGMA user_version=" + std::to_string(kLayout)).c_str());
        }
        laying.Commit();
    }
    db_->Exec("PRAGMA journal_mode=DELETE");
    db_->Exec("PRAGMA synchronous=EXTRA");
    RemoveLeftovers(folder_);
}

Store::~Store() = default;

std::vector<Version> Store::Versions(const DatabaseRef& database) {
    sql::Statement q = db_->Prepare((std::string("SELECT ") + rows::kVersionColumns +
                                     " FROM versions v JOIN databases d ON d.id = v.database"
                                     " WHERE d.edition = ?1 AND d.path = ?2 ORDER BY v.taken DESC, v.number DESC")
                                        .c_str());
    q.Bind(1, database.edition).Bind(2, database.path);
    std::vector<Version> versions;
    while (q.Step()) versions.push_back(rows::VersionFrom(q));
    return versions;
}

std::optional<Version> Store::Newest(const DatabaseRef& database) {
    sql::Statement q = db_->Prepare((std::string("SELECT ") + rows::kVersionColumns +
                                     " FROM versions v JOIN databases d ON d.id = v.database"
                                     " WHERE d.edition = ?1 AND d.path = ?2 ORDER BY v.taken DESC, v.number DESC"
                                     " LIMIT 1")
                                        .c_str());
    q.Bind(1, database.edition).Bind(2, database.path);
    if (!q.Step()) return std::nullopt;
    Version newest = rows::VersionFrom(q);
    q.Reset();
    return newest;
}

std::vector<Known> Store::Lookup(const std::vector<Digest>& pages, std::vector<int64_t>* ids,
                                 const std::vector<int64_t>& likely) {
    found_.reset();
    sql::Transaction reading(*db_, sql::Transaction::Mode::Read);
    Found found;
    found.dataVersion = db_->Number("PRAGMA data_version");
    // A page is first looked for where `likely` says, by its row; only a
    // page found otherwise there is looked up by its hash.
    rows::PageWalk walk(*db_, "hash, checked");
    sql::Statement q = db_->Prepare("SELECT id, checked FROM pages WHERE hash = ?1");
    found.known.reserve(pages.size());
    found.ids.reserve(pages.size());
    for (size_t n = 0; n < pages.size(); ++n) {
        if (n < likely.size() && walk.To(likely[n]) && DigestOf(walk.Row().Blob(1)) == pages[n]) {
            found.ids.push_back(likely[n]);
            found.known.push_back(walk.Row().Int(2) ? Known::Checked : Known::Held);
            continue;
        }
        q.BindBlob(1, BlobOf(pages[n]));
        const bool held = q.Step();
        found.ids.push_back(held ? q.Int(0) : 0);
        found.known.push_back(!held ? Known::New : q.Int(1) ? Known::Checked : Known::Held);
        q.Reset();
    }
    reading.Commit();
    found.pages = pages;
    found_ = std::move(found);
    if (ids) *ids = found_->ids;
    return found_->known;
}

std::vector<int64_t> Store::PagesOf(const Version& version) {
    sql::Statement list = db_->Prepare("SELECT pages FROM versions WHERE id = ?1");
    list.Bind(1, version.id);
    if (!list.Step()) throw vb::FileNotFound();
    std::vector<int64_t> ids;
    if (!UnpackList(list.Blob(0), ids)) throw vb::UnrecognizedFormat(path_);
    list.Reset();
    return ids;
}

int64_t Store::UsedBytes() {
    return (db_->Number("PRAGMA page_count") - db_->Number("PRAGMA freelist_count")) *
           db_->Number("PRAGMA page_size");
}

Summary Store::Summarize() {
    Summary summary;
    summary.path = path_;
    struct stat st{};
    if (stat(path_.c_str(), &st) == 0) summary.fileBytes = st.st_size;
    summary.usedBytes = UsedBytes();
    summary.pages = db_->Number("SELECT count(*) FROM pages");
    sql::Statement databases = db_->Prepare("SELECT edition, path FROM databases ORDER BY edition, path");
    while (databases.Step()) {
        DatabaseSummary one;
        one.database = {databases.Text(0), databases.Text(1)};
        const std::vector<Version> versions = Versions(one.database);
        if (versions.empty()) continue;
        one.versions = static_cast<int64_t>(versions.size());
        one.newest = versions.front();
        one.oldest = versions.back();
        sql::Statement lists = db_->Prepare(
            "SELECT v.pages FROM versions v JOIN databases d ON d.id = v.database WHERE d.edition = ?1 AND d.path = ?2");
        lists.Bind(1, one.database.edition).Bind(2, one.database.path);
        std::set<int64_t> distinct;
        std::vector<int64_t> ids;
        while (lists.Step())
            if (UnpackList(lists.Blob(0), ids)) distinct.insert(ids.begin(), ids.end());
        one.pages = static_cast<int64_t>(distinct.size());
        summary.databases.push_back(std::move(one));
    }
    return summary;
}

bool Store::Whole() {
    sql::Statement q = db_->Prepare("PRAGMA quick_check");
    std::string first;
    try {
        if (q.Step()) first = q.Text(0);
    } catch (const vb::Error& e) {
        if (e.Number() == vb::kUnrecognizedFormat) return false;
        throw;
    }
    return first == "ok";
}

}  // namespace history
