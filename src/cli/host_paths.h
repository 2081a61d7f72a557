// Our messages name a file by its path on this machine, spelt as
// --list --json spells it, never by the Windows path the procedures hold.
// The texts the procedures compose (the window's own words, the engine's
// errors) name files in the folders the path table knows; HostPaths is told
// those folders and spells every Windows path inside them as a host path.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

class HostPaths {
public:
    // hostPath: the host path of a Windows path.
    explicit HostPaths(std::function<std::string(const std::string&)> hostPath) : hostPath_(std::move(hostPath)) {}

    // Knows the folder of Path (a Windows path), and so every file in it.
    void Know(const std::string& Path);
    // text with each Windows path in a known folder spelt as a host path.
    std::string Spell(const std::string& text) const;

private:
    std::function<std::string(const std::string&)> hostPath_;
    std::vector<std::pair<std::string, std::string>> folders_;  // "C:\...\Data\" and its host spelling "/.../Data/"
};

}  // namespace cli
