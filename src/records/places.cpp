#include "catalogue/paths.h"
#include "operations/numbered_copies.h"
#include "records/places.h"
#include "vb/error.h"
#include "vb/casefold.h"

namespace records {

std::vector<Place> PlacesOf(common::Services& sys, const std::vector<catalogue::Row>& rows,
                            const std::string& edition) {
    std::vector<Place> places;
    for (const catalogue::Row& row : rows) {
        if (row.edition != edition) continue;
        places.push_back({row.caption, row.path});
        if (places.back().caption != catalogue::kCurrentCaption) continue;
        try {
            for (operations::NumberedCopyFile& copy : operations::ListNumberedCopies(sys, places.back().path))
                places.push_back({std::move(copy.name), std::move(copy.path)});
        } catch (const vb::Error&) {
            // A folder that cannot be read holds no copies that can.
        }
    }
    return places;
}

const Place* FindPlace(const std::vector<Place>& places, const std::string& which) {
    std::string caption = which;
    if (vb::EqualsIgnoringCase(which, "current")) caption = catalogue::kCurrentCaption;
    else if (which.size() == 1 && which[0] >= '1' && which[0] <= '5') caption = "Backup " + which;
    else if (operations::NumberOfCopy(which) == 0) return nullptr;
    for (const Place& place : places) {
        const bool copy = operations::NumberOfCopy(place.caption) > 0;
        if (copy ? vb::EqualsIgnoringCase(place.caption, caption) : place.caption == caption) return &place;
    }
    return nullptr;
}

}  // namespace records
