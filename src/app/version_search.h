// A search of every version of a database in the history store, reading
// distinct pages rather than whole versions: what --find and Find in All
// Copies give for each version is what a search of that version rebuilt
// whole gives, but a data page that many versions share is searched once.
//
//   - Versions are taken in groups. The first version not yet searched is
//     rebuilt into a private file (version_file.h) and opened in the reader,
//     which tells which pages the table's structure (header, catalogue,
//     definition, usage map) was read from and which data pages its rows lie
//     on. Every other version with the same pages in those places has the
//     same table on the same data pages: it joins the group, and its pages
//     that differ from the first's are written after them in the file.
//   - Each data page of the group's versions is searched once for each
//     distinct content, in the reader (one per core), with the version's
//     own pages placed where its rows' long values lie. A page's result
//     names the other pages its rows read, and applies to every version
//     that holds the same page there and the same pages at those places;
//     a version that differs in one of them has the page searched again with
//     its own.
//   - A version whose structure differs starts a group of its own, so that
//     one that stands alone is searched as a whole version is.
//   - Every distinct page is checked against its own hash as it is read: a
//     version with a page that fails, or whose list of pages cannot be read,
//     is damaged, as a rebuild would find it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "history/store.h"
#include "records/record.h"
#include "vb/error.h"

namespace app {

struct VersionFound {
    history::Version version;
    records::Table table;            // the records found; for a damaged version, those before the damage
    std::optional<vb::Error> error;  // why it was not searched to its end
    std::string unbuilt;             // why it could not be rebuilt from the store, as a rebuild says it
};

// Searches roof of each of `versions` of the edition for the records in
// which a text column holds `text`, through readers at `readerPath`,
// `readers` at once. `stopped` is asked between batches: once it says so,
// the search ends, and what it gives is not whole. Throws the store's
// errors.
std::vector<VersionFound> SearchVersions(history::Store& store, const std::vector<history::Version>& versions,
                                         const std::string& edition, const std::string& text,
                                         const std::string& readerPath, unsigned readers,
                                         const std::function<bool()>& stopped);

// Why version could not be rebuilt from the store because of error, as
// the commands say it.
std::string UnbuiltReason(const history::Version& version, const std::string& edition, const vb::Error& error);

}  // namespace app
