// --compare EDITION WHICH, without holding either database whole: the two
// are read three times through readers of their own. First both at once,
// each record reduced to a fingerprint (records/matching.h: what it is
// matched by and a digest of its values), and the fingerprints paired by
// key; then WHICH, printing its records only in it and keeping those
// changed; then the live database likewise. Memory is the fingerprints
// (some forty bytes a record) and the changed records, so that a million
// records against five thousand take tens of megabytes, not gigabytes.
// Each record read again is checked against its fingerprint: a database
// that changes while it is compared is said, with status 1.
#pragma once

#include "cli/records_commands.h"

namespace cli {

// Compares `which` with `current`, the live database; returns the status.
int CompareCopies(const app::ConsoleCommand& command, RecordsRun& run, const records::Place& which,
                  const records::Place& current);

}  // namespace cli
