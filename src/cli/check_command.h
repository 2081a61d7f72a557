// --check [EDITION [@N] | FILE...] [--json]: the whole-file check
// (ports/check.h) of every database of an edition (the live one, its
// backups and its numbered copies), of one version of its history store,
// of both editions, or of the files named. One line per
// file (its caption or path, then good, "warnings: N" or "damaged: " and
// the first damage), its findings indented below it; or a JSON array of
// one object per file. Texts from a file are escaped as --show escapes them.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "app/commandline.h"
#include "catalogue/catalogue.h"
#include "common/services.h"
#include "records/places.h"

namespace cli {

struct CheckRun {
    common::Services& sys;
    const catalogue::Catalogue& found;
    // The path on this machine of a path as the procedures hold it.
    std::function<std::string(const std::string&)> hostPath;
    // One line of ours on stderr.
    std::function<void(const std::string&)> say;
    std::FILE* out;
    // A version of the history store ("@N"): the place it is read from,
    // rebuilt; none when there is none, said why.
    std::function<std::optional<records::Place>(const std::string& which)> version = {};
};

// Runs Check: 0 when no file is damaged, 1 when one is or cannot be read
// (or there is nothing to check).
int RunCheckCommand(const app::ConsoleCommand& command, CheckRun& run);

}  // namespace cli
