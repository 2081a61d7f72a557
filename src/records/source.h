// Where records come from: the databases of an edition (its live database,
// its backups, the numbered copies kept beside the live one) and a reader
// of one database's table roof.
//
// A Source reads through a database engine of its own, so that a worker
// thread can hold one while the window's engine serves the window: the
// reader client serves one thread at a time. Each front end gets its
// Sources from a SourceFactory.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/services.h"
#include "records/record.h"

namespace records {

// The table every database of the served application keeps its contacts in.
inline constexpr const char* kContactsTable = "roof";

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

// The numbered copies beside the live database at `livePath`, lowest
// number first; as the existence test sees the folder.
std::vector<Place> NumberedCopies(common::Services& sys, const std::string& livePath);

// The place `which` names: "current", a backup slot "1" to "5" ("Backup N"),
// or a numbered copy as its file is named ("bsrv.3", in any case); null when
// none of `places` is that one.
const Place* FindPlace(const std::vector<Place>& places, const std::string& which);

class Source {
public:
    virtual ~Source() = default;

    // What a reading has so far: the columns and key arrive once, before
    // the first records.
    struct Layout {
        std::vector<Column> columns;
        std::vector<std::string> primaryKey;
    };
    using LayoutSink = std::function<void(Layout)>;
    // Takes a batch of records (it may move them away); false stops the
    // reading, which then returns at once.
    using BatchSink = std::function<bool(std::vector<Record>&)>;

    // Reads every record of table roof of the database at `path`, in
    // batches as they come. Returns once every record has been given (or a
    // sink said stop); throws vb::Error when the table cannot be read to
    // its end, after the batches it could read.
    virtual void Read(const std::string& path, const LayoutSink& layout, const BatchSink& batch) = 0;

    // As Read, but only the records in which a text column holds `text`
    // (without regard to case, as filter.h finds).
    virtual void Find(const std::string& path, const std::string& text, const LayoutSink& layout,
                      const BatchSink& batch) = 0;
};

using SourceFactory = std::function<std::unique_ptr<Source>()>;

// Reads a whole table into memory; throws as Source::Read. With
// `stopped`, the reading ends early once it says so (between batches).
Table ReadTable(Source& source, const std::string& path, const std::function<bool()>& stopped = {});

}  // namespace records
