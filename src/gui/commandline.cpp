#include "gui/commandline.h"

namespace gui {

QString Version() { return QStringLiteral(ROLVANE_VERSION); }

}  // namespace gui
