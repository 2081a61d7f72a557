// Files held open by a Windows program under Wine. Such a program keeps its
// files open inside wineserver, not in its own process, so the wineservers
// of this user are the ones to ask.
#pragma once

#include <sys/types.h>

namespace wine {

// True when a wineserver of this user (a process named wineserver or
// wineserver64, by its name or its program file) has the file
// (device, inode) open. False when /proc cannot be read.
bool OpenInWineServer(dev_t device, ino_t inode);

}  // namespace wine
