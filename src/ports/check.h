// The whole-file check of a database: every page, row, long value and index
// read back, as `restic check --read-data` reads back what it keeps, with
// what it found. The commands that replace a live database check their
// source with it first, and refuse a damaged one (operations/setaside.h).
// In production: ReaderCheck (jet/reader_check.h), which checks in the
// sandboxed reader child, and in the window ProgressCheck (gui/), which
// runs it off the window's thread under a progress dialog. In tests:
// FakeFileCheck (tests/fakes/fakes.h), which answers what it was told.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ports {

// damaged: a reader would fail on the file, or return wrong or missing
// data; warning: Jet tolerates it (a stale row count, a stale lock file);
// note: what the check cannot judge (the order of text keys).
enum class Severity { Damaged, Warning, Note };

struct Finding {
    Severity severity = Severity::Damaged;
    std::string what;                  // one sentence, from the file's own bytes (names): escape to print
    std::string table;                 // empty: the file as a whole
    std::optional<uint32_t> page;
    std::optional<uint32_t> row;
    bool operator==(const Finding&) const = default;
};

enum class Verdict { Good, Warnings, Damaged };

struct CheckResult {
    std::vector<Finding> findings;     // in the order found
    bool cancelled = false;            // the check was stopped before its end: no verdict

    // Damaged with any damaged finding, else Warnings with any warning.
    Verdict verdict() const {
        Verdict v = Verdict::Good;
        for (const Finding& f : findings) {
            if (f.severity == Severity::Damaged) return Verdict::Damaged;
            if (f.severity == Severity::Warning) v = Verdict::Warnings;
        }
        return v;
    }
    // The first finding of `severity`; null when there is none.
    const Finding* First(Severity severity) const {
        for (const Finding& f : findings)
            if (f.severity == severity) return &f;
        return nullptr;
    }
    size_t Count(Severity severity) const {
        size_t n = 0;
        for (const Finding& f : findings) n += f.severity == severity;
        return n;
    }
};

// Told how far a check has come, in units of work done of the units in
// all (the total may still grow as the check learns the file); false
// stops the check. Called on the thread that runs the check.
using CheckProgress = std::function<bool(uint64_t done, uint64_t total)>;

class FileCheck {
public:
    virtual ~FileCheck() = default;
    // Checks the database at Path (as the procedures hold it). A file that
    // cannot be opened or read at all is Damaged, with the reason as its
    // finding; nothing is thrown for the file. Stopped by Progress: the
    // result is cancelled.
    virtual CheckResult Check(const std::string& Path, const CheckProgress& Progress = {}) = 0;
    // The same verdict for a file of which only NewPages (page numbers)
    // are new, the rest being pages of a file whose check was good:
    // only the values on new pages need be decoded again, while what ties
    // pages together is checked whole. By default the whole check.
    virtual CheckResult CheckNew(const std::string& Path, const std::vector<size_t>& NewPages,
                                 const CheckProgress& Progress = {}) {
        (void)NewPages;
        return Check(Path, Progress);
    }
};

// The one sentence for a finding: "Customers, page 87, row 3: its rows
// overlap". Where there is no table, page or row, they are left out.
inline std::string Describe(const Finding& f) {
    std::string where = f.table;
    auto add = [&where](const std::string& part) { where += (where.empty() ? "" : ", ") + part; };
    if (f.page) add("page " + std::to_string(*f.page));
    if (f.row) add("row " + std::to_string(*f.row));
    return where.empty() ? f.what : where + ": " + f.what;
}

inline const char* SeverityName(Severity s) {
    switch (s) {
    case Severity::Damaged: return "damaged";
    case Severity::Warning: return "warning";
    case Severity::Note: return "note";
    }
    return "damaged";
}

}  // namespace ports
