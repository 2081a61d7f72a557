#include "app/history_versions.h"

#include <sys/stat.h>

#include <ctime>
#include <thread>

#include "host/host_files.h"

namespace app {

namespace {

bool Digits(const std::string& text, size_t from, size_t count) {
    if (text.size() < from + count) return false;
    for (size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// "@YYYY-MM-DDTHH:MM" as the last second of that minute, local time; -1
// when it is no such time.
int64_t MinuteEnd(const std::string& which) {
    if (which.size() != 17 || !Digits(which, 1, 4) || which[5] != '-' || !Digits(which, 6, 2) || which[8] != '-' ||
        !Digits(which, 9, 2) || which[11] != 'T' || !Digits(which, 12, 2) || which[14] != ':' || !Digits(which, 15, 2))
        return -1;
    std::tm when{};
    when.tm_year = std::stoi(which.substr(1, 4)) - 1900;
    when.tm_mon = std::stoi(which.substr(6, 2)) - 1;
    when.tm_mday = std::stoi(which.substr(9, 2));
    when.tm_hour = std::stoi(which.substr(12, 2));
    when.tm_min = std::stoi(which.substr(15, 2));
    when.tm_sec = 59;
    when.tm_isdst = -1;
    const std::tm asked = when;
    const time_t t = mktime(&when);
    // mktime moves a 31 February along; such a date is none.
    if (t == -1 || when.tm_mday != asked.tm_mday || when.tm_mon != asked.tm_mon || when.tm_hour != asked.tm_hour)
        return -1;
    return t;
}

int64_t NumberOf(const std::string& which) {
    if (which.size() < 2 || which.size() > 10 || which[1] == '0' || !Digits(which, 1, which.size() - 1)) return 0;
    return std::stoll(which.substr(1));
}

}  // namespace

bool IsVersionWhich(const std::string& text) {
    return !text.empty() && text[0] == '@' && (NumberOf(text) > 0 || MinuteEnd(text) >= 0);
}

std::optional<history::Version> FindVersion(const std::vector<history::Version>& versions, const std::string& which) {
    if (const int64_t number = NumberOf(which))
        for (const history::Version& v : versions)
            if (v.number == number) return v;
    if (const int64_t end = MinuteEnd(which); end >= 0)
        for (const history::Version& v : versions)  // newest first
            if (v.taken <= end) return v;
    return std::nullopt;
}

std::optional<RebuiltVersions::Rebuilt> RebuiltVersions::Rebuild(const history::DatabaseRef& database,
                                                                 const std::string& which, std::string& why) {
    const std::lock_guard<std::mutex> one(mutex_);
    std::optional<history::Version> version;
    try {
        if (!store_) store_ = std::make_unique<history::Store>(storeFolder_, false);
        version = FindVersion(store_->Versions(database), which);
        if (!version) {
            why = "There is no version " + which + " of the " + database.edition + " edition in the history store.";
            return std::nullopt;
        }
        auto file =
            std::make_unique<history::VersionFile>(storeFolder_, "bsrv@" + std::to_string(version->number));
        store_->Rebuild(*version, file->Fd(), "version " + std::to_string(version->number));
        // The file's date as it was taken, so that a copy of it keeps it.
        const timespec dates[2] = {{0, UTIME_OMIT},
                                   {version->modifiedNs / 1000000000, version->modifiedNs % 1000000000}};
        futimens(file->Fd(), dates);
        const Rebuilt rebuilt{*version, file->Path()};
        files_.emplace_back(std::move(file), *version);
        return rebuilt;
    } catch (const history::StoreRefused& refused) {
        why = "The history store cannot be read; it is left as it is: " + refused.Description();
    } catch (const vb::Error& error) {
        why = error.Number() == vb::kFileNotFound && !store_ ? "There is no history store yet: --snapshot makes it."
              : version ? UnbuiltReason(*version, database.edition, error)
                        : "Version " + which + " cannot be read from the history store: " + error.Description();
    }
    return std::nullopt;
}

std::vector<history::Version> RebuiltVersions::List(const history::DatabaseRef& database, std::string& why) {
    const std::lock_guard<std::mutex> one(mutex_);
    if (!store_ && !host::IsRegularFile(host::Join(storeFolder_, history::kStoreFileName))) return {};
    try {
        if (!store_) store_ = std::make_unique<history::Store>(storeFolder_, false);
        return store_->Versions(database);
    } catch (const vb::Error& error) {
        why = "The history store cannot be read; it is left as it is: " + error.Description();
    }
    return {};
}

std::vector<int64_t> RebuiltVersions::Numbers(const history::DatabaseRef& database, std::string& why) {
    std::vector<int64_t> numbers;
    for (const history::Version& version : List(database, why)) numbers.push_back(version.number);
    return numbers;
}

void RebuiltVersions::Release(const std::string& path) {
    const std::lock_guard<std::mutex> one(mutex_);
    std::erase_if(files_, [&path](const auto& file) { return file.first->Path() == path; });
}

std::optional<std::vector<VersionFound>> RebuiltVersions::Search(const history::DatabaseRef& database,
                                                                  const std::string& text,
                                                                  const records::SourceFactory& sources,
                                                                  const std::function<bool()>& stopped,
                                                                  std::string& why) {
    const std::vector<history::Version> versions = List(database, why);
    if (!why.empty()) return std::nullopt;
    if (versions.empty()) return std::vector<VersionFound>{};
    if (!readerPath_.empty()) {
        const std::lock_guard<std::mutex> one(mutex_);
        try {
            return SearchVersions(*store_, versions, database.edition, text, readerPath_,
                                  std::max(1u, std::thread::hardware_concurrency()), stopped);
        } catch (const vb::Error& error) {
            why = "The history store cannot be read; it is left as it is: " + error.Description();
            return std::nullopt;
        }
    }
    // Each version rebuilt as its turn comes, read whole, and removed.
    std::vector<VersionFound> found;
    std::unique_ptr<records::Source> source;
    for (const history::Version& version : versions) {
        if (stopped && stopped()) break;
        VersionFound one{version, {}, {}, {}};
        const auto rebuilt = Rebuild(database, "@" + std::to_string(version.number), one.unbuilt);
        if (!rebuilt) {
            one.error = vb::Error(vb::kUnrecognizedFormat, "it cannot be rebuilt from the history store");
        } else {
            try {
                if (!source) source = sources();
                source->Find(
                    rebuilt->path, text,
                    [&](records::Source::Layout layout) {
                        one.table.columns = std::move(layout.columns);
                        one.table.primaryKey = std::move(layout.primaryKey);
                    },
                    [&](std::vector<records::Record>& batch) {
                        std::move(batch.begin(), batch.end(), std::back_inserter(one.table.records));
                        return !(stopped && stopped());
                    });
            } catch (const vb::Error& error) {
                one.error = error;  // the matches read before the damage still count
                source.reset();     // a reader that failed is not asked again
            }
            Release(rebuilt->path);
        }
        found.push_back(std::move(one));
    }
    return found;
}

std::string RebuiltVersions::Describe(const std::string& path, const std::string& liveFile) const {
    const std::lock_guard<std::mutex> one(mutex_);
    for (const auto& [file, version] : files_)
        if (file->Path() == path) return "version " + std::to_string(version.number) + " of " + liveFile;
    return path;
}

}  // namespace app
