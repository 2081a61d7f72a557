// The history store's commands without a window:
//   --snapshot [EDITION]        a version of each live database that changed
//   --history [EDITION] [--json] where the store is, its size, and its
//                               versions and distinct pages per database
// Exit statuses of --snapshot: 0 versions taken or nothing changed; 75
// every changed database held by another program; 1 a failure or a
// damaged live database (its version is still kept).
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "app/commandline.h"
#include "catalogue/catalogue.h"
#include "cli/notices.h"
#include "common/services.h"

namespace cli {

struct HistoryRun {
    common::Services& sys;
    const catalogue::Catalogue& found;
    std::string storeFolder;  // the user's store (history::StoreFolder)
    std::string prefix;       // the Wine prefix in use; empty for none
    // The path on this machine of a path as the procedures hold it: as the
    // file system reaches it, and as a user would open it.
    std::function<std::string(const std::string&)> toHost, hostPath;
    // One line of ours on stderr.
    std::function<void(const std::string&)> say;
    std::FILE* out;
    // Every --snapshot: the live databases' host paths, for the watch of
    // --auto-snapshot to follow (auto_snapshot.h); unset: none to follow.
    std::function<void(const std::vector<std::string>&)> follow = {};
    // A scheduled one (--scheduled): its problems told (notices.h), and at
    // most one version a minute of each database (sleep waits seconds).
    std::function<void(const Problem&)> tell = {};
    std::function<void(int64_t seconds)> sleep = {};
};

// Run --snapshot and --history; each returns the exit status.
int RunSnapshot(const app::ConsoleCommand& command, HistoryRun& run);
int RunHistory(const app::ConsoleCommand& command, HistoryRun& run);

}  // namespace cli
