// The history store: every version taken of each live database, in one
// SQLite file per user, $XDG_DATA_HOME/restore-rolvane-data/history.db
// (~/.local/share/... without it), outside any Wine prefix, so that Rolvane
// never sees it.
//
// What is on disk, and why it survives a power cut:
//   - A version is a row naming its database (edition and path as
//     discovery found them), when it was taken, the file's size, date and
//     SHA-256, its roof count, the verdict of its check, and the list of its
//     pages. Each page is a row of its own, stored once under its SHA-256,
//     zstd-compressed; a version that shares a page with any other costs
//     only that page's number in its list, and a version of an unchanged
//     file costs its row alone.
//   - Adding a version is one transaction: its new pages and its row are
//     either all there or none of them. The rollback journal (journal_mode
//     DELETE) holds the old content of every page a transaction changes
//     until the commit; a power cut at any instant before the journal is
//     removed leaves a hot journal that the next open rolls back, and
//     synchronous=EXTRA flushes the journal's removal too (the folder), so a
//     commit that returned is on the disk. WAL is not used: a store that
//     sees one writer at a time gains nothing by it, and its -wal and -shm
//     files need shared memory on one machine.
//   - A full disk fails the transaction, and SQLite rolls it back: the store
//     is as it was.
//   - The file says it is ours (application_id "RRDV") and which layout it
//     has (user_version). A file that is not ours, is damaged, or has a
//     layout a newer release wrote is reported and never written.
// Two runs that write at once queue on SQLite's lock (a busy wait of up to
// a minute); one run holds one connection to the store.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/digest.h"
#include "history/thinning.h"
#include "ports/environment.h"
#include "vb/error.h"

namespace history {

namespace sql {
class Connection;
}

inline constexpr uint32_t kApplicationId = 0x52524456;  // "RRDV"
inline constexpr int kLayout = 1;                       // user_version of this release's layout
inline constexpr const char* kStoreFileName = "history.db";

// The folder of the user's store: $XDG_DATA_HOME/restore-rolvane-data when
// that is an absolute path, else ~/.local/share/restore-rolvane-data.
std::string StoreFolder(const ports::HostEnvironment& env);

// The default cap on the store's size: 1 GiB, or 5% of the file system that
// holds folder, whichever is smaller.
int64_t DefaultCap(const std::string& folder);

// Why the store was refused: 3343, with the reason in Why.
class StoreRefused : public vb::Error {
public:
    enum class Why { Damaged, NotOurs, Newer };
    StoreRefused(Why why, const std::string& path) : vb::Error(vb::UnrecognizedFormat(path)), why_(why) {}
    Why Reason() const { return why_; }

private:
    Why why_;
};

// The verdict of a version's whole-file check.
enum class Verdict { Good, Damaged, Unchecked };
const char* VerdictName(Verdict verdict);  // "good", "damaged", "unchecked"

// A live database as discovery found it.
struct DatabaseRef {
    std::string edition;  // "Business", "Personal"
    std::string path;     // as the procedures hold it
    bool operator==(const DatabaseRef&) const = default;
};

struct Version {
    int64_t id = 0;      // the row
    int64_t number = 0;  // as --versions numbers it: 1, 2, ... per database, never reused
    DatabaseRef database;
    int64_t taken = 0;       // seconds since the epoch
    int64_t size = 0;        // bytes
    int64_t modifiedNs = 0;  // the file's date, nanoseconds since the epoch
    Digest hash{};           // SHA-256 of the whole file
    std::optional<int64_t> records;  // roof's count; none where it could not be read
    Verdict verdict = Verdict::Unchecked;
    int64_t pageSize = 4096;
};

// What the store knows of a page: nothing, held, or held by a version whose
// check was good (so that it need not be decoded again).
enum class Known : uint8_t { New, Held, Checked };

// A version to add: its facts (id and number are given by Add), the hashes
// of its pages in file order, and the bytes of page n, asked only for the
// pages the store does not hold.
struct NewVersion {
    Version facts;
    std::vector<Digest> pages;
    std::function<std::string_view(size_t n)> page;
};

// What thinning let go.
struct Thinned {
    std::vector<Version> byAge;  // the rules of thinning.h
    std::vector<Version> bySize; // the cap, oldest first
    int64_t cap = 0;
    int64_t bytes = 0;  // what the store holds afterwards
};

struct DatabaseSummary {
    DatabaseRef database;
    int64_t versions = 0;
    int64_t pages = 0;  // distinct pages its versions hold
    std::optional<Version> oldest, newest;
};

struct Summary {
    std::string path;
    int64_t fileBytes = 0;  // the store's file on disk
    int64_t usedBytes = 0;  // what it holds (the rest is free space kept for reuse)
    int64_t pages = 0;      // distinct pages in all
    std::vector<DatabaseSummary> databases;
};

class Store {
public:
    // Opens the store in folder; with create, makes the folder (private to
    // the user) and the store when they are missing. Throws StoreRefused
    // for a file that is damaged, not ours or newer; 53 when it is missing
    // and not to be created; else the error of the file system (sqlite.h).
    Store(const std::string& folder, bool create);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const std::string& Path() const { return path_; }
    const std::string& Folder() const { return folder_; }

    // The database's versions, newest first.
    std::vector<Version> Versions(const DatabaseRef& database);
    std::optional<Version> Newest(const DatabaseRef& database);

    // What the store knows of each page; with ids, also each one's row (0
    // for a new one). `likely`: the rows the pages most likely are, in
    // order (an earlier version's), each checked against the page's hash.
    std::vector<Known> Lookup(const std::vector<Digest>& pages, std::vector<int64_t>* ids = nullptr,
                              const std::vector<int64_t>& likely = {});

    // The rows of the version's pages, in file order. Throws 3343 when its
    // list cannot be read, 53 when it is gone.
    std::vector<int64_t> PagesOf(const Version& version);

    // Adds a version in one transaction, durable when Add returns; the
    // version's pages are marked checked when its verdict is good. The
    // pages a Lookup just found are not looked up again while no other
    // connection has changed the store since (SQLite's data_version). Returns
    // the version as stored. Throws the store's errors; the store is then
    // as it was.
    Version Add(NewVersion& version);

    // Writes the version's file to fd from its start, checked against the
    // whole file's SHA-256 (which any page that is not what was stored
    // fails). Throws 3343 naming `label` when a page cannot be unpacked or
    // the whole fails (a damaged version), or the
    // store's or the descriptor's error. Nothing is put back from a version
    // this throws for.
    void Rebuild(const Version& version, int fd, const std::string& label);

    // The version's pages as the numbers of the pages stored, in file
    // order: one number for each distinct page of the store. Throws 3343
    // naming `label` when the list cannot be unpacked, 53 when the version
    // has been thinned since it was listed, or the store's error.
    std::vector<int64_t> PageIds(const Version& version, const std::string& label);
    // Each stored page of `ids` unpacked and checked against its own
    // SHA-256, given in the order asked with whole false when it is not
    // what was stored (missing, not unpacked, or of another hash). Throws
    // the store's errors.
    void ReadPages(const std::vector<int64_t>& ids,
                   const std::function<void(size_t at, std::string_view page, bool whole)>& each);

    // Thins every database's versions by age (at now, in periods), then the
    // oldest while the store holds more than cap bytes; never a database's
    // newest version whose check was good. One transaction.
    Thinned Thin(int64_t now, const PeriodsOf& periods, int64_t cap);

    Summary Summarize();
    // SQLite's quick_check of the whole file: false when it finds damage.
    bool Whole();

private:
    int64_t UsedBytes();
    // What the last Lookup found: each page's row (0 for none), and the
    // store's data_version then. Forgotten by any change this connection makes.
    struct Found {
        int64_t dataVersion = 0;
        std::vector<Digest> pages;
        std::vector<int64_t> ids;
        std::vector<Known> known;
    };
    std::optional<Found> found_;
    std::string folder_;
    std::string path_;
    std::unique_ptr<sql::Connection> db_;
};

}  // namespace history
