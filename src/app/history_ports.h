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

// The check of a version's file at path (a host path the reader opens),
// the place where the whole-file check plugs in. Until then the verdict is
// the reader's: good when it reads roof's count (it checks the header, the
// system catalogue and every page it reads), damaged when it refuses the
// file (3343), unchecked when it could not be asked. newPages names the
// pages an incremental check must decode; a reader that reads the whole
// file does not need it.
history::Examination ExamineVersion(common::Services& sys, const std::string& path,
                                    const std::vector<size_t>& newPages);

// A snapshot's seams on sys; waiting is told when the folder's lock waits.
history::SnapshotPorts SnapshotPortsOn(common::Services& sys,
                                       std::function<void(const history::LiveDatabase&)> waiting);

}  // namespace app
