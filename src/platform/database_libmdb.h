// The Jet engine on libmdb. libmdb never runs in this process: every read
// (the check at OpenDatabase and each OpenRecordset) starts the reader child
// rolvane-mdb-reader on the one file, under CPU, memory, core-dump and output
// limits and a wall-clock deadline, and takes its framed answer from a pipe.
// A child that dies, overruns or answers nonsense means a damaged file: 3343.
// A recordset holds its whole result; nothing is read after OpenRecordset.
//
// Errors beyond those in database.h: 3061 "Too few parameters. Expected N."
// for a field name in the SELECT list or WHERE clause that the table lacks
// (as Jet, which takes an unknown name for a parameter), and 3464 "Data type
// mismatch in criteria expression." for text compared with a number.
// Close on a closed recordset or database does nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/database.h"

namespace platform {

inline constexpr int32_t kTooFewParameters = 3061;
inline constexpr int32_t kTypeMismatch = 3464;

// What one reader child may use before it is stopped.
struct ReaderLimits {
    int cpuSeconds = 3;                     // RLIMIT_CPU
    uint64_t memoryBytes = 256ull << 20;    // RLIMIT_AS
    uint64_t noiseBytes = 64ull << 10;      // what libmdb may print (RLIMIT_FSIZE)
    uint64_t outputBytes = 8ull << 20;      // answer on the pipe; more is killed
    int wallClockMs = 10000;                // killed after this, blocked or not
};

// One reader child's answer.
struct ReaderResult {
    std::vector<std::string> columns;
    std::vector<std::vector<Value>> rows;
};

// Runs the reader child at `readerPath` on `hostPath` with `query` (empty:
// only check the file). Throws vb::Error; `displayPath` is the name used in
// error descriptions.
ReaderResult RunReader(const std::string& readerPath, const std::string& hostPath, const std::string& displayPath,
                       const std::string& query, const ReaderLimits& limits);

class LibmdbEngine : public DBEngine {
public:
    // `toHost` maps the paths the procedures hold (Windows form) to host paths.
    LibmdbEngine(std::function<std::string(const std::string&)> toHost, std::string readerPath);

    std::unique_ptr<Database> OpenDatabase(const std::string& Path) override;

    void SetLimits(const ReaderLimits& limits) { limits_ = limits; }
    const ReaderLimits& Limits() const { return limits_; }

private:
    std::function<std::string(const std::string&)> toHost_;
    std::string readerPath_;
    ReaderLimits limits_;
};

// Where the reader child of the program at `programPath` is: beside it (the
// build tree), else in `libexecFromBin`, a folder given relative to the
// program's folder (installed: "../libexec/restore-rolvane-data"). When
// neither holds an executable reader, the installed location, so that the
// failure to start it names where it belongs. A `programPath` that is not
// absolute gives the empty path, which no reader can be started from.
std::string ReaderPathFor(const std::string& programPath, const std::string& libexecFromBin);

// The reader child of the running program (ReaderPathFor of /proc/self/exe).
// Only paths relative to the program are searched: the installed program
// holds no path of the machine it was built on.
std::string DefaultReaderPath();

}  // namespace platform
