// The Jet engine on libmdb. libmdb never runs in this process: the engine
// owns one sandboxed reader child, rolvane-mdb-reader (reader_client.h),
// started on first use and serving every read of the run: the check at
// OpenDatabase and each OpenRecordset. A reader that dies, overruns or
// answers nonsense fails that read with 3343 and is replaced for the next.
// A recordset holds its whole result; nothing is read after OpenRecordset.
// A table's stream (OpenTable, FindRecords) holds one batch of rows at a
// time and asks the reader for the next as it is read (ReaderLimits says
// how large a batch is); the reader's limits apply to each batch.
//
// Threads: an engine, with its databases and streams, is for one thread at
// a time; engines share nothing, so that several can read at once, one per
// thread (reader_client.h), e.g. one per core to search many databases.
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

#include "ports/database.h"
#include "jet/reader_client.h"

namespace jet {

inline constexpr int32_t kTooFewParameters = 3061;
inline constexpr int32_t kTypeMismatch = 3464;

class LibmdbEngine : public ports::DBEngine {
public:
    using PathMap = std::function<std::string(const std::string&)>;

    // `toHost` maps the paths the procedures hold (Windows form) to host
    // paths; `present` names them in the errors (ports/path_presenter.h),
    // unset: as the procedures hold them.
    LibmdbEngine(PathMap toHost, std::string readerPath, PathMap present = {});

    std::unique_ptr<ports::Database> OpenDatabase(const std::string& Path) override;

    // Limits for the reader; a running one is ended and the next read starts
    // one under the new limits.
    void SetLimits(const ReaderLimits& limits) { reader_->SetLimits(limits); }
    const ReaderLimits& Limits() const { return reader_->Limits(); }

    // The running reader's process id, -1 before the first read and after a
    // failure ended it.
    pid_t ReaderPid() const { return reader_->Pid(); }
    // What the reader's sandbox holds, and with a folder what it refused
    // there (ReaderProcess::Probe).
    SandboxReport ProbeSandbox(const std::string& folder) { return reader_->Probe(folder); }

private:
    PathMap toHost_;
    PathMap present_;
    // Shared with the databases it opened, which read through it too.
    std::shared_ptr<ReaderProcess> reader_;
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

}  // namespace jet
