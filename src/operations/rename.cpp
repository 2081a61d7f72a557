// Setting a live database aside as its next numbered copy (RenameDatabase,
// commands.h). The program never deletes a numbered copy; Previous Versions
// (previous_versions.h) lists them, puts one back or moves one to the trash.
#include "operations/commands.h"
#include "operations/numbered_copies.h"

namespace operations {

namespace {

// Whether a failure of CopyAside leaves a rename as the way to keep the
// data: only no room for a copy (61 Disk full). Any other failure (an I/O
// error, a file held open or out of reach, an in-use check that cannot
// tell) ends the command, and nothing moves.
bool OnlyAMoveKeeps(const vb::Error& e) {
    return e.Kind() == vb::ErrorKind::Plain && e.Number() == vb::kDiskFull;
}

}  // namespace

std::optional<NumberedCopy> RenameDatabase(common::Services& sys, const std::string& Path,
                                           std::optional<vb::Error>* Why, const MayMove& Move) {
    ports::Files& files = sys.files;
    // No handler of its own: a failure while the free name is looked for is
    // the failure of the caller's line.
    for (auto free = NextFreeCopy(sys, Path); free; free = NextFreeCopy(sys, Path, free->number + 1)) {
        const std::string& candidate = free->path;
        // Setting aside itself may fail (the file is missing, or held open):
        // that is no error here, the caller sees that no numbered copy was
        // made. A name the existence test does not see can still be taken (a
        // folder, a hidden file): then the next one.
        try {
            // A second name: the live database never leaves its place.
            if (files.Link(Path, candidate)) return NumberedCopy{candidate, HowSetAside::Linked};
            // No second name here: a copy, and the live database still
            // never leaves its place.
            try {
                files.CopyAside(Path, candidate);
                return NumberedCopy{candidate, HowSetAside::Copied};
            } catch (const vb::Error& e) {
                if (!OnlyAMoveKeeps(e)) throw;
                // Not even a copy (a full disk): the live database itself
                // moves, and only with the user's consent.
                if (!Move || !Move(candidate, e)) {
                    if (Why) Why->emplace(e);
                    return std::nullopt;
                }
            }
            try {
                files.Name(Path, candidate);
            } catch (const vb::Error& e) {
                // Moved as the system sees it, whether or not the disk kept
                // it: the data is under the new name now.
                if (e.Kind() != vb::ErrorKind::NotSaved) throw;
            }
            return NumberedCopy{candidate, HowSetAside::Moved};
        } catch (const vb::Error& e) {
            // A stop signal stops the command, whose handler undoes it.
            if (e.Kind() == vb::ErrorKind::Stopped) throw;
            if (e.Kind() == vb::ErrorKind::NotSaved) {
                // A second name or copy the disk may not have kept keeps
                // nothing for sure: it goes again, and the disk's failure is
                // the reason nothing was kept.
                try {
                    files.RemoveExtraName(candidate, Path);
                } catch (const vb::Error&) {
                }
                if (Why) Why->emplace(vb::DeviceIOError());
                return std::nullopt;
            }
            if (e.Number() != vb::kFileAlreadyExists) {
                if (Why) Why->emplace(e);
                return std::nullopt;
            }
        }
    }
    return std::nullopt;
}

}  // namespace operations
