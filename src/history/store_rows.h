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

}  // namespace history::rows
