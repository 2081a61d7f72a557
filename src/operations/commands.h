// The commands that replace a live database: Restore (a backup over the
// live database of its edition), Create Blank (the edition's shell file over
// a live database) and Put Back (a numbered copy over its live database).
// Each is one call that takes what to replace and with what, asks its
// questions through the message box of the services (the warning; Retry or
// Cancel while the file is in use), keeps the old file as a numbered copy
// first, and returns what happened. The window's click handlers read the
// selected row, call the command and rebuild the catalogue; the command
// line calls the commands with the rows its one discovery found.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "catalogue/form1.h"
#include "common/services.h"
#include "vb/error.h"

namespace operations {

// The titles of the messages that tell a command has finished.
inline constexpr const char* kRestoredTitle = "Restore Complete";
inline constexpr const char* kBlankCreatedTitle = "Create Blank Successful";

// How the old live database was set aside as its numbered copy.
enum class HowSetAside {
    Linked,  // a second name of the live file, which stays in place
    Copied,  // a copy of it (no second name possible); the live file stays
    Moved,   // the live file itself, renamed (not even a copy possible)
};

struct NumberedCopy {
    std::string path;
    HowSetAside how = HowSetAside::Linked;
};

// What a command ended with.
struct Result {
    enum class Ending {
        Done,      // the new data is the live database
        Declined,  // No (or no answer) to a question: nothing was replaced
        InUse,     // another program holds the live database; Cancel at the question
        Failed,    // anything else: error says what
    };
    Ending ending = Ending::Declined;
    std::string live;                    // the live database it replaced, or was to (once known)
    std::optional<NumberedCopy> kept;    // Done: the numbered copy with the old data (none when there was none)
    std::optional<vb::Error> error;      // InUse, Failed: the error it ended on
    std::optional<std::string> keptIn;   // InUse, Failed: where the old data is, when not at the live path
    int line = 0;                        // the command's line it ended on
};

// What a command acts on, read at the line that reads it (as the window
// reads its selected row then): the file of a catalogue row and its
// edition label.
struct RowRef {
    std::function<std::string()> path;
    std::function<std::string()> edition;

    // A row already found (the command line's).
    static RowRef Of(std::string path, std::string edition);
    // The selected row of the window's list, read afresh at each line.
    static RowRef Selected(catalogue::Form1& form);
};

// What the window runs as a command's last line, once the command has told
// how it ended (the catalogue rebuilt); on the command's failure it does
// not run. The command line gives none.
using Then = std::function<void()>;

// Restore: Backup's file over the live database of its edition (the
// folder option 12 names, for Business).
Result Restore(common::Services& sys, const RowRef& Backup, const Then& then = {});
// Create Blank: the edition's shell file over the row's file. Then runs
// after a reset, and after the message that there is no shell file.
Result CreateBlank(common::Services& sys, const RowRef& Live, const Then& then = {});
// Put Back: the numbered copy CopyPath over LivePath; the copy stays.
Result PutBack(common::Services& sys, const std::string& LivePath, const std::string& CopyPath,
               const Then& then = {});

// The click handlers: the command on the selected row, the catalogue
// rebuilt as its last line.
void cmdRestore_Click(catalogue::Form1& form);
void cmdMakeBlank_Click(catalogue::Form1& form);

// Asked before the live database at Path would be moved to Numbered because
// no copy of it can be made (Why): true lets it move.
using MayMove = std::function<bool(const std::string& Numbered, const vb::Error& Why)>;

// RenameDatabase keeps the name of the served application's procedure,
// which renamed the live database. Today it seldom renames: it sets Path
// aside as the next free numbered copy beside it (NextFreeCopy,
// numbered_copies.h), as a second name (a hard link) of the same file where
// the file system gives one, else as a copy, else, when even a copy cannot
// be made and Move agrees, by renaming it. Returns the numbered copy when
// one was made; a failure to make it is silent, and told in Why when asked
// for. Errors while the free name is looked for, and a stop signal
// (vb::Stopped), are thrown to the caller's line.
std::optional<NumberedCopy> RenameDatabase(common::Services& sys, const std::string& Path,
                                           std::optional<vb::Error>* Why = nullptr, const MayMove& Move = {});
inline std::optional<NumberedCopy> RenameDatabase(catalogue::Form1& form, const std::string& Path,
                                                  std::optional<vb::Error>* Why = nullptr, const MayMove& Move = {}) {
    return RenameDatabase(form.sys, Path, Why, Move);
}

}  // namespace operations
