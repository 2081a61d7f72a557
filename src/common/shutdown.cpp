#include "common/errorproc.h"
#include "common/procedure.h"

namespace common {

void Shutdown(Services& sys) {
    // Reports its own failure as "Shutdown" in "Module1"; Abort in that
    // report calls Shutdown again through the standard handler.
    Procedure proc(sys, "Shutdown", "Module1");
    proc.Line(40, [&] { sys.process.End(); });
    proc.Run();
}

}  // namespace common
