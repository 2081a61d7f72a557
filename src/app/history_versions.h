// Versions of the history store as the commands name them in WHICH: "@N",
// the version numbered N (as --versions numbers them), or
// "@YYYY-MM-DDTHH:MM", the newest version taken at or before that minute of
// local time. A version is read as a file rebuilt from the store (every page
// and the whole checked against their hashes) in the store's private
// folder, removed when the run ends.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/version_search.h"
#include "history/store.h"
#include "history/version_file.h"
#include "records/source.h"

namespace app {

// Whether text is WHICH for a version, as written (the parser's check).
bool IsVersionWhich(const std::string& text);

// The version `which` names among versions (newest first); none when no
// version is that one.
std::optional<history::Version> FindVersion(const std::vector<history::Version>& versions, const std::string& which);

class RebuiltVersions {
public:
    // readerPath: the database reader that searches versions page by page
    // (version_search.h); without one, Search rebuilds each version whole
    // and reads it through the Source it is given.
    explicit RebuiltVersions(std::string storeFolder, std::string readerPath = {})
        : storeFolder_(std::move(storeFolder)), readerPath_(std::move(readerPath)) {}

    struct Rebuilt {
        history::Version version;
        std::string path;  // the rebuilt file, a host path
    };

    // The version of database that which names, rebuilt into a file named
    // for it ("bsrv@12", as Put Back names the copy it puts back); none with
    // why set when there is no store, no such version, or it is damaged
    // (it fails its hash).
    std::optional<Rebuilt> Rebuild(const history::DatabaseRef& database, const std::string& which, std::string& why);

    // How messages name a rebuilt file: "version 12 of <live file>"; path
    // itself for any other.
    std::string Describe(const std::string& path, const std::string& liveFile) const;

    // database's versions, newest first; none without a store (why set
    // when it cannot be read).
    std::vector<history::Version> List(const history::DatabaseRef& database, std::string& why);
    std::vector<int64_t> Numbers(const history::DatabaseRef& database, std::string& why);

    // Removes the rebuilt file at path, once it has been read.
    void Release(const std::string& path);

    // Every version of database searched for the records in which a text
    // column holds text, newest first; none with why set when the store
    // cannot be read. `stopped` is asked between batches; once it says so,
    // what is given is not whole.
    std::optional<std::vector<VersionFound>> Search(const history::DatabaseRef& database, const std::string& text,
                                                    const records::SourceFactory& sources,
                                                    const std::function<bool()>& stopped, std::string& why);

    // Each call is safe from any thread: the store is used by one at a time.
private:
    mutable std::mutex mutex_;
    std::string storeFolder_;
    std::string readerPath_;
    std::unique_ptr<history::Store> store_;
    std::vector<std::pair<std::unique_ptr<history::VersionFile>, history::Version>> files_;
};

}  // namespace app
