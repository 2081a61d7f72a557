// Fakes of the platform services for the core's tests. Each records what
// the code did and can be told to fail any of its operations with a given
// Visual Basic error.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "vb/error.h"
#include "common/services.h"
#include "ports/check.h"
#include "ports/database.h"
#include "ports/files.h"
#include "ports/folder_lock.h"
#include "ports/listview.h"
#include "ports/locale.h"
#include "ports/msgbox.h"
#include "ports/process.h"
#include "ports/shell.h"
#include "ports/stop_signals.h"

namespace fakes {

// Makes a call fail: the first `times` calls of `op` (optionally only for
// one path) throw `error`. times < 0 fails every call.
struct Failure {
    std::string op;
    std::string path;  // empty: any path
    vb::Error error;
    int times = 1;
};

class Failures {
public:
    void Add(Failure f) { list_.push_back(std::move(f)); }
    void Add(std::string op, vb::Error error, int times = 1, std::string path = "") {
        list_.push_back({std::move(op), std::move(path), std::move(error), times});
    }
    // Throws the planned error for this call, if any.
    void Check(const std::string& op, const std::string& path = "");

private:
    std::vector<Failure> list_;
};

// An in-memory file tree keyed by Windows paths, matched without regard to
// case and with "\" and "/" alike, as on the real platform.
class FakeFiles : public ports::Files {
public:
    struct File {
        std::string content;
        vb::DateTime modified{2026, 1, 2, 3, 4, 5};
        bool hidden = false;
        bool heldOpen = false;  // another process has it open: copy/rename give 70 HeldByProgram
        std::weak_ptr<const File> asideOf;  // CopyAside made this file of that one
    };

    void Put(const std::string& path, std::string content,
             vb::DateTime modified = {2026, 1, 2, 3, 4, 5});
    void AddFolder(const std::string& path) { folders_.insert(Key(path)); }
    File* Find(const std::string& path);
    bool Exists(const std::string& path) { return Find(path) != nullptr; }
    void Remove(const std::string& path) { files_.erase(Key(path)); }
    std::vector<std::string> Paths() const;  // as they were written

    std::string Dir(const std::string& Path) override;
    vb::DateTime FileDateTime(const std::string& Path) override;
    std::vector<std::string> FilesIn(const std::string& Folder) override;
    int64_t FileLen(const std::string& Path) override;
    void MoveToTrash(const std::string& Path) override;
    void FileCopy(const std::string& Source, const std::string& Destination,
                  const ports::CopyProgress& Progress = {}) override;
    void Name(const std::string& OldPath, const std::string& NewPath) override;
    // Logged as Name is ("name old -> new"); fails as "MoveBack".
    void MoveBack(const std::string& OldPath, const std::string& NewPath) override;
    // A file's heldOpen; fails as "HeldOpen" (a CannotTell error there).
    bool HeldOpen(const std::string& Path) override;
    bool Link(const std::string& Path, const std::string& NewPath) override;
    void CopyAside(const std::string& Path, const std::string& NewPath,
                   const ports::CopyProgress& Progress = {}) override;
    bool RemoveExtraName(const std::string& ExtraPath, const std::string& Path) override;
    void RemoveTemporaries(const std::string& Path) override;
    std::optional<std::string> ReadWhole(const std::string& Path) override;
    // The content itself stands for its digest ("ContentDigest" can fail).
    std::optional<std::string> ContentDigest(const std::string& Path) override;
    void WriteWhole(const std::string& Path, const std::string& Text) override;

    // True when both paths name one file (a second name given by Link).
    bool SameFile(const std::string& a, const std::string& b) override;

    // ops named after the methods: "FileCopy", "Link", ...; "FileCopy.flush"
    // fails once the copy has taken the destination's place.
    Failures failures;
    bool hardLinks = true;  // false: a file system without hard links
    // "copy src -> dst", "name old -> new", "link path -> new",
    // "aside path -> new", "unlink extra", "temporaries path", "trash path"
    std::vector<std::string> log;
    // The program's own small files (ReadWhole, WriteWhole), kept apart from
    // the data files: not in Paths or Find, not logged. Key: as paths match.
    std::map<std::string, std::string> wholes;
    static std::string KeyOf(const std::string& path) { return Key(path); }
    // What MoveToTrash took, in order: the path it had and its content.
    std::vector<std::pair<std::string, std::string>> trash;

    // A copy (FileCopy or CopyAside) reports its progress in copySteps equal
    // steps (1: once, as a clone does) and writes the destination after the
    // last one. Before each
    // report onCopyStep(step) runs, numbered from 1, on the copying thread:
    // it may block to hold the copy where a test wants it, or throw to fail
    // the copy midway with nothing written.
    int copySteps = 1;
    std::function<void(int step)> onCopyStep;
    // When set, a copy stops (vb::Stopped(), nothing written) at its steps
    // and before it takes its place once a stop signal was requested there,
    // as the real copies do.
    ports::StopSignals* stops = nullptr;

private:
    static std::string Key(const std::string& path);
    static std::string Parent(const std::string& key);
    bool FolderExists(const std::string& key) const;
    void ReportSteps(uint64_t total, const ports::CopyProgress& Progress);

    // key -> (path as written, file); two names of one file share it.
    std::map<std::string, std::pair<std::string, std::shared_ptr<File>>> files_;
    std::set<std::string> folders_;
};

// Stop signals: a test "sends" one by setting `signal` (onCopyStep can, to
// send it midway through a copy). EndIfRequested throws EndedBySignal, so
// the test sees the process end and by which signal.
struct EndedBySignal {
    int signal;
};

class FakeStopSignals : public ports::StopSignals {
public:
    std::unique_ptr<Span> Catch() override;
    bool Requested() override { return spans > 0 && signal != 0; }
    void EndIfRequested() override;

    int signal = 0;  // the signal noted; 0 none
    int spans = 0;   // spans alive
};

// The lock of a live database's folder. "Another command" holds a folder's
// lock while its key (as the folder is matched) is in heldByOthers; Take then
// calls Waiting once (which may let go of it, as the other command ending)
// and throws vb::HeldByCommand() if it is still held. It only locks, as the
// real lock does.
class FakeFolderLock : public ports::FolderLock {
public:
    std::unique_ptr<Held> Take(const std::string& LivePath, const std::function<void()>& Waiting) override;

    // The folder of a live path, as heldByOthers and heldNow spell it.
    static std::string FolderOf(const std::string& LivePath);

    std::set<std::string> heldByOthers;
    std::set<std::string> heldNow;  // taken by the code under test, not let go yet
    // Runs while Take waits, before Waiting (it may let go of the lock, or
    // send a stop signal).
    std::function<void()> onWait;
    // "take folder", "wait folder", "release folder"
    std::vector<std::string> log;
    Failures failures;  // op "Take": the error the folder meets (76, 70 ...)
};

class FakeShell : public ports::Shell {
public:
    std::map<int, std::string> folders;  // id -> path without trailing "\"
    std::set<int> conversionFails;        // ids whose path conversion fails
    Failures failures;

    long GetSpecialFolderLocation(int FolderId, int& Location) override;
    bool GetPathFromIDList(int Location, std::string& Path) override;
};

// Answers message boxes from a script; every box shown is recorded. A box
// the script has no answer for fails the test and is answered with 0.
class ScriptedMessageBox : public ports::MessageBox {
public:
    struct Box {
        std::string prompt;
        int buttons;
        std::string title;
    };
    void Answer(int answer) { script_.push_back(answer); }
    void Answer(std::initializer_list<int> answers) {
        for (int a : answers) script_.push_back(a);
    }
    // Runs when a box is shown (after it was recorded), before answering.
    std::function<void(const Box&)> onShow;

    int Show(const std::string& Prompt, int Buttons, const std::string& Title) override;
    // Recorded in notices (an empty prompt too), never in shown.
    void Notice(const std::string& Prompt, const std::string&) override { notices.push_back(Prompt); }

    std::vector<Box> shown;
    std::vector<std::string> notices;
    size_t Unanswered() const { return script_.size(); }
    Failures failures;

private:
    std::deque<int> script_;
};

class FakeProcess : public ports::Process {
public:
    [[noreturn]] void End() override;
    int ends = 0;
    Failures failures;
};

// Dates as "YYYY-MM-DD HH:MM:SS", the date alone at midnight.
// The clock stands at `now` (2026-01-01 00:00 UTC unless a test moves it),
// and the user's time zone is UTC.
class FakeLocale : public ports::Locale {
public:
    std::string GeneralDate(const vb::DateTime& When) override;
    int64_t Now() override { return now; }
    vb::DateTime LocalTime(int64_t Seconds) override;

    int64_t now = 1767225600;
};

// Database contents live in the fake files, so that copying a file copies
// its data: "JET roof=<n|NULL> [records=<key>] [option12=<text>|option12=NULL]
// [nooptions]". `records=<key>` names the roof table's records in
// FakeDbState::records, which OpenTable and FindRecords stream.
// Anything not starting with "JET" is not a database (3343).
namespace db {
std::string Roof(const std::string& count);
inline std::string Roof(long long count) { return Roof(std::to_string(count)); }
// A database whose roof table holds the records FakeDbState::records[key],
// `count` of them as its stored count says.
std::string RoofRecords(const std::string& key, long long count);
std::string Options(const std::optional<std::string>& option12);  // nullopt: Null
std::string OptionsWithoutRow12();
std::string OptionsWithoutTable();
}  // namespace db

// The records of a fake roof table, as OpenTable streams them. With
// failAfter set, Next throws `failure` once that many rows have been given
// (a file that is damaged part of the way through), and on every call after.
struct FakeTable {
    std::vector<ports::ColumnInfo> columns;
    std::vector<std::string> primaryKey;
    std::vector<std::vector<ports::Value>> rows;
    std::optional<size_t> failAfter;
    vb::Error failure{vb::kUnrecognizedFormat, "Unrecognized database format."};
};

// What the fake engines of one test did, and the failures planned for them.
// As the real engine, a stream ends (3420) when its database is closed or
// anything else is read through the same engine.
struct FakeDbState {
    Failures failures;  // ops: "open", "query", "eof", "field", "close.rs", "close.db", "table" (OpenTable
                        // and FindRecords), "next"
    std::map<std::string, FakeTable> records;  // by the key a database's content names
    std::vector<std::string> tablesOpened;     // "<table>" or "<table> find=<text>", in order
    std::vector<std::string> opened;   // paths, in order
    std::vector<std::string> queries;  // query texts, in order
    int enginesCreated = 0;
    int liveDatabases = 0;  // Database objects not yet destroyed
    int liveRecordsets = 0;
};

class FakeDBEngine : public ports::DBEngine {
public:
    FakeDBEngine(FakeFiles& files, FakeDbState& state) : files_(files), state_(state) {
        ++state_.enginesCreated;
    }
    std::unique_ptr<ports::Database> OpenDatabase(const std::string& Path) override;

private:
    FakeFiles& files_;
    FakeDbState& state_;
    // Counts the reads through this engine; a stream ends when it moves on.
    std::shared_ptr<uint64_t> reads_ = std::make_shared<uint64_t>(0);
};

class FakeListView : public ports::ListView {
public:
    struct Item {
        std::string text;
        std::string sub[6];
        std::string tag;
    };

    void ClearItems() override;
    int AddColumnHeader(const std::string& Text) override;
    int ColumnHeaderCount() override;
    std::string ColumnHeaderText(int Index) override;
    int AddItem(const std::string& Text) override;
    int ItemCount() override;
    std::string ItemText(int Index) override;
    std::string SubItem(int Index, int Sub) override;
    void SetSubItem(int Index, int Sub, const std::string& Text) override;
    std::string Tag(int Index) override;
    void SetTag(int Index, const std::string& Text) override;
    int SelectedIndex() override;
    void AutosizeColumn(int Column) override;

    // What the user does: select a row (one-based; 0 clears the selection).
    void Select(int index) { selected = index; }

    std::vector<std::string> headers;
    std::vector<Item> items;
    int selected = 0;
    std::vector<int> autosized;
    Failures failures;  // ops named after the methods: "AddItem", "SetSubItem", ...

private:
    Item& At(int index);
};

class FakeButton : public ports::Button {
public:
    bool Enabled() override { return enabled; }
    void SetEnabled(bool value) override {
        failures.Check("SetEnabled");
        enabled = value;
    }
    bool enabled = true;
    Failures failures;
};

// The whole-file check of the files of a FakeFiles: a file is good unless
// a test has said what it holds (Tell); one that does not exist cannot be
// read, and is damaged. Records every path checked; tells its progress in
// `steps` steps and stops when the progress says so.
class FakeFileCheck : public ports::FileCheck {
public:
    explicit FakeFileCheck(FakeFiles& files) : files_(files) {}
    ports::CheckResult Check(const std::string& Path, const ports::CheckProgress& Progress = {}) override;

    void Tell(const std::string& path, std::vector<ports::Finding> findings) {
        told_[FakeFiles::KeyOf(path)] = std::move(findings);
    }
    // One finding of `severity` saying `what`, for `path`.
    void Tell(const std::string& path, ports::Severity severity, const std::string& what) {
        Tell(path, {ports::Finding{severity, what, {}, {}, {}}});
    }

    std::vector<std::string> checked;
    int steps = 1;
    bool userStops = false;  // the user stops every check (as the window's Cancel does)

private:
    FakeFiles& files_;
    std::map<std::string, std::vector<ports::Finding>> told_;
};

// A FileCheck that hands every check to another (what Services owns, over
// a fake that the test keeps).
class CheckThrough : public ports::FileCheck {
public:
    explicit CheckThrough(ports::FileCheck& to) : to_(to) {}
    ports::CheckResult Check(const std::string& Path, const ports::CheckProgress& Progress = {}) override {
        return to_.Check(Path, Progress);
    }

private:
    ports::FileCheck& to_;
};

// Everything a test of the core needs, wired together.
struct World {
    FakeFiles files;
    FakeShell shell;
    ScriptedMessageBox msgbox;
    FakeProcess process;
    FakeLocale locale;
    FakeDbState db;
    FakeStopSignals stops;
    FakeFolderLock lock;
    FakeFileCheck check{files};
    common::Services sys{files, shell, msgbox, process, locale, lock, stops,
                         [this] { return std::make_unique<FakeDBEngine>(files, db); }};

    // The copies stop at a stop signal, as the real ones do.
    World() {
        files.stops = &stops;
        sys.makeCheck = [this] { return std::make_unique<CheckThrough>(check); };
    }
};

}  // namespace fakes
