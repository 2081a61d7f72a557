// The two commands that replace a live database: Restore (a backup over the
// live database of its edition) and Create Blank (the edition's shell file
// over the selected live database). Both set the old file aside as a numbered
// copy first and rebuild the catalogue afterwards.
#pragma once

#include <optional>
#include <string>

#include "catalogue/form1.h"
#include "vb/error.h"

namespace operations {

void cmdRestore_Click(catalogue::Form1& form);
void cmdMakeBlank_Click(catalogue::Form1& form);

// Renames Path to the first free "bsrv.<n>" beside it. Returns the numbered
// copy's path when the rename took place; a failed rename is silent.
// Errors while the free name is looked for are thrown to the caller's line.
std::optional<std::string> RenameDatabase(catalogue::Form1& form, const std::string& Path);

}  // namespace operations
