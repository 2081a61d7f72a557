#include "cli/scheduled.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>


namespace cli {

namespace {

constexpr int64_t kDay = 24 * 60 * 60;

std::string Summary(const std::string& edition, const std::string& what) {
    return "Rolvane " + edition + " contacts: " + what;
}

// "2026-12-10 08:41", local time, as a person reads it.
std::string When(int64_t seconds) {
    const time_t when = static_cast<time_t>(seconds);
    std::tm local{};
    char text[32];
    if (!localtime_r(&when, &local) || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) == 0) return {};
    return text;
}

std::string Newest(const std::string& newestGood) { return " The newest good version is " + newestGood + "."; }

}  // namespace

bool ChangedSince(const std::string& hostPath, const std::optional<history::Version>& version) {
    struct stat st {};
    if (stat(hostPath.c_str(), &st) != 0) return false;
    const int64_t modifiedNs = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    return !version || version->size != st.st_size || version->modifiedNs != modifiedNs;
}

int64_t SecondsToWait(history::Store& store, const std::vector<history::LiveDatabase>& live, int64_t now) {
    int64_t wait = 0;
    for (const history::LiveDatabase& database : live) {
        const std::optional<history::Version> newest = store.Newest(database.ref);
        if (newest && ChangedSince(database.hostPath, newest))
            wait = std::max(wait, std::min(newest->taken + kVersionWindow - now, kVersionWindow));
    }
    return wait;
}

std::string NewestGood(history::Store* store, const history::DatabaseRef& database) {
    if (!store) return "none that can be read now";
    try {
        for (const history::Version& version : store->Versions(database))
            if (version.verdict == history::Verdict::Good)
                return "version @" + std::to_string(version.number) + ", taken " + When(version.taken);
    } catch (const vb::Error&) {
        return "none that can be read now";
    }
    return "none";
}

std::optional<Problem> ProblemOf(const history::Outcome& outcome, const std::string& file,
                                 const std::string& newestGood, std::optional<int64_t> newestTaken, int64_t now) {
    using Kind = history::Outcome::Kind;
    const std::string& edition = outcome.database.ref.edition;
    switch (outcome.kind) {
        case Kind::Taken:
            if (outcome.version->verdict != history::Verdict::Damaged) return std::nullopt;
            return Problem{"damaged " + edition, Summary(edition, "the live database is damaged"),
                           file + " is damaged" + (outcome.reason.empty() ? "" : " (" + outcome.reason + ")") +
                               "; Rolvane may fail to open it." + Newest(newestGood),
                           edition};
        case Kind::Failed:
        case Kind::ChangedWhileRead:
            return Problem{"failed " + edition, Summary(edition, "no version could be kept"),
                           file + ": " +
                               (outcome.kind == Kind::ChangedWhileRead ? std::string("it changed while it was read")
                                : outcome.error                        ? outcome.error->Description()
                                                                       : std::string("it could not be read")) +
                               "." + Newest(newestGood),
                           edition};
        case Kind::InUse:
            // Held for more than a day: its newest version is older than that.
            if (!newestTaken || now - *newestTaken <= kDay) return std::nullopt;
            return Problem{"held " + edition, Summary(edition, "no version for more than a day"),
                           file + " has been held by another program since before " + When(*newestTaken) +
                               ", so no version of its changes could be kept." + Newest(newestGood),
                           edition};
        case Kind::Unchanged:
            return std::nullopt;
    }
    return std::nullopt;
}

Problem StoreProblem(const std::string& why, const std::string& edition) {
    return {"store", "Rolvane contacts: no version could be kept", why, edition};
}

}  // namespace cli
