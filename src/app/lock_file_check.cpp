#include "app/lock_file_check.h"

#include <dirent.h>

#include "posix/held_open.h"
#include "vb/casefold.h"
#include "vb/error.h"

namespace app {

std::optional<std::string> LockFileBeside(const std::string& hostPath) {
    const size_t slash = hostPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : hostPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
    if (name.size() <= 4 || !vb::EqualsIgnoringCase(name.substr(name.size() - 4), ".mdb")) return std::nullopt;
    const std::string lockName = name.substr(0, name.size() - 4) + ".ldb";
    DIR* dir = opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* e = readdir(dir))
        if (vb::EqualsIgnoringCase(e->d_name, lockName)) {
            found = e->d_name;
            break;
        }
    closedir(dir);
    return found;
}

ports::CheckResult LockFileCheck::Check(const std::string& Path, const ports::CheckProgress& Progress) {
    ports::CheckResult result = inner_->Check(Path, Progress);
    if (result.cancelled) return result;
    const std::string host = toHost_(Path);
    const std::optional<std::string> lock = LockFileBeside(host);
    if (!lock) return result;
    // Held open, the lock file is Rolvane's own while it runs.
    bool held = false;
    try {
        held = posix::HeldByAnotherProcess(host);
    } catch (const vb::Error&) {
    }
    if (!held)
        result.findings.push_back({ports::Severity::Warning,
                                   "a lock file, " + *lock + ", lies beside it that no program holds: Rolvane ended "
                                   "without closing the database",
                                   {}, {}, {}});
    return result;
}

}  // namespace app
