// The store's rows as values, shared by the files of store.h's class.
#pragma once

#include "history/sqlite.h"
#include "history/store.h"

namespace history::rows {

// The columns VersionFrom reads, in order, from versions v joined to
// databases d.
inline constexpr const char* kVersionColumns =
    "v.id, v.number, d.edition, d.path, v.taken, v.size, v.modified_ns, v.hash, v.records, v.verdict, "
    "v.page_size";

Version VersionFrom(const sql::Statement& row);
Verdict VerdictFrom(const std::string& name);

// Rows of pages by id, asked for mostly in rising order (a version's pages
// were mostly stored in the order it holds them): the walk steps over a
// few rows between two asked for rather than seeking each from the root.
class PageWalk {
public:
    // `columns` follow the id: the row's columns count from 1.
    PageWalk(sql::Connection& db, const std::string& columns)
        : walk_(db.Prepare(("SELECT id, " + columns + " FROM pages WHERE id >= ?1 ORDER BY id").c_str())) {}
    // Whether the row is there; the walk then stands on it.
    bool To(int64_t id) {
        if (!on_ || id < at_ || id > at_ + kStepOver) {
            walk_.Reset();
            walk_.Bind(1, id);
            Step();
        }
        while (on_ && at_ < id) Step();
        return on_ && at_ == id;
    }
    const sql::Statement& Row() const { return walk_; }

private:
    static constexpr int64_t kStepOver = 8;
    void Step() {
        on_ = walk_.Step();
        at_ = on_ ? walk_.Int(0) : 0;
    }
    sql::Statement walk_;
    bool on_ = false;  // the walk stands on a row, of id at_
    int64_t at_ = 0;
};

}  // namespace history::rows
