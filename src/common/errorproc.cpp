#include "common/errorproc.h"

#include <iterator>

#include "common/procedure.h"

namespace common {

std::string ErrorReportText(int32_t ErrNumber, const std::string& ErrDescription,
                            const std::string& ProcName, const std::string& ModuleName,
                            int32_t LineNumber) {
    const std::string number = std::to_string(ErrNumber);
    const std::string lines[] = {
        "Error " + number + " has been encountered in " + ProcName,
        "",
        "Details of this error: ",
        "",
        "Error: " + number,
        "Desc: " + ErrDescription,
        "Location: " + ProcName,
        "Module: " + ModuleName,
        "Line Number: " + std::to_string(LineNumber),
        "",
        "Abort will end the program",
        "Retry will try the function again",
        "Ignore will skip the problem and try to continue",
    };
    std::string text = lines[0];
    for (size_t i = 1; i < std::size(lines); ++i) text += "\r\n" + lines[i];
    return text;
}

std::string ErrorReportTitle(int32_t ErrNumber, const std::string& ProcName) {
    return "Error " + std::to_string(ErrNumber) + " in " + ProcName;
}

namespace {

int16_t ErrorProcNested(Services& sys, int32_t ErrNumber, const std::string& ErrDescription,
                        const std::string& ProcName, const std::string& ModuleName,
                        int32_t LineNumber, int depth) {
    int16_t choice = 0;
    std::string message;

    // A failure of the report is reported through the report itself, one
    // level deeper, until the nesting limit is reached.
    bool giveUp = false;
    Procedure proc([&](const vb::Error& e, int line) {
        if (depth >= kErrorProcMaxNesting) {
            giveUp = true;
            return Resume::Leave;
        }
        const Resume resume = ResumeFor(
            sys, ErrorProcNested(sys, e.Number(), e.Description(), "ErrorProc", "Common", line, depth + 1));
        if (resume == Resume::Leave) giveUp = true;
        return resume;
    });
    proc.Line(130, [&] {
        message = ErrorReportText(ErrNumber, ErrDescription, ProcName, ModuleName, LineNumber);
    });
    proc.Line(140, [&] {
        choice = static_cast<int16_t>(sys.msgbox.Show(message, ports::vbAbortRetryIgnore,
                                                      ErrorReportTitle(ErrNumber, ProcName)));
    });
    proc.Line(150, [&] { return Flow::Leave(); });
    proc.Run();
    return giveUp ? 0 : choice;
}

}  // namespace

int16_t ErrorProc(Services& sys, int32_t ErrNumber, const std::string& ErrDescription,
                  const std::string& ProcName, const std::string& ModuleName, int32_t LineNumber) {
    return ErrorProcNested(sys, ErrNumber, ErrDescription, ProcName, ModuleName, LineNumber, 0);
}

}  // namespace common
