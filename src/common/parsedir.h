// Cuts a file path into its parts. ParseType (any letter case) names the
// part: "dir", "nameonly", "name"/"filename", "ext"/"extension",
// "prevdir"/"previousdir"; anything else gives the empty text.
#pragma once

#include <string>

#include "common/services.h"

namespace common {

std::string ParseDir(Services& sys, const std::string& FileName, const std::string& ParseType);

}  // namespace common
