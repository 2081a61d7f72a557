// The commands that look inside databases without a window:
//   --show EDITION WHICH     every record of one database (text, --json, --csv)
//   --find EDITION TEXT [WHICH]  the records holding TEXT in every database
//                            of the edition and every version of its history
//                            (each record once, with the first and last
//                            version holding it), or in WHICH alone; one
//                            reader per core
//   --compare EDITION WHICH  what differs between WHICH and the live database
// They read through records::Source (a reader of its own for each thread)
// and print with records/ (render.h, csv.h, json.h), as the window's
// Records dialog shows, finds, compares and exports.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "catalogue/catalogue.h"
#include "app/commandline.h"
#include "app/version_search.h"
#include "common/services.h"
#include "cli/text_table.h"
#include "records/places.h"
#include "records/source.h"

namespace cli {

struct RecordsRun {
    common::Services& sys;
    const catalogue::Catalogue& found;
    records::SourceFactory sources;
    // The path on this machine of a path as the procedures hold it.
    std::function<std::string(const std::string&)> hostPath;
    // One line of ours on stderr.
    std::function<void(const std::string&)> say;
    std::FILE* out;
    // WHICH as a version of the history store ("@N"): the place it is read
    // from; none when there is none, said why.
    std::function<std::optional<records::Place>(const std::string& which)> version = {};
    // --find: every version of the edition's live database in the history
    // store searched for a text, newest first (none when the store cannot
    // be read, said why).
    std::function<std::optional<std::vector<app::VersionFound>>(const std::string& text)> searchVersions = {};
};

// --show, --find and --compare; each returns the exit status.
int RunShow(const app::ConsoleCommand& command, RecordsRun& run);
int RunFind(const app::ConsoleCommand& command, RecordsRun& run);
int RunCompare(const app::ConsoleCommand& command, RecordsRun& run);

}  // namespace cli
