#include <algorithm>
#include <map>

#include "catalogue/paths.h"
#include "operations/numbered_copies.h"
#include "operations/setaside_index.h"
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

Origin OriginOf(const Place& place) {
    if (place.caption == catalogue::kCurrentCaption) return Origin::Live;
    return operations::NumberOfCopy(place.caption) > 0 ? Origin::Numbered : Origin::Backup;
}

std::vector<Place> NewestFirst(common::Services& sys, std::vector<Place> places) {
    struct Dated {
        Place place;
        bool live = false;
        vb::DateTime at = {};
    };
    std::vector<Dated> dated;
    std::map<std::string, std::vector<operations::SetAsideEntry>> indexes;  // by folder
    for (Place& place : places) {
        Dated d{std::move(place)};
        const Origin origin = OriginOf(d.place);
        d.live = origin == Origin::Live;
        try {
            const vb::DateTime modified = sys.files.FileDateTime(d.place.path);
            d.at = modified;
            if (origin == Origin::Live) {
                d.place.how = "live database";
            } else if (origin == Origin::Backup) {
                const size_t space = d.place.caption.rfind(' ');
                d.place.how = "backup slot " + d.place.caption.substr(space == std::string::npos ? 0 : space + 1);
            } else {
                const std::string folder = d.place.path.substr(0, d.place.path.find_last_of('\\') + 1);
                if (!indexes.count(folder))
                    indexes[folder] = operations::ReadSetAsideIndex(sys, d.place.path)
                                          .value_or(std::vector<operations::SetAsideEntry>{});
                const operations::SetAsideEntry* entry = operations::FindSetAside(
                    indexes[folder], d.place.caption, sys.files.FileLen(d.place.path), modified);
                if (entry) d.at = sys.locale.LocalTime(entry->at);
                d.place.how = entry ? "numbered copy, set aside"
                                    : "numbered copy (when it was set aside is not recorded: its file date)";
            }
            d.place.when = sys.locale.GeneralDate(d.at);
        } catch (const vb::Error&) {
            // A copy whose date cannot be read is listed last, with none.
            d.at = vb::DateTime{};
            if (d.place.how.empty()) d.place.how = origin == Origin::Numbered ? "numbered copy" : "";
        }
        dated.push_back(std::move(d));
    }
    std::stable_sort(dated.begin(), dated.end(), [](const Dated& a, const Dated& b) {
        if (a.live != b.live) return a.live;
        return a.at > b.at;
    });
    std::vector<Place> sorted;
    for (Dated& d : dated) sorted.push_back(std::move(d.place));
    return sorted;
}

}  // namespace records
