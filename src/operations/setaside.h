// The live database a command replaces, and the numbered copy that keeps its
// old data. Both commands keep the old data as a numbered copy before they
// write; when they end without a complete copy in its place, the old data is
// at the live path again.
//
// Where the file system has hard links, the live database is never moved:
//  1. RenameDatabase gives it a second name, bsrv.<n>; a crash here leaves
//     the live database as it was, with one more name;
//  2. FileCopy writes the new data to a hidden temporary file in the same
//     folder and flushes it; a crash here leaves the live database as it was
//     and a temporary file that the next command removes;
//  3. FileCopy renames the temporary file over the live name, which the
//     system does at once; a crash before it leaves the old data at the live
//     path, a crash after it the new data, with the old under bsrv.<n>.
// A command that does not finish removes only the second name, and only
// while it still names the live database.
//
// Where the file system gives no second name (FAT, exFAT, some network
// mounts, as Link finds out), the live database is not moved either:
//  1. RenameDatabase copies it (CopyAside) to a hidden temporary file in the
//     same folder and flushes it; a crash here leaves the live database as
//     it was and a temporary file that the next command removes;
//  2. the copy takes the name bsrv.<n>, never replacing a file; a crash
//     after it leaves the live database as it was, kept twice;
//  3. and 4. as steps 2 and 3 above: the live database is old or new at
//     every instant, and the old kept in bsrv.<n> once the new is in place.
// A command that does not finish removes that copy, while neither it nor
// the live database has changed since.
//
// Only where even a copy cannot be made for want of room (ENOSPC, EDQUOT,
// EFBIG: 61 Disk full) is the live database renamed to bsrv.<n>, after the
// user agreed to it in a warning of its own, and moved back when the
// command does not finish; a crash between the two leaves the old data
// only under bsrv.<n>. Any other failure of the copy ends the command.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/procedure.h"
#include "common/services.h"
#include "operations/commands.h"
#include "vb/error.h"

namespace operations {

inline constexpr const char* kFileInUsePrompt =
    "Unable to restore file- it is currently in use.  Exit Varnock Rolvane and try again.";
inline constexpr const char* kFileInUseTitle = "File in Use";
inline constexpr const char* kWarningTitle = "Restore Warning";
// Another command of this program holds the live database's folder.
inline constexpr const char* kRestoreRunningPrompt =
    "Unable to restore file- another restore is running on this database.  Wait until it has finished and try "
    "again.";
inline constexpr const char* kRestoreRunningTitle = "Restore Running";
inline constexpr const char* kWaitingPrompt =
    "Another restore is running on this database.  Waiting for it to finish...";

class SetAside {
public:
    explicit SetAside(common::Services& sys) : sys_(sys) {}

    // Keeps Path as a numbered copy with RenameDatabase; a failure is
    // silent. Run under the folder's lock, after TidyBeside removed what a
    // killed command left beside Path. Throws, with nothing set aside,
    // when another program holds Path (HeldByProgram) or the in-use check
    // cannot tell (CannotTell, or the error it met).
    // Where the live database could only be moved, the user is asked first
    // (kMoveWarning); anything but Yes keeps it where it is.
    void Rename(const std::string& Path);

    // Copies Source over the live database, first keeping the live database
    // as a numbered copy if that has not been done yet (on a retry the
    // served application may have let go of it since). The copy never
    // replaces data that has no numbered copy: a live database that cannot
    // be kept fails with the reason it could not be kept (70 when held open).
    // False, with nothing copied, when the user did not let the live
    // database move: the command then ends as it would on No.
    bool CopyOver(const std::string& Source);

    // Ends a run whose copy did not take the live database's place: a second
    // name or a copy goes while the live database is what it kept; a renamed
    // live database is moved back (Files::MoveBack: no in-use check, tried
    // twice). Throws when that move fails: the old data then lies only in
    // the numbered copy (KeptIn).
    void Undo();

    // The numbered copy that holds the old data while nothing else does: set
    // only when the live database was renamed, is not back and the copy is
    // still there.
    std::optional<std::string> KeptIn() const;

    // True once the copy has taken the live database's place (also when the
    // disk then failed to save that: the copy threw a NotSaved error).
    bool Replaced() const { return replaced_; }

    // The live database, once Rename was given it.
    const std::string& Path() const { return path_; }
    // The numbered copy that keeps the old data, while there is one.
    const std::optional<NumberedCopy>& Numbered() const { return numbered_; }

private:
    bool InPlace() const;
    // RenameDatabase for the live database, asking before it would move.
    void Keep();
    // The numbered copy's line in the index of set-asides.
    void Record();

    common::Services& sys_;
    std::string path_;
    std::optional<NumberedCopy> numbered_;
    std::optional<vb::Error> why_;  // why the last attempt kept nothing
    bool fresh_ = false;            // Rename's attempt, not yet followed by a copy
    bool declined_ = false;         // the user did not let the live database move
    bool replaced_ = false;
};

// The lock of the folder of the live database at Live (FolderLock::Take),
// after a stop point; the wait for another command is told in a notice
// under Title, taken away again once the wait is over. Once it is held,
// TidyBeside runs, before any step of the command.
std::unique_ptr<ports::FolderLock::Held> TakeLock(common::Services& sys, const std::string& Live,
                                                  const std::string& Title);

// Removes what a killed command left beside the live database at Live; run
// under the folder's lock, which only locks:
//   - the hidden temporary files of its copies (Files::RemoveTemporaries);
//   - every numbered copy that is the same file as the live database: a
//     second name left by a command that never got to replace the data,
//     which still stands for what is live and keeps nothing.
// Best effort: never throws.
void TidyBeside(common::Services& sys, const std::string& Live);

// The warning before the live database moves to Numbered because no copy of
// it can be made (Why); only Yes lets it move.
std::string MoveWarning(const std::string& Numbered, const vb::Error& Why);

// One run of a command that replaces a live database, in the order every
// command runs it:
//   CheckSource  the whole-file check of the new data (ports/check.h),
//             before the warning: a damaged source is refused there, told
//             in a message of its own under the application's title, with
//             nothing changed; a source with warnings only goes on, and the
//             warning says so in one more sentence; a check stopped by the
//             user ends the command as No does.
//   Consent   the warning; only Yes goes on. Right after it, before the
//             first step, is the one point where a command has consent and
//             has not yet touched anything: from there stop signals are
//             noted (SIGINT, SIGTERM, SIGHUP) and acted on at safe points.
//   Hold      the lock of the live database's folder, taken once and held
//             to Finish, so that two commands run one after the other;
//             once it is held, what a killed command left goes (TidyBeside).
//             Another command holding it is waited for a few seconds, with
//             a notice once a second has passed.
//   Keep      (under the lock) the live database, looked at now, kept as a
//             numbered copy
//   CopyOver  the new data over the live name (FileCopy): once that has
//             taken the live name the command is done, whatever follows
//   Tell      the message that it has finished
//   Finish    what it ended with; the lock goes, and a stop signal noted
//             meanwhile ends the process now, by that signal
// Fail is the handler of the command's procedure. In use (another program
// holds the live database, or another command the lock) asks Retry or
// Cancel, each with its own box, and Retry runs the line again; Cancel, or
// any other error, ends the command with the old data back at the live
// path, and any other error, or old data that could not go back, is told
// in one message: Lead followed by the error's description (and where the
// old data is kept), under Title. A failure to save the change after the
// new data took the live name is told the same way, with the old data kept
// in its numbered copy: the command failed, though the new data is there.
// A stop signal undoes as a failure does, before the new data is in place;
// once a stop signal is noted, messages are notices (no box waits for an
// answer) and no question is asked.
class Replacing {
public:
    Replacing(common::Services& sys, std::string Lead, std::string Title)
        : sys_(sys), live_(sys), lead_(std::move(Lead)), title_(std::move(Title)) {}

    // The live database, where the command knows it before it keeps it.
    void For(const std::string& Live) { result_.live = Live; }
    // Next for a source that may replace the live database; Leave when it
    // is damaged (refused, told) or its check was stopped (declined).
    common::Flow CheckSource(const std::string& Source, int Line);
    // Next on Yes; Leave, declined, on anything else (No, Esc, the close box).
    common::Flow Consent(const std::string& Warning);
    // The lock of Live's folder, unless the run holds it already. Throws
    // what FolderLock::Take throws.
    void Hold(const std::string& Live);
    void Keep(const std::string& Live);
    // Leave, declined, when the user did not let the live database move.
    common::Flow CopyOver(const std::string& Source);
    void Tell(const std::string& Prompt, const std::string& Title);
    // Puts the old data back at the live path (SetAside::Undo).
    void Undo() { live_.Undo(); }
    // Ends the run on a failure the command found itself, told as Prompt
    // under Title.
    void Refuse(const vb::Error& Why, int Line, const std::string& Prompt, const std::string& Title);
    common::Resume Fail(const vb::Error& error, int line);
    Result Finish();

private:
    // The box for a file in use (another program) or a database in use
    // (another command): true for Retry. Never asked once a stop signal
    // is noted.
    bool AskRetry(const vb::Error& error);
    // A message box, or a notice once a stop signal is noted.
    void Say(const std::string& Prompt, const std::string& Title);
    // Ends a run on error: the old data back where it can go, and the
    // failure told (not when it is an in-use the user cancelled).
    void Failed(const vb::Error& error, int line, bool tell);

    common::Services& sys_;
    std::unique_ptr<ports::StopSignals::Span> noting_;  // from consent to Finish
    std::unique_ptr<ports::FolderLock::Held> held_;
    SetAside live_;
    std::string lead_, title_;
    Result result_;
    std::optional<vb::Error> notSaved_;  // the copy took the live name, the disk failed to save it
    std::string checked_;                // the sentence the warning gains: the source's warnings
};

// The message that refuses a damaged source: it names the source and the
// first damage, and says that nothing was changed.
std::string DamagedSourcePrompt(const std::string& Lead, const std::string& Source, const ports::Finding& First);

}  // namespace operations
