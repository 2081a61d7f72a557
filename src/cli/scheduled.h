// What a scheduled --snapshot (--scheduled: the units of --auto-snapshot,
// or cron) does besides taking versions:
//   - Coalescing: a writer busy for minutes (a large import) closes the file
//     many times, and the watch fires on each. At most one version a minute
//     is taken of each database: a run that finds a database changed within
//     the minute after its newest version waits for the minute to pass, and
//     a run that finds it changed again after its version waits and takes
//     one more, so the last change is never missed.
//   - The problems told to the user (notices.h): a damaged live database, a
//     version that could not be kept, a store that cannot be opened, and a
//     database held by another program for more than a day.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/notices.h"
#include "history/snapshot.h"

namespace cli {

inline constexpr int64_t kVersionWindow = 60;  // seconds: at most one version a minute

// Whether the file at hostPath differs in size or date from version.
bool ChangedSince(const std::string& hostPath, const std::optional<history::Version>& version);

// How long to wait before taking versions at now: until the minute after
// the newest version of each database that changed has passed.
int64_t SecondsToWait(history::Store& store, const std::vector<history::LiveDatabase>& live, int64_t now);

// "version @12, taken 2026-12-10 08:00" (local time), the newest whose check was good;
// "none" when there is none or the store cannot tell.
std::string NewestGood(history::Store* store, const history::DatabaseRef& database);

// The problem an outcome of a scheduled run is, if any; file: the
// database as the user knows it; newestGood: NewestGood's answer;
// newestTaken: when its newest version, of any verdict, was taken.
std::optional<Problem> ProblemOf(const history::Outcome& outcome, const std::string& file,
                                 const std::string& newestGood, std::optional<int64_t> newestTaken, int64_t now);
// The store could not be opened or written (why, as said on stderr); its
// action opens the Previous Versions of edition.
Problem StoreProblem(const std::string& why, const std::string& edition);

}  // namespace cli
