// How a message names a file to the user. The procedures hold Windows paths
// (C:\users\...\bsrv.mdb), as the served application does; each front end
// presents them as its user knows them: the window as the procedures hold
// them, the command line as the path on this machine (cli/console_ports.h).
// Every text that names a file is composed with the presented path, and the
// engine's errors name the file by it, so that nothing rewrites a message
// afterwards.
#pragma once

#include <string>

namespace ports {

class PathPresenter {
public:
    virtual ~PathPresenter() = default;

    // Path, as the procedures hold it, as the user's messages name it.
    virtual std::string Present(const std::string& Path) const = 0;
};

// Presents a path as the procedures hold it: the window's, and the tests'.
class PathsAsHeld final : public PathPresenter {
public:
    std::string Present(const std::string& Path) const override { return Path; }
};

inline const PathsAsHeld kPathsAsHeld;

}  // namespace ports
