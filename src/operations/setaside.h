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
// Only where even a copy cannot be made (no room for it, a failing read)
// is the live database renamed to bsrv.<n>, after the user agreed to it
// in a warning of its own, and moved back when the command does not
// finish; a crash between the two leaves the old data only under bsrv.<n>.
#pragma once

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

class SetAside {
public:
    explicit SetAside(common::Services& sys) : sys_(sys) {}

    // Removes what an interrupted copy onto Path left behind, then keeps
    // Path as a numbered copy with RenameDatabase; a failure is silent.
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
    // live database is moved back. Throws when that move fails: the old data
    // then lies only in the numbered copy (KeptIn).
    void Undo();

    // The numbered copy that holds the old data while nothing else does: set
    // only when the live database was renamed, is not back and the copy is
    // still there.
    std::optional<std::string> KeptIn() const;

    // True once the copy has taken the live database's place.
    bool Replaced() const { return replaced_; }

    // The live database, once Rename was given it.
    const std::string& Path() const { return path_; }
    // The numbered copy that keeps the old data, while there is one.
    const std::optional<NumberedCopy>& Numbered() const { return numbered_; }

private:
    bool InPlace() const;
    // RenameDatabase for the live database, asking before it would move.
    void Keep();

    common::Services& sys_;
    std::string path_;
    std::optional<NumberedCopy> numbered_;
    std::optional<vb::Error> why_;  // why the last attempt kept nothing
    bool fresh_ = false;            // Rename's attempt, not yet followed by a copy
    bool declined_ = false;         // the user did not let the live database move
    bool replaced_ = false;
};

// The warning before the live database moves to Numbered because no copy of
// it can be made (Why); only Yes lets it move.
std::string MoveWarning(const std::string& Numbered, const vb::Error& Why);

// One run of a command that replaces a live database, in the order every
// command runs it:
//   Consent   the warning; only Yes goes on. Right after it, before the
//             first step, is the one point where a command has consent and
//             has not yet touched anything.
//   Keep      the live database, looked at now, kept as a numbered copy
//   CopyOver  the new data over the live name (FileCopy): once that has
//             taken the live name the command is done, whatever follows
//   Tell      the message that it has finished
//   Finish    what it ended with
// Fail is the handler of the command's procedure: error 70 is a file in
// use, which the user may retry as often as they like (the line runs
// again); Cancel, or any other error, ends the command with the old data
// back at the live path, and any other error, or old data that could not
// go back, is told in one message: Lead followed by the error's
// description (and where the old data is kept), under Title.
class Replacing {
public:
    Replacing(common::Services& sys, std::string Lead, std::string Title)
        : sys_(sys), live_(sys), lead_(std::move(Lead)), title_(std::move(Title)) {}

    // The live database, where the command knows it before it keeps it.
    void For(const std::string& Live) { result_.live = Live; }
    // Next on Yes; Leave, declined, on anything else (No, Esc, the close box).
    common::Flow Consent(const std::string& Warning);
    void Keep(const std::string& Live) { live_.Rename(Live); }
    // Leave, declined, when the user did not let the live database move.
    common::Flow CopyOver(const std::string& Source);
    void Tell(const std::string& Prompt, const std::string& Title);
    // Puts the old data back at the live path (SetAside::Undo).
    void Undo() { live_.Undo(); }
    // Ends the run on a failure the command found itself, told as Prompt
    // under Title.
    void Refuse(const vb::Error& Why, int Line, const std::string& Prompt, const std::string& Title);
    common::Resume Fail(const vb::Error& error, int line);
    Result Finish() const;

private:
    // The file-in-use dialog: true for Retry.
    bool AskFileInUse();

    common::Services& sys_;
    SetAside live_;
    std::string lead_, title_;
    Result result_;
};

}  // namespace operations
