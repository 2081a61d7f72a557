// records::Source over a database engine (ports/database.h): the table's
// stream (OpenTable) or only its records holding a text (FindRecords),
// taken in batches as the stream gives them. The Source owns its engine,
// so that each thread that reads has one: a stream ends when anything else
// is read through the same engine.
#pragma once

#include <memory>

#include "ports/database.h"
#include "records/source.h"

namespace records {

std::unique_ptr<Source> EngineSource(std::unique_ptr<ports::DBEngine> engine);

// A SourceFactory whose Sources each read through an engine of their own.
SourceFactory EngineSources(std::function<std::unique_ptr<ports::DBEngine>()> makeEngine);

// The column's kind as records/ shows, finds and exports it.
Kind KindOf(ports::ColumnType type);

}  // namespace records
