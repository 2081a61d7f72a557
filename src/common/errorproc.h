// The error report and the orderly end of the program.
#pragma once

#include <cstdint>
#include <string>

#include "common/services.h"

namespace common {

// How deep a failure of the report inside the report may nest before
// ErrorProc gives up and returns 0 (the caller then leaves its procedure).
inline constexpr int kErrorProcMaxNesting = 5;

// Shows the Abort / Retry / Ignore report for an error on a procedure's line
// and returns the choice: 3 Abort, 4 Retry, 5 Ignore, or 0 without an answer.
int16_t ErrorProc(Services& sys, int32_t ErrNumber, const std::string& ErrDescription,
                  const std::string& ProcName, const std::string& ModuleName, int32_t LineNumber);

// The thirteen lines of the report, joined by CR LF, and its title.
std::string ErrorReportText(int32_t ErrNumber, const std::string& ErrDescription,
                            const std::string& ProcName, const std::string& ModuleName,
                            int32_t LineNumber);
std::string ErrorReportTitle(int32_t ErrNumber, const std::string& ProcName);

// Ends the program at once: nothing of the caller runs after it, nothing is
// saved. Returns only if ending the process itself failed and the user did
// not choose to try again.
void Shutdown(Services& sys);

}  // namespace common
