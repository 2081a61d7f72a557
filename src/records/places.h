// The databases of an edition that records are read from: its live
// database, its backups and the numbered copies kept beside the live one,
// named as the catalogue names them.
#pragma once

#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/services.h"

namespace records {

// One database of an edition, as the catalogue names it.
struct Place {
    std::string caption;  // "(Current)", "Backup 2", "bsrv.3"
    std::string path;     // as the procedures hold paths (Windows form)
    // How the copy came to be and its date, where NewestFirst told them:
    // "backup slot 2" and the backup's file date; "numbered copy, set
    // aside" and when; the live database and its file date.
    std::string how = {};
    std::string when = {};  // in the user's locale; empty when unknown
};

// What a place is, as its caption tells.
enum class Origin { Live, Backup, Numbered };
Origin OriginOf(const Place& place);

// `places` with how each came to be and its date, newest first: the live
// databases first, then the backups (by their file dates) and the
// numbered copies (by when they were set aside, as the index beside them
// recorded it, else by their file dates) together, the newest first, as
// Previous Versions lists the copies. Reads folders and dates, no database.
std::vector<Place> NewestFirst(common::Services& sys, std::vector<Place> places);

// The databases of `edition` ("Business" or "Personal") as the catalogue's
// rows list them (the live database and the backups, in their order), each
// live database followed by its numbered copies, lowest number first.
// Nothing is read but folders.
std::vector<Place> PlacesOf(common::Services& sys, const std::vector<catalogue::Row>& rows,
                            const std::string& edition);

// The place `which` names: "current", a backup slot "1" to "5" ("Backup N"),
// or a numbered copy as its file is named ("bsrv.3", in any case); null when
// none of `places` is that one.
const Place* FindPlace(const std::vector<Place>& places, const std::string& which);

}  // namespace records
