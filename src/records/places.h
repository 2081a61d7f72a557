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
};

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
