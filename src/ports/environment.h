// The parts of the user's environment the Linux platform reads: where the
// home folder is, who the user is, the Wine prefix and XDG folders. Held as
// values so that the shell and the prefix lookup can be given a made-up
// environment instead of the process's own.
// In production: HostEnvironment::FromProcess (host/host_environment.cpp);
// tests fill in the values themselves.
#pragma once

#include <string>

namespace ports {

struct HostEnvironment {
    std::string home;           // $HOME, else the home folder of the passwd entry
    std::string user;           // $USER, else the login name of the passwd entry
    std::string winePrefix;     // $WINEPREFIX, empty when unset
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME, empty when unset
    std::string xdgDataHome;    // $XDG_DATA_HOME, empty when unset

    // The environment of this process.
    static HostEnvironment FromProcess();
};

}  // namespace ports
