// --compare EDITION WHICH, without holding both databases whole. The two are
// read at once, each through a reader of its own; the one whose table says
// it holds fewer records is "held": its records reduced to fingerprints
// (records/matching.h: what each is matched by and a digest of its values),
// and kept whole too when there are few. The other is "streamed": each of
// its records, as it comes, is paired with the held fingerprints, and
// printed at once (to a temporary file, which follows its group's count)
// when it is only in that copy, or kept when it changed. Last the held
// side's records only in it are printed, from those kept or read again
// (each checked against its fingerprint: a copy that changed between its
// readings is said, with status 1), then the changed records field by
// field. So a million records against five thousand are read once and take
// tens of megabytes, and two of a million each a few hundred at most.
#pragma once

#include "cli/records_commands.h"

namespace cli {

// Compares `which` with `current`, the live database; returns the status.
int CompareCopies(const app::ConsoleCommand& command, RecordsRun& run, const records::Place& which,
                  const records::Place& current);

}  // namespace cli
