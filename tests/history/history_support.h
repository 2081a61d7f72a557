// Database files made up for the store's tests: pages of a Jet 4 file
// (4 KB, the version byte saying so), each page telling its number and a
// generation, so that a test changes the pages it names and no other.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "history/store.h"
#include "history/version_file.h"

namespace history_test {

inline std::string Page(size_t n, int generation, size_t size = 4096) {
    std::string page(size, '\0');
    const std::string text = "page " + std::to_string(n) + " generation " + std::to_string(generation) + " ";
    for (size_t at = 0; at + text.size() < size; at += 97) page.replace(at, text.size(), text);
    if (n == 0 && size > 0x14) page[0x14] = 1;  // Jet 4
    return page;
}

// A file of `pages` pages of generation 0, but those in `changed` of gen.
inline std::string File(size_t pages, const std::vector<size_t>& changed = {}, int gen = 1) {
    std::string file;
    for (size_t n = 0; n < pages; ++n) {
        bool newer = false;
        for (size_t c : changed) newer = newer || c == n;
        file += Page(n, newer ? gen : 0);
    }
    return file;
}

// A version of `content` as the snapshot would give it to the store.
inline history::Version AddFile(history::Store& store, const std::string& content,
                                history::DatabaseRef database = {"Business", "C:\\bsrv.mdb"}, int64_t taken = 1000,
                                history::Verdict verdict = history::Verdict::Good) {
    history::NewVersion v;
    history::Sha256 sha;
    v.facts.database = database;
    v.facts.taken = taken;
    v.facts.size = static_cast<int64_t>(content.size());
    v.facts.modifiedNs = taken * 1000000000;
    v.facts.hash = sha.Of(content);
    v.facts.verdict = verdict;
    v.facts.records = 7;
    for (size_t at = 0; at < content.size(); at += 4096) v.pages.push_back(sha.Of(content.substr(at, 4096)));
    std::string page;
    v.page = [&](size_t n) -> std::string_view { return page = content.substr(n * 4096, 4096); };
    return store.Add(v);
}

// The version's file as Rebuild gives it.
inline std::string Rebuilt(history::Store& store, const history::Version& version) {
    history::VersionFile file(store.Folder());
    store.Rebuild(version, file.Fd(), "version");
    std::string content(static_cast<size_t>(version.size), '\0');
    if (pread(file.Fd(), content.data(), content.size(), 0) != static_cast<ssize_t>(content.size())) return "<short>";
    return content;
}

}  // namespace history_test
