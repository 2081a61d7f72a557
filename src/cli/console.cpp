#include "cli/console.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "catalogue/catalogue.h"
#include "catalogue/paths.h"
#include "cli/auto_snapshot.h"
#include "cli/check_command.h"
#include "cli/console_ports.h"
#include "cli/listing.h"
#include "cli/history_commands.h"
#include "cli/records_commands.h"
#include "records/engine_source.h"
#include "app/services.h"
#include "app/history_ports.h"
#include "app/history_versions.h"
#include "history/store.h"
#include "host/host_files.h"
#include "operations/previous_versions.h"

namespace cli {

namespace {

using Ending = operations::Result::Ending;

// Asks on the terminal: the question on stderr, the answer from stdin.
bool AskOnTerminal(const std::string& question, std::string& answer) {
    if (!isatty(STDIN_FILENO)) return false;
    std::fputs(question.c_str(), stderr);
    std::fflush(stderr);
    return static_cast<bool>(std::getline(std::cin, answer));
}

// One run of a command: the platform, the console's ports, the services;
// and the commands, each run on the one discovery of the run.
class Run : public app::CommandHandlers {
public:
    Run(const app::ConsoleCommand& command, const ports::HostEnvironment& env, const Console& console,
        std::ostream& log)
        : command_(command),
          console_(console),
          env_(env),
          storeFolder_(history::StoreFolder(env)),
          platform_(env, log, console.readerPath),
          paths_([this](const std::string& path) { return platform_.HostPath(path); }),
          msgbox_(command.yes, console.ask, console.err),
          sys_(platform_.Services(msgbox_, process_, paths_)) {}

    int List(const app::ConsoleCommand&) override { return PrintCatalogue(Discover(catalogue::Counting::Count)); }
    int Versions(const app::ConsoleCommand&) override;
    int Show(const app::ConsoleCommand&) override { return Records(cli::RunShow); }
    int Find(const app::ConsoleCommand&) override { return Records(cli::RunFind); }
    int Compare(const app::ConsoleCommand&) override { return Records(cli::RunCompare); }
    int Restore(const app::ConsoleCommand&) override;
    int CreateBlank(const app::ConsoleCommand&) override;
    int PutBack(const app::ConsoleCommand&) override;
    int Check(const app::ConsoleCommand&) override;
    int Snapshot(const app::ConsoleCommand&) override { return RunHistory(Discover(), true); }
    int History(const app::ConsoleCommand&) override { return RunHistory(Discover(), false); }
    int AutoSnapshot(const app::ConsoleCommand&) override;
    int PreviousVersions(const app::ConsoleCommand&) override {
        if (!console_.openWindow) return app::kFailed;
        return console_.openWindow(command_.edition);
    }

private:
    // "restore-rolvane-data: " and text, one line on stderr.
    void Say(const std::string& text) {
        std::fprintf(console_.err, "%s: %s\n", app::kProgramName, OneLine(text).c_str());
        std::fflush(console_.err);
    }
    // What discovery passed over: once each.
    void TellNotes(const catalogue::Catalogue& found);
    // The one discovery of the run; only the catalogue's listing needs the
    // counts, the other commands need the rows alone.
    catalogue::Catalogue Discover(catalogue::Counting counting = catalogue::Counting::Skip);
    // The live database's row of the command's edition; null, and told so,
    // when there is none.
    const catalogue::Row* LiveRow(const catalogue::Catalogue& found);
    // Why a file of a listing cannot be read: once each.
    void TellUnreadable(const std::vector<Listed>& rows);
    int Print(const std::vector<Listed>& rows, bool versions);
    int PrintCatalogue(const catalogue::Catalogue& found);
    int Ended(const operations::Result& result);
    int Records(int (*command)(const app::ConsoleCommand&, RecordsRun&));
    // Adds the history store's versions of the live database to rows, each
    // with when it was taken.
    int StoreVersions(const std::string& livePath, std::vector<std::pair<std::optional<int64_t>, Listed>>& rows);
    int RunHistory(const catalogue::Catalogue& found, bool snapshot);
    // A version of the edition's live database (WHICH "@N"), rebuilt; none
    // when there is none, said why.
    std::optional<app::RebuiltVersions::Rebuilt> Version(const std::string& livePath, const std::string& which);
    // The same as a place to read ("version 12"); host paths as messages name them, a version's "version 12 of <live>".
    std::optional<records::Place> VersionPlace(const catalogue::Row* live, const std::string& which);
    std::function<std::string(const std::string&)> HostPathBeside(const catalogue::Row* live);

    // The units of --auto-snapshot and what they are made of: the live
    // databases of found (none: nothing to watch).
    AutoRun Units(const catalogue::Catalogue* found);
    Notices TheNotices();

    const app::ConsoleCommand& command_;
    const Console& console_;
    ports::HostEnvironment env_;
    std::string storeFolder_;
    // Versions are searched page by page through the reader, unless records
    // come from elsewhere.
    app::RebuiltVersions versions_{storeFolder_, console_.records ? std::string() : console_.readerPath};
    app::Platform platform_;
    ConsolePaths paths_;
    ConsoleMessageBox msgbox_;
    ConsoleProcess process_;
    common::Services sys_;
};

void Run::TellNotes(const catalogue::Catalogue& found) {
    for (const catalogue::Note& note : found.notes)
        Say("Error " + std::to_string(note.error.Number()) + " in Form_Load at line " + std::to_string(note.line) +
            ": " + OneLine(note.error.Description()) + " (passed over)");
}

void Run::TellUnreadable(const std::vector<Listed>& rows) {
    for (const Listed& row : rows)
        if (!row.records && !row.version) {
            // The engine's wording names the file already, as a rule.
            const bool named = row.error.find(row.file) != std::string::npos;
            Say((named ? "" : row.file + ": ") + catalogue::kCannotBeRead + ": " + row.error);
        }
}

int Run::Print(const std::vector<Listed>& rows, bool versions) {
    TellUnreadable(rows);
    const std::string text = command_.json ? JsonText(rows) : TableText(rows, versions);
    std::fputs(text.c_str(), console_.out);
    std::fflush(console_.out);
    return app::kDone;
}

catalogue::Catalogue Run::Discover(catalogue::Counting counting) {
    catalogue::Catalogue found = catalogue::ReadCatalogue(sys_, counting);
    TellNotes(found);
    return found;
}

const catalogue::Row* Run::LiveRow(const catalogue::Catalogue& found) {
    const catalogue::Row* row = catalogue::FindRow(found, catalogue::kCurrentCaption, command_.edition);
    if (!row) Say("There is no live database of the " + command_.edition + " edition.");
    return row;
}

int Run::PrintCatalogue(const catalogue::Catalogue& found) {
    std::vector<Listed> rows;
    for (const catalogue::Row& row : found.rows) {
        Listed listed{row.edition, row.caption, row.records, row.error ? row.error->Description() : "",
                      row.modified ? sys_.locale.GeneralDate(*row.modified) : "", "",
                      platform_.HostPath(row.path), ""};
        listed.modified = ModifiedOf(listed.file);
        rows.push_back(std::move(listed));
    }
    return Print(rows, false);
}

int Run::Versions(const app::ConsoleCommand&) {
    const catalogue::Catalogue found = Discover();
    const catalogue::Row* live = LiveRow(found);
    if (!live) return app::kFailed;
    const std::string& livePath = live->path;
    // Each row with when it was set aside or taken; a copy whose set-aside
    // was not recorded has none, and is listed after every other.
    std::vector<std::pair<std::optional<int64_t>, Listed>> rows;
    std::vector<operations::PreviousVersion> versions = operations::FindPreviousVersions(sys_, livePath);
    operations::MarkSameCopies(sys_, versions);
    for (const operations::PreviousVersion& version : versions) {
        Listed listed{command_.edition, version.name, version.records,
                      version.error ? version.error->Description() : "",
                      sys_.locale.GeneralDate(version.modified),
                      operations::SizeText(version.size), platform_.HostPath(version.path), ""};
        listed.modified = ModifiedOf(listed.file);
        listed.number = version.number;
        listed.setAside = version.setAside ? IsoOf(*version.setAside) : "";
        listed.setAsideDate = version.setAside ? sys_.locale.GeneralDate(sys_.locale.LocalTime(*version.setAside))
                                               : operations::kNotRecorded;
        listed.sameAs = version.sameAs;
        rows.emplace_back(version.setAside, std::move(listed));
    }
    const int status = StoreVersions(livePath, rows);
    // Newest first, as each list already is; the order among equal times kept.
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return a.first.has_value() && (!b.first.has_value() || *a.first > *b.first);
    });
    std::vector<Listed> listed;
    for (auto& row : rows) listed.push_back(std::move(row.second));
    Print(listed, true);
    return status;
}

int Run::StoreVersions(const std::string& livePath, std::vector<std::pair<std::optional<int64_t>, Listed>>& rows) {
    const std::string path = host::Join(storeFolder_, history::kStoreFileName);
    if (!host::IsRegularFile(path) || app::StoreRefusedBeside(storeFolder_, platform_.Location().prefix))
        return app::kDone;
    try {
        history::Store store(storeFolder_, false);
        for (const history::Version& v : store.Versions({command_.edition, livePath})) {
            const int64_t date = v.modifiedNs / 1000000000;
            Listed listed{command_.edition, "@" + std::to_string(v.number), std::nullopt,
                          v.verdict == history::Verdict::Damaged ? "damaged" : "not checked",
                          sys_.locale.GeneralDate(sys_.locale.LocalTime(date)), operations::SizeText(v.size), path,
                          IsoOf(date)};
            if (v.verdict == history::Verdict::Good && v.records) listed.records = static_cast<int32_t>(*v.records);
            listed.setAside = IsoOf(v.taken);
            listed.setAsideDate = sys_.locale.GeneralDate(sys_.locale.LocalTime(v.taken));
            listed.version = v.number;
            rows.emplace_back(v.taken, std::move(listed));
        }
    } catch (const vb::Error& error) {
        Say("The history store " + path + " cannot be read; it is left as it is: " + error.Description());
        return app::kFailed;
    }
    return app::kDone;
}

std::optional<app::RebuiltVersions::Rebuilt> Run::Version(const std::string& livePath, const std::string& which) {
    std::string why;
    auto rebuilt = versions_.Rebuild({command_.edition, livePath}, which, why);
    if (!rebuilt) Say(why);
    return rebuilt;
}

std::optional<records::Place> Run::VersionPlace(const catalogue::Row* live, const std::string& which) {
    if (!live) {
        Say("There is no live database of the " + command_.edition + " edition.");
        return std::nullopt;
    }
    const auto rebuilt = Version(live->path, which);
    if (!rebuilt) return std::nullopt;
    return records::Place{"version " + std::to_string(rebuilt->version.number), rebuilt->path};
}

std::function<std::string(const std::string&)> Run::HostPathBeside(const catalogue::Row* live) {
    return [this, live](const std::string& path) {
        const std::string file = platform_.HostPath(path);
        return live ? versions_.Describe(file, platform_.HostPath(live->path)) : file;
    };
}

int Run::PutBack(const app::ConsoleCommand&) {
    const catalogue::Catalogue found = Discover();
    const catalogue::Row* live = LiveRow(found);
    if (!live) return app::kFailed;
    const std::string& livePath = live->path;
    if (!command_.operand.empty()) {
        // A version: rebuilt (every page checked), then put back as a
        // numbered copy is, named for it ("bsrv@12") in the warning.
        const auto rebuilt = Version(livePath, command_.operand);
        if (!rebuilt) return app::kFailed;
        const size_t slash = rebuilt->path.rfind('/');
        return Ended(operations::PutBack(sys_, livePath,
                                         rebuilt->path.substr(0, slash) + "\\" + rebuilt->path.substr(slash + 1)));
    }
    const auto versions = operations::FindPreviousVersions(sys_, livePath);
    const auto chosen = std::find_if(versions.begin(), versions.end(),
                                     [&](const auto& version) { return version.number == command_.number; });
    if (chosen == versions.end()) {
        Say("There is no numbered copy " + operations::NumberedCopyName(command_.number) + " of the " +
            command_.edition + " edition.");
        return app::kFailed;
    }
    return Ended(operations::PutBack(sys_, live->path, chosen->path));
}

int Run::Restore(const app::ConsoleCommand&) {
    const catalogue::Catalogue found = Discover();
    const std::string caption = "Backup " + std::to_string(command_.number);
    const catalogue::Row* row = catalogue::FindRow(found, caption, command_.edition);
    if (!row) {
        Say("There is no " + caption + " of the " + command_.edition + " edition.");
        return app::kFailed;
    }
    return Ended(operations::Restore(sys_, operations::RowRef::Of(row->path, row->edition)));
}

int Run::CreateBlank(const app::ConsoleCommand&) {
    const catalogue::Catalogue found = Discover();
    const catalogue::Row* live = LiveRow(found);
    if (!live) return app::kFailed;
    return Ended(operations::CreateBlank(sys_, operations::RowRef::Of(live->path, live->edition)));
}

int Run::Ended(const operations::Result& result) {
    if (result.ending == Ending::Declined) Say("Nothing was changed.");
    return StatusOf(result);
}

int Run::Records(int (*command)(const app::ConsoleCommand&, RecordsRun&)) {
    const catalogue::Catalogue found = Discover();
    records::SourceFactory sources = console_.records ? console_.records : records::EngineSources(sys_.makeEngine);
    const catalogue::Row* live = catalogue::FindRow(found, catalogue::kCurrentCaption, command_.edition);
    RecordsRun run{sys_, found, std::move(sources), HostPathBeside(live),
                   [this](const std::string& text) { Say(text); }, console_.out};
    run.version = [this, live](const std::string& which) { return VersionPlace(live, which); };
    run.searchVersions = [this, live, &run](const std::string& text) -> std::optional<std::vector<app::VersionFound>> {
        if (!live || app::StoreRefusedBeside(storeFolder_, platform_.Location().prefix))
            return std::vector<app::VersionFound>{};
        std::string why;
        auto found = versions_.Search({command_.edition, live->path}, text, run.sources, {}, why);
        if (!found) Say(why);
        return found;
    };
    const int status = command(command_, run);
    std::fflush(console_.out);
    return status;
}

AutoRun Run::Units(const catalogue::Catalogue* found) {
    AutoRun run{UnitFolder(env_), {app::ProgramPath(app::kProgramName, "."), std::nullopt, {}}, RunSystemctl,
                [this](const std::string& text) { Say(text); }, console_.out, {}, {}};
    if (!env_.winePrefix.empty()) run.facts.prefix = env_.winePrefix;
    if (found)
        for (const catalogue::Row& row : found->rows)
            if (row.caption == catalogue::kCurrentCaption) run.facts.watched.push_back(platform_.HostPath(row.path));
    return run;
}

Notices Run::TheNotices() {
    const char* state = std::getenv("XDG_STATE_HOME");
    return Notices(NoticesFile(state ? state : "", env_.home), [this](const Problem& problem) {
        return StartNotifier(console_.notifierPath, app::ProgramPath(app::kProgramName, "."), problem);
    });
}

int Run::AutoSnapshot(const app::ConsoleCommand&) {
    if (command_.operand == "off") {
        AutoRun run = Units(nullptr);
        return AutoSnapshotOff(run);
    }
    const catalogue::Catalogue found = Discover();
    AutoRun run = Units(&found);
    if (command_.operand == "on") return AutoSnapshotOn(run);
    const std::string path = host::Join(storeFolder_, history::kStoreFileName);
    if (host::IsRegularFile(path) && !app::StoreRefusedBeside(storeFolder_, platform_.Location().prefix)) {
        try {
            history::Store store(storeFolder_, false);
            for (const history::DatabaseSummary& d : store.Summarize().databases)
                run.lastVersions.push_back(d.database.edition + " (" + platform_.HostPath(d.database.path) +
                                           "): version @" + std::to_string(d.newest->number) + " of " +
                                           IsoOf(d.newest->taken));
        } catch (const vb::Error& error) {
            run.lastVersions.push_back("the history store cannot be read: " + error.Description());
        }
    }
    if (const auto told = TheNotices().Last()) run.lastProblem = IsoOf(told->when) + ": " + told->text;
    return AutoSnapshotStatus(run, command_.json);
}

int Run::RunHistory(const catalogue::Catalogue& found, bool snapshot) {
    HistoryRun run{sys_,
                   found,
                   storeFolder_,
                   platform_.Location().prefix,
                   [this](const std::string& path) { return platform_.ToHost(path); },
                   [this](const std::string& path) { return platform_.HostPath(path); },
                   [this](const std::string& text) { Say(text); },
                   console_.out};
    std::optional<Notices> notices;
    if (snapshot) {
        run.follow = [this](const std::vector<std::string>& files) {
            AutoRun units = Units(nullptr);
            units.facts.watched = files;
            FollowDatabases(units);
        };
    }
    if (snapshot && command_.scheduled) {
        notices.emplace(TheNotices());
        run.tell = [&notices](const Problem& problem) { notices->Tell(problem, std::time(nullptr)); };
        run.sleep = [](int64_t seconds) {
            timespec left{static_cast<time_t>(seconds), 0};
            while (nanosleep(&left, &left) != 0 && errno == EINTR) {}
        };
    }
    return snapshot ? RunSnapshot(command_, run) : cli::RunHistory(command_, run);
}

int Run::Check(const app::ConsoleCommand&) {
    const catalogue::Catalogue found = Discover();
    const catalogue::Row* live = catalogue::FindRow(found, catalogue::kCurrentCaption, command_.edition);
    CheckRun run{sys_, found, HostPathBeside(live), [this](const std::string& text) { Say(text); }, console_.out};
    run.version = [this, live](const std::string& which) { return VersionPlace(live, which); };
    const int status = RunCheckCommand(command_, run);
    std::fflush(console_.out);
    return status;
}

}  // namespace

int StatusOf(const operations::Result& result) {
    switch (result.ending) {
        case Ending::Done: return app::kDone;
        case Ending::InUse: return app::kInUse;
        case Ending::Declined: case Ending::Failed: return app::kFailed;
    }
    return app::kFailed;
}

int RunConsole(const app::ConsoleCommand& command, const ports::HostEnvironment& env, Console console) {
    // Data is replaced only with consent: --yes, or a Yes typed at a terminal.
    if (!console.ask) {
        if (command.row->Replaces() && !command.yes && !isatty(STDIN_FILENO)) {
            std::fprintf(console.err, "%s: %s replaces data: give --yes, or run it on a terminal to be asked.\n",
                         app::kProgramName, command.row->option);
            return app::kUsageError;
        }
        console.ask = AskOnTerminal;
    }
    std::ostringstream where;
    try {
        Run run(command, env, console, where);
        std::fputs(where.str().c_str(), console.err);
        return app::RunCommandOf(run, command);
    } catch (const ports::ProcessEnded&) {
        // The run was ended from inside a procedure.
        return app::kFailed;
    }
}

}  // namespace cli
