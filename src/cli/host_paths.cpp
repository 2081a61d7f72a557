#include "cli/host_paths.h"

#include <algorithm>

namespace cli {

void HostPaths::Know(const std::string& Path) {
    const size_t slash = Path.rfind('\\');
    if (slash == std::string::npos || slash == 0) return;
    const std::string folder = Path.substr(0, slash + 1);
    for (const auto& known : folders_)
        if (known.first == folder) return;
    folders_.emplace_back(folder, hostPath_(folder.substr(0, slash)) + "/");
    // The longest first, so that a folder inside another is spelt whole.
    std::sort(folders_.begin(), folders_.end(),
              [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
}

std::string HostPaths::Spell(const std::string& text) const {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        bool spelt = false;
        for (const auto& [folder, host] : folders_) {
            if (text.compare(i, folder.size(), folder) != 0) continue;
            out += host;
            i += folder.size();
            spelt = true;
            break;
        }
        if (!spelt) out += text[i++];
    }
    return out;
}

}  // namespace cli
