// The two commands that replace a live database: Restore (a backup over the
// live database of its edition) and Create Blank (the edition's shell file
// over the selected live database). Both keep the old file as a numbered copy
// first and rebuild the catalogue afterwards.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "catalogue/form1.h"
#include "vb/error.h"

namespace operations {

// The titles of the messages that tell a command has finished.
inline constexpr const char* kRestoredTitle = "Restore Complete";
inline constexpr const char* kBlankCreatedTitle = "Create Blank Successful";

void cmdRestore_Click(catalogue::Form1& form);
void cmdMakeBlank_Click(catalogue::Form1& form);

// How the old live database is kept under a numbered name.
enum class Kept {
    Linked,  // a second name of the live file, which stays in place
    Copied,  // a copy of it (no second name possible); the live file stays
    Moved,   // the live file itself, renamed (not even a copy possible)
};

struct NumberedCopy {
    std::string path;
    Kept how = Kept::Linked;
};

// Asked before the live database at Path would be moved to Numbered because
// no copy of it can be made (Why): true lets it move.
using MayMove = std::function<bool(const std::string& Numbered, const vb::Error& Why)>;

// Sets Path aside as the first free "bsrv.<n>" beside it: as a second name of
// the same file where the file system gives one, else as a copy, else, when
// even a copy cannot be made and Move agrees, by renaming it. Returns the
// numbered copy when one was made; a failure to make it is silent, and told
// in Why when asked for. Errors while the free name is looked for are
// thrown to the caller's line.
std::optional<NumberedCopy> RenameDatabase(catalogue::Form1& form, const std::string& Path,
                                           std::optional<vb::Error>* Why = nullptr, const MayMove& Move = {});

}  // namespace operations
