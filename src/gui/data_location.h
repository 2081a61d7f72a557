// What the window tells the user about where it looked for the served
// application's data (locate_data.h): the text the catalogue shows while it
// is empty.
#pragma once

#include <QString>

#include "app/locate_data.h"

namespace gui {

// The text of the empty catalogue: where the utility looked, that it found
// none of the served application's databases or backups there, and how to
// point it at another prefix.
QString EmptyCatalogueText(const wine::PrefixChoice& choice, const ports::HostEnvironment& env);

}  // namespace gui
