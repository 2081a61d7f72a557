// RenameDatabase: keeps a live database as "bsrv.<n>" in its own folder, n
// the lowest number from 1 upward that no file has. The program never
// deletes a numbered copy; Previous Versions (previous_versions.h) lists
// them, puts one back or moves one to the trash.
#include <climits>

#include "common/parsedir.h"
#include "operations/commands.h"

namespace operations {

std::optional<NumberedCopy> RenameDatabase(catalogue::Form1& form, const std::string& Path,
                                           std::optional<vb::Error>* Why) {
    platform::Files& files = form.sys.files;
    // No handler of its own: a failure while the free name is looked for is
    // the failure of the caller's line.
    for (long n = 1; n < LONG_MAX; ++n) {
        const std::string candidate = common::ParseDir(form.sys, Path, "dir") + "bsrv." + std::to_string(n);
        if (!files.Dir(candidate).empty()) continue;
        // Setting aside itself may fail (the file is missing, or held open
        // where it has to be renamed): that is no error here, the caller sees
        // that no numbered copy was made. A name the existence test does not
        // see can still be taken (a folder, a hidden file): then the next one.
        try {
            // A second name: the live database never leaves its place.
            if (files.Link(Path, candidate)) return NumberedCopy{candidate, true};
            // No hard links on this file system: the live database moves.
            files.Name(Path, candidate);
            return NumberedCopy{candidate, false};
        } catch (const vb::Error& e) {
            if (e.Number() != vb::kFileAlreadyExists) {
                if (Why) Why->emplace(e);
                return std::nullopt;
            }
        }
    }
    return std::nullopt;
}

}  // namespace operations
