// RenameDatabase: sets a live database aside as "bsrv.<n>" in its own
// folder, n the lowest number from 1 upward that no file has. The numbered
// copies are never listed, opened or deleted; they accumulate.
#include <climits>

#include "common/parsedir.h"
#include "operations/commands.h"

namespace operations {

std::optional<std::string> RenameDatabase(catalogue::Form1& form, const std::string& Path) {
    // No handler of its own: a failure while the free name is looked for is
    // the failure of the caller's line.
    std::string candidate;
    for (long n = 1; n <= LONG_MAX; ++n) {
        candidate = common::ParseDir(form.sys, Path, "dir") + "bsrv." + std::to_string(n);
        if (form.sys.files.Dir(candidate).empty()) break;
    }
    // The rename itself may fail (the file is held open or missing): that is
    // no error here, the caller sees that no numbered copy was made.
    try {
        form.sys.files.Name(Path, candidate);
    } catch (const vb::Error&) {
        return std::nullopt;
    }
    return candidate;
}

}  // namespace operations
