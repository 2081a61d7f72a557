// When each numbered copy was set aside, and in which order. Nothing on the
// copy itself tells it: its file date is the live database's last change
// (a copy made by copying keeps it too), its change time moves with any
// chmod, the lowest free number is taken again once a copy has gone to the
// trash, and FAT keeps times to two seconds. So every set-aside is written
// down in a small hidden file beside the copies, the index:
//
//     .restore-rolvane-data.versions
//     restore-rolvane-data set-aside index 1
//     <order> <seconds since 1970 UTC> <size> <file date> <name>
//
// one line per copy, order counting up from 1 in that folder, the file date
// as YYYY-MM-DDTHH:MM:SS. It is written whole (Files::WriteWhole: a
// temporary file, flushed, renamed over it) by the command that set the copy
// aside, under that command's lock, so two commands never write it at once.
// A line names its copy by name, size and file date as they were then: a
// copy that no longer matches them (replaced by hand under the same name)
// is not the one the line speaks of. A later set-aside under the same name
// replaces the line, so a number taken again is ordered by its new set-aside.
//
// Where there is no index, or it cannot be read, or a copy has no line in
// it, the listing falls back to the file date for those copies and lists
// them after the ones the index knows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/services.h"
#include "vb/datetime.h"

namespace operations {

inline constexpr const char* kSetAsideIndexName = ".restore-rolvane-data.versions";

// One line of the index.
struct SetAsideEntry {
    long long order = 0;   // 1 for the first copy set aside in the folder, rising
    int64_t at = 0;        // when it was set aside: seconds since 1970-01-01 UTC
    int64_t size = 0;      // the copy as it was then
    vb::DateTime modified;
    std::string name;      // "bsrv.3"
};

// The index beside the live database at LivePath.
std::string SetAsideIndexPath(common::Services& sys, const std::string& LivePath);

// The index's lines; none when there is no index. Nullopt when it is there
// but cannot be read. Lines that do not read as lines of the index are
// passed over.
std::optional<std::vector<SetAsideEntry>> ReadSetAsideIndex(common::Services& sys, const std::string& LivePath);

// The line of Entries for the copy Name of this size and file date, when
// there is one; nullptr otherwise.
const SetAsideEntry* FindSetAside(const std::vector<SetAsideEntry>& Entries, const std::string& Name, int64_t Size,
                                  const vb::DateTime& Modified);

// Writes down that CopyPath was set aside from LivePath just now. Best
// effort: where the index cannot be read or written the copy is kept all
// the same and listed by its file date; nothing is thrown.
void RecordSetAside(common::Services& sys, const std::string& LivePath, const std::string& CopyPath);

// The index as text, and back (for its tests).
std::string SetAsideIndexText(const std::vector<SetAsideEntry>& Entries);
std::vector<SetAsideEntry> ParseSetAsideIndex(const std::string& Text);

}  // namespace operations
