// The numbered copies of a live database: "bsrv.<n>" in its folder, each
// holding the data a command kept before it replaced the live database
// (Restore, Create Blank and Put Back make them; the window lists them as
// Previous Versions). The name rule, the next free name, the listing and the
// command line's reading of a copy's number are all here, and only here.
//
// The name: "bsrv." (in any letter case, as the folder spells it) followed
// by n in decimal digits without leading zeros, n from 1 to kLastCopyNumber.
// The one limit is 18 digits: every such n fits a long long, so every copy a
// folder can hold is listed, tidied and named on the command line alike, and
// no command gets near it (each takes the lowest free number).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/services.h"

namespace operations {

inline constexpr long long kLastCopyNumber = 999'999'999'999'999'999;

// The n of a numbered copy's name; 0 for any other name.
long long NumberOfCopy(std::string_view Name);

// "bsrv.<n>", as a command names the copy it makes.
std::string NumberedCopyName(long long Number);

// The N of "bsrv.N" given alone on the command line (--put-back EDITION N):
// decimal digits only, leading zeros read as in any number, from 1 to
// kLastCopyNumber; 0 for anything else.
long long CopyNumberOf(std::string_view Text);

// One numbered copy beside a live database.
struct NumberedCopyFile {
    long long number = 0;
    std::string name;  // as the folder spells it: "bsrv.3"
    std::string path;  // the live database's folder and the name
};

// The numbered copies beside the live database at LivePath, lowest number
// first, as the existence test sees the folder (hidden and system files do
// not count). FilesIn's errors are thrown (70 when it cannot be read).
std::vector<NumberedCopyFile> ListNumberedCopies(common::Services& sys, const std::string& LivePath);

// The numbered copy with the lowest number from From upward whose name the
// existence test does not see beside LivePath; none past kLastCopyNumber.
std::optional<NumberedCopyFile> NextFreeCopy(common::Services& sys, const std::string& LivePath,
                                             long long From = 1);

}  // namespace operations
