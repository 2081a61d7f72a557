// Where records come from: a reader of one database's table roof (the
// databases themselves are named in records/places.h).
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

#include "records/record.h"

namespace records {

// The table every database of the served application keeps its contacts in.
inline constexpr const char* kContactsTable = "roof";

class Source {
public:
    virtual ~Source() = default;

    // What a reading has so far: the columns and key arrive once, before
    // the first records.
    struct Layout {
        std::vector<Column> columns;
        std::vector<std::string> primaryKey;
        std::optional<uint64_t> storedCount = {};  // the table definition's count of records, if known
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
