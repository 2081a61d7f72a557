// The whole-file check as both programs run it: the reader's check of the
// file (jet/reader_check.h), and beside it the lock file that Jet keeps
// while a database is open. A "bsrv.ldb" beside "bsrv.mdb" that no program
// holds open means that Rolvane ended without closing the database: Jet
// copes with that, so it is a warning.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ports/check.h"

namespace app {

class LockFileCheck : public ports::FileCheck {
public:
    // `toHost` maps the paths the procedures hold to host paths.
    LockFileCheck(std::unique_ptr<ports::FileCheck> inner, std::function<std::string(const std::string&)> toHost)
        : inner_(std::move(inner)), toHost_(std::move(toHost)) {}

    ports::CheckResult Check(const std::string& Path, const ports::CheckProgress& Progress = {}) override;

private:
    std::unique_ptr<ports::FileCheck> inner_;
    std::function<std::string(const std::string&)> toHost_;
};

// The name of the lock file beside the database at `hostPath` (a ".mdb"):
// the file "<name>.ldb" in its folder, in any case; none when there is none.
std::optional<std::string> LockFileBeside(const std::string& hostPath);

}  // namespace app
