// The two commands that replace a live database: Restore (a backup over the
// live database of its edition) and Create Blank (the edition's shell file
// over the selected live database). Both keep the old file as a numbered copy
// first and rebuild the catalogue afterwards.
#pragma once

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

// The old live database kept under a numbered name.
struct NumberedCopy {
    std::string path;
    // True: a second name of the live file, which stays in place; false
    // (a file system without hard links): the live file itself, renamed.
    bool linked = false;
};

// Sets Path aside as the first free "bsrv.<n>" beside it: as a second name of
// the same file where the file system has hard links, else by renaming it.
// Returns the numbered copy when one was made; a failure to make it is
// silent, and told in Why when asked for. Errors while the free name is
// looked for are thrown to the caller's line.
std::optional<NumberedCopy> RenameDatabase(catalogue::Form1& form, const std::string& Path,
                                           std::optional<vb::Error>* Why = nullptr);

}  // namespace operations
