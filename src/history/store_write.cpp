// What changes the store: a version added, versions thinned. Each is one
// transaction (sqlite.h, Transaction): a power cut or a full disk anywhere
// in it leaves the store as it was before it.
#include <algorithm>
#include <map>
#include <unordered_map>

#include "history/pages.h"
#include "history/sqlite.h"
#include "history/store.h"
#include "history/store_rows.h"

namespace history {

namespace {

struct DigestHash {
    size_t operator()(const Digest& d) const {
        size_t h;
        std::copy_n(d.data(), sizeof h, reinterpret_cast<uint8_t*>(&h));
        return h;
    }
};

// The row of the database, made on its first version.
std::pair<int64_t, int64_t> DatabaseRow(sql::Connection& db, const DatabaseRef& database) {
    db.Prepare("INSERT OR IGNORE INTO databases(edition, path) VALUES(?1, ?2)")
        .Bind(1, database.edition)
        .Bind(2, database.path)
        .Step();
    sql::Statement q = db.Prepare("SELECT id, next_number FROM databases WHERE edition = ?1 AND path = ?2");
    q.Bind(1, database.edition).Bind(2, database.path);
    if (!q.Step()) sql::ThrowDamaged(db.Path());
    const std::pair<int64_t, int64_t> row{q.Int(0), q.Int(1)};
    q.Reset();
    return row;
}

}  // namespace

Version Store::Add(NewVersion& version) {
    sql::Transaction adding(*db_);
    // What Lookup found of these pages holds while no other connection
    // has written since: each page is then not looked up again.
    std::optional<Found> found = std::move(found_);
    found_.reset();
    if (found && (found->pages != version.pages || db_->Number("PRAGMA data_version") != found->dataVersion))
        found.reset();
    Version stored = version.facts;
    const auto [database, number] = DatabaseRow(*db_, stored.database);
    stored.number = number;

    sql::Statement find = db_->Prepare("SELECT id, checked FROM pages WHERE hash = ?1");
    sql::Statement insert = db_->Prepare("INSERT INTO pages(hash, size, packed, data) VALUES(?1, ?2, ?3, ?4)");
    sql::Statement check = db_->Prepare("UPDATE pages SET checked = 1 WHERE id = ?1");
    const bool good = stored.verdict == Verdict::Good;
    PageCodec codec;
    // A file repeats pages (empty ones above all): each is looked up once.
    std::unordered_map<Digest, int64_t, DigestHash> seen;
    std::vector<int64_t> ids;
    ids.reserve(version.pages.size());
    for (size_t n = 0; n < version.pages.size(); ++n) {
        const Digest& hash = version.pages[n];
        if (const auto it = seen.find(hash); it != seen.end()) {
            ids.push_back(it->second);
            continue;
        }
        int64_t id = 0;
        bool checked = false;
        bool held = false;
        if (found) {
            id = found->ids[n];
            checked = found->known[n] == Known::Checked;
            held = found->known[n] != Known::New;
        } else {
            find.BindBlob(1, BlobOf(hash));
            held = find.Step();
            if (held) {
                id = find.Int(0);
                checked = find.Int(1) != 0;
            }
            find.Reset();
        }
        if (!held) {
            const std::string_view bytes = version.page(n);
            bool packed = false;
            const std::string data = codec.Pack(bytes, packed);
            insert.BindBlob(1, BlobOf(hash))
                .Bind(2, static_cast<int64_t>(bytes.size()))
                .Bind(3, int64_t{packed})
                .BindBlob(4, data)
                .Step();
            insert.Reset();
            id = db_->LastId();
        }
        // A page of a version whose check was good need not be decoded again.
        if (good && !checked) {
            check.Bind(1, id).Step();
            check.Reset();
        }
        seen.emplace(hash, id);
        ids.push_back(id);
    }

    sql::Statement row = db_->Prepare(
        "INSERT INTO versions(database, number, taken, size, modified_ns, hash, records, verdict, page_size, pages)"
        " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    row.Bind(1, database).Bind(2, number).Bind(3, stored.taken).Bind(4, stored.size).Bind(5, stored.modifiedNs);
    row.BindBlob(6, BlobOf(stored.hash));
    if (stored.records) row.Bind(7, *stored.records);
    else row.BindNull(7);
    row.Bind(8, std::string_view(VerdictName(stored.verdict))).Bind(9, stored.pageSize).BindBlob(10, PackList(ids));
    row.Step();
    stored.id = db_->LastId();
    db_->Prepare("UPDATE databases SET next_number = ?1 WHERE id = ?2").Bind(1, number + 1).Bind(2, database).Step();
    adding.Commit();
    return stored;
}

Thinned Store::Thin(int64_t now, const PeriodsOf& periods, int64_t cap) {
    found_.reset();
    sql::Transaction thinning(*db_);
    Thinned thinned;
    thinned.cap = cap;

    // Every version, oldest first. How many versions list each page is
    // counted only once one is dropped: most runs drop none, and every
    // version's list is most of what the store holds besides its pages.
    struct Held {
        Version version;
        std::vector<int64_t> pages;
    };
    std::vector<Held> all;
    sql::Statement q = db_->Prepare((std::string("SELECT ") + rows::kVersionColumns +
                                     " FROM versions v JOIN databases d ON d.id = v.database"
                                     " ORDER BY v.taken, v.number")
                                        .c_str());
    while (q.Step()) all.push_back({rows::VersionFrom(q), {}});
    std::unordered_map<int64_t, int64_t> uses;
    bool counted = false;
    const auto count = [&] {
        sql::Statement lists = db_->Prepare("SELECT id, pages FROM versions");
        std::unordered_map<int64_t, Held*> byId;
        for (Held& held : all) byId.emplace(held.version.id, &held);
        while (lists.Step()) {
            std::vector<int64_t> pages;
            // A list that cannot be read: the store is damaged, and nothing
            // is thinned (its pages might be the only copy of a version).
            if (!UnpackList(lists.Blob(1), pages)) sql::ThrowDamaged(path_);
            for (int64_t page : pages) ++uses[page];
            if (const auto it = byId.find(lists.Int(0)); it != byId.end()) it->second->pages = std::move(pages);
        }
        counted = true;
    };

    sql::Statement dropVersion = db_->Prepare("DELETE FROM versions WHERE id = ?1");
    sql::Statement dropPage = db_->Prepare("DELETE FROM pages WHERE id = ?1");
    const auto drop = [&](Held& held) {
        if (!counted) count();
        dropVersion.Bind(1, held.version.id).Step();
        dropVersion.Reset();
        for (int64_t page : held.pages)
            if (--uses[page] == 0) {
                dropPage.Bind(1, page).Step();
                dropPage.Reset();
            }
        held.version.id = 0;  // gone
    };

    // By age, each database on its own. The newest good version of each is
    // kept by the rules and by the cap alike.
    std::map<std::pair<std::string, std::string>, std::vector<Dated>> byDatabase;
    std::map<std::pair<std::string, std::string>, int64_t> newestGood;
    for (const Held& held : all) {
        const auto key = std::pair{held.version.database.edition, held.version.database.path};
        byDatabase[key].push_back({held.version.id, held.version.taken, held.version.verdict == Verdict::Good});
        if (held.version.verdict == Verdict::Good) newestGood[key] = held.version.id;  // all is oldest first
    }
    for (const auto& [key, dated] : byDatabase) {
        const std::vector<int64_t> gone = ThinByAge(dated, now, periods);
        for (Held& held : all)
            if (std::find(gone.begin(), gone.end(), held.version.id) != gone.end()) {
                thinned.byAge.push_back(held.version);
                drop(held);
            }
    }

    // By size, the oldest first.
    for (Held& held : all) {
        if ((thinned.bytes = UsedBytes()) <= cap) break;
        const auto key = std::pair{held.version.database.edition, held.version.database.path};
        if (held.version.id == 0 || newestGood[key] == held.version.id) continue;
        thinned.bySize.push_back(held.version);
        drop(held);
    }
    thinned.bytes = UsedBytes();
    thinning.Commit();
    return thinned;
}

}  // namespace history
