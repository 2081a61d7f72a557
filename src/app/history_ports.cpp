#include "app/history_ports.h"

#include <climits>
#include <cstdlib>

#include "catalogue/catalogue.h"
#include "ports/check.h"
#include "posix/held_open.h"

namespace app {

namespace {

// path through no symbolic link, as far as it exists.
std::string Resolved(const std::string& path) {
    char resolved[PATH_MAX];
    for (size_t end = path.size(); end != std::string::npos && end > 0; end = path.rfind('/', end - 1))
        if (realpath(path.substr(0, end).c_str(), resolved)) return std::string(resolved) + path.substr(end);
    return path;
}

}  // namespace

std::optional<std::string> StoreRefusedBeside(const std::string& storeFolder, const std::string& prefix) {
    if (prefix.empty()) return std::nullopt;
    const std::string store = Resolved(storeFolder) + "/";
    const std::string wine = Resolved(prefix) + "/";
    if (store.rfind(wine, 0) != 0) return std::nullopt;
    return "the history store " + storeFolder + " would lie inside the Wine prefix " + prefix +
           ", where Rolvane sees it: set XDG_DATA_HOME to a folder outside it";
}

history::Examination ExamineVersion(common::Services& sys, const std::string& path,
                                    const std::vector<size_t>& newPages) {
    history::Examination found;
    // The verdict of the whole check, as --check gives it, decoding only
    // the values on new pages; a stop signal ends the check, and the
    // snapshot then stops before it stores anything.
    const ports::CheckResult checked =
        sys.Check().CheckNew(path, newPages, [&sys](uint64_t, uint64_t) { return !sys.stops.Requested(); });
    if (checked.cancelled) {
        found.reason = "its check was stopped";
        return found;
    }
    if (const ports::Finding* damage = checked.First(ports::Severity::Damaged)) {
        found.verdict = history::Verdict::Damaged;
        found.reason = ports::Describe(*damage);
        return found;
    }
    // Warnings alone are what Jet tolerates: the version is good.
    found.verdict = history::Verdict::Good;
    const catalogue::Count count = catalogue::CountRecords(sys, path);
    if (count.records) found.records = *count.records;
    return found;
}

history::SnapshotPorts SnapshotPortsOn(common::Services& sys,
                                       std::function<void(const history::LiveDatabase&)> waiting) {
    history::SnapshotPorts ports(sys.lock, sys.stops);
    ports.heldByAnother = [](int fd) { return posix::HeldByAnotherProcess(fd); };
    ports.examine = [&sys](const std::string& path, const std::vector<size_t>& newPages) {
        return ExamineVersion(sys, path, newPages);
    };
    ports.now = [&sys] { return sys.locale.Now(); };
    ports.waiting = std::move(waiting);
    return ports;
}

}  // namespace app
