// Special folders and list-view column sizing, shared by the window's procedures.
#pragma once

#include <string>

#include "common/services.h"
#include "ports/listview.h"

namespace common {

// The special folder's path with one backslash appended (a path of three
// characters or fewer, such as a drive root, is returned as it is), or the
// empty text when the platform does not know the folder.
std::string GetSpecialFolder(Services& sys, int FolderId);

// Sizes every column of the list to the wider of its header and its cells.
void lvAutosizeControl(Services& sys, ports::ListView& ListView);

}  // namespace common
