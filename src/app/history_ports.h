// The history store on the real platform: where the user's store is, and
// what a snapshot runs on (history/snapshot.h): the folder's lock and stop
// signals of the commands, the commands' in-use check, and the check of a
// version's file through the sandboxed reader.
#pragma once

#include <optional>
#include <string>

#include "common/services.h"
#include "history/snapshot.h"
#include "ports/environment.h"

namespace app {

// The folder of the user's store, and whether it may be used: never inside
// the Wine prefix (prefix, a host folder; empty for none), where Rolvane
// would see it. Returns the reason it may not, or none.
std::optional<std::string> StoreRefusedBeside(const std::string& storeFolder, const std::string& prefix);

// The check of a version's file at path (a host path the reader opens):
// the verdict of the whole-file check of --check (sys.Check()), told that
// only newPages (those the newest version with a good check did not hold in
// the same place) are new, so that
// only their values are decoded again; every page's structure, and what
// ties pages together, is checked each time. Damaged with its first damage
// as the reason; good otherwise (warnings are what Jet tolerates), with
// roof's count where it can be read; unchecked when the check was stopped.
history::Examination ExamineVersion(common::Services& sys, const std::string& path,
                                    const std::vector<size_t>& newPages);

// A snapshot's seams on sys; waiting is told when the folder's lock waits.
history::SnapshotPorts SnapshotPortsOn(common::Services& sys,
                                       std::function<void(const history::LiveDatabase&)> waiting);

}  // namespace app
