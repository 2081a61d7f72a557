#include "common/shellfolders.h"

#include <cstring>

#include "common/procedure.h"

namespace common {

std::string GetSpecialFolder(Services& sys, int FolderId) {
    std::string result;
    int location = 0;
    std::string buffer;

    Procedure proc(sys, "GetSpecialFolder", "Common");
    proc.Line(40, [&] { result.clear(); });
    proc.Line(50, [&] {
        // An unknown folder is an expected absence: the empty text, no report.
        if (sys.shell.GetSpecialFolderLocation(FolderId, location) != 0) return Flow::Leave();
        return Flow::Next();
    });
    proc.Line(60, [&] { buffer.assign(260, ' '); });
    proc.Line(70, [&] {
        if (!sys.shell.GetPathFromIDList(location, buffer)) return Flow::Goto(100);
        return Flow::Next();
    });
    proc.Line(80, [&] { result = buffer.substr(0, buffer.find('\0')); });
    proc.Line(100, [&] {
        if (!ports::TakesTrailingSeparator(result)) return Flow::Leave();
        return Flow::Next();
    });
    proc.Line(110, [&] { result += "\\"; });
    proc.Run();
    return result;
}

void lvAutosizeControl(Services& sys, ports::ListView& ListView) {
    int column = 0;
    int last = -1;

    Procedure proc(sys, "lvAutosizeControl", "Common");
    proc.Line(40, [&] {
        column = 0;
        last = ListView.ColumnHeaderCount() - 1;
        return column <= last ? Flow::Next() : Flow::Leave();
    });
    proc.Line(50, [&] { ListView.AutosizeColumn(column); });
    proc.Line(60, [&] {
        ++column;
        return column <= last ? Flow::Goto(50) : Flow::Next();
    });
    proc.Run();
}

}  // namespace common
