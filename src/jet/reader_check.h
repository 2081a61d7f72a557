// The whole-file check (ports/check.h) through the sandboxed reader child:
// the reader checks the file in batches (reader/check.h), each one request
// under the reader's limits, so that neither its memory nor the time of one
// request grows with the file; between batches the progress is told and
// may stop the check. A file the reader cannot open, or that makes the
// reader fail, is damaged, with the reason as its finding.
//
// Threads: a ReaderCheck owns its own reader child, apart from the
// engine's, and is for one thread at a time.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ports/check.h"
#include "jet/reader_client.h"

namespace jet {

class ReaderCheck : public ports::FileCheck {
public:
    using PathMap = std::function<std::string(const std::string&)>;

    // `toHost` maps the paths the procedures hold to host paths; `present`
    // names them in the findings (ports/path_presenter.h), unset: as held.
    ReaderCheck(PathMap toHost, std::string readerPath, ReaderLimits limits = {}, PathMap present = {});

    ports::CheckResult Check(const std::string& Path, const ports::CheckProgress& Progress = {}) override;
    ports::CheckResult CheckNew(const std::string& Path, const std::vector<size_t>& NewPages,
                                const ports::CheckProgress& Progress = {}) override;

    void SetLimits(const ReaderLimits& limits) { reader_.SetLimits(limits); }

private:
    // newPages: the bitmap of the 'I' request; none for 'K'.
    ports::CheckResult Run(const std::string& Path, const std::string* newPages, const ports::CheckProgress& Progress);
    PathMap toHost_;
    PathMap present_;
    ReaderProcess reader_;
};

}  // namespace jet
