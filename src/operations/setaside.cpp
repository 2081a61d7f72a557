#include "operations/setaside.h"

#include "common/services.h"
#include "operations/numbered_copies.h"
#include "operations/setaside_index.h"

namespace operations {

bool SetAside::InPlace() const { return !sys_.files.Dir(path_).empty(); }

std::string MoveWarning(const std::string& Numbered, const vb::Error& Why) {
    return "Warning: A copy of the data currently in Rolvane cannot be made (" + Why.Description() +
           ").  The file will be moved to " + Numbered +
           " rather than copied, and until the new data is in place the old data will be found only there.  "
           "Do you want to continue?";
}

void SetAside::Keep() {
    why_.reset();
    // Held by another program, the live database is left as it is: no
    // second name, no line in the index. Where that cannot be told, the
    // command does not go ahead either.
    if (sys_.files.HeldOpen(path_)) throw vb::HeldByProgram();
    numbered_ = RenameDatabase(sys_, path_, &why_, [this](const std::string& Numbered, const vb::Error& Why) {
        // Only Yes lets it move: No, Esc and the close box keep it in place.
        declined_ = sys_.msgbox.Show(MoveWarning(sys_.paths.Present(Numbered), Why), ports::vbYesNo, kWarningTitle) !=
                    ports::vbYes;
        return !declined_;
    });
}

void SetAside::Record() {
    // The order and time of the set-aside, for the listing of the copies;
    // written once the copy keeps data that is no longer live, so that a
    // command that does not finish leaves no line behind.
    if (numbered_) RecordSetAside(sys_, path_, numbered_->path);
}

void SetAside::Rename(const std::string& Path) {
    path_ = Path;
    Keep();
    fresh_ = true;
}

bool SetAside::CopyOver(const std::string& Source) {
    if (declined_) return false;
    if (!numbered_ && InPlace()) {
        // Right after Rename its answer stands: a copy that just failed
        // would fail again, as slowly. On a retry the served application
        // may have let go of the file since, so it is tried again.
        if (!fresh_) Keep();
        fresh_ = false;
        if (declined_) return false;
        // Held open, the live database cannot be kept: a file in use (70).
        // Any other reason (a read-only mount, a failing disk) is told as
        // what it is, so that the user is not sent to close a program.
        if (!numbered_ && InPlace()) throw why_ ? *why_ : vb::PermissionDenied();
    }
    fresh_ = false;
    try {
        sys_.files.FileCopy(Source, path_);
    } catch (const vb::Error& e) {
        // The new data is at the live name; the disk may not have kept that.
        if (e.Kind() == vb::ErrorKind::NotSaved) {
            replaced_ = true;
            Record();
        }
        throw;
    }
    replaced_ = true;
    Record();
    return true;
}

void SetAside::Undo() {
    if (!numbered_ || replaced_) return;
    ports::Files& files = sys_.files;
    if (numbered_->how != HowSetAside::Moved) {
        // The live database never left its place. Its second name or copy
        // stays if it cannot be removed: one more name or copy of the live
        // data harms nothing.
        try {
            files.RemoveExtraName(numbered_->path, path_);
        } catch (const vb::Error&) {
        }
        numbered_.reset();
        return;
    }
    // Our own file goes back to its name without asking who holds it, and
    // without a look first that could fail: the rename never replaces a
    // file, and a refusal by the disk is tried once more.
    bool there = false;
    try {
        there = InPlace();
    } catch (const vb::Error&) {
    }
    if (there) return;  // something stands at the live path: the copy stays
    auto moveBack = [&] {
        try {
            files.MoveBack(numbered_->path, path_);
        } catch (const vb::Error& e) {
            if (e.Kind() != vb::ErrorKind::NotSaved) throw;  // back, though the disk may not keep it
        }
    };
    try {
        moveBack();
    } catch (const vb::Error& e) {
        if (e.Number() == vb::kFileAlreadyExists) return;  // the live name was taken meanwhile
        moveBack();
    }
    numbered_.reset();
}

std::optional<std::string> SetAside::KeptIn() const {
    if (!numbered_ || numbered_->how != HowSetAside::Moved || replaced_) return std::nullopt;
    try {
        if (InPlace() || sys_.files.Dir(numbered_->path).empty()) return std::nullopt;
    } catch (const vb::Error&) {
        return std::nullopt;
    }
    return numbered_->path;
}

std::string DamagedSourcePrompt(const std::string& Lead, const std::string& Source, const ports::Finding& First) {
    std::string damage = ports::Describe(First);
    if (!damage.empty() && damage.back() == '.') damage.pop_back();
    return Lead + Source + " is damaged: " + damage + ".  Nothing was changed.";
}

common::Flow Replacing::CheckSource(const std::string& Source, int Line) {
    // A source that is not there is the command's to tell, at the line that
    // needs it, as it always was.
    if (sys_.files.Dir(Source).empty()) return common::Flow::Next();
    const ports::CheckResult checked = sys_.Check().Check(Source);
    if (checked.cancelled) return common::Flow::Leave();  // declined: nothing changed
    switch (checked.verdict()) {
    case ports::Verdict::Good: return common::Flow::Next();
    case ports::Verdict::Warnings: {
        const size_t n = checked.Count(ports::Severity::Warning);
        checked_ = "  The check of " + sys_.paths.Present(Source) + " found " + std::to_string(n) +
                   (n == 1 ? " warning" : " warnings") + ", which Jet tolerates.";
        return common::Flow::Next();
    }
    case ports::Verdict::Damaged: break;
    }
    // Told under the application's title (an empty title), apart from the
    // command's own failures: the command never began.
    const std::string shown = sys_.paths.Present(Source);
    Refuse(vb::UnrecognizedFormat(shown), Line,
           DamagedSourcePrompt(lead_, shown, *checked.First(ports::Severity::Damaged)), "");
    return common::Flow::Leave();
}

common::Flow Replacing::Consent(const std::string& Warning) {
    if (sys_.msgbox.Show(Warning + checked_, ports::vbYesNo, kWarningTitle) != ports::vbYes)
        return common::Flow::Leave();
    // Consent given: from here to Finish the run acts on what it finds, and
    // a stop signal waits for the next safe point.
    noting_ = sys_.stops.Catch();
    return common::Flow::Next();
}

std::unique_ptr<ports::FolderLock::Held> TakeLock(common::Services& sys, const std::string& Live,
                                                  const std::string& Title) {
    sys.stops.StopPoint();
    bool told = false;
    std::unique_ptr<ports::FolderLock::Held> held;
    try {
        held = sys.lock.Take(Live, [&] {
            told = true;
            sys.msgbox.Notice(kWaitingPrompt, Title);
        });
    } catch (const vb::Error&) {
        if (told) sys.msgbox.Notice({}, {});
        throw;
    }
    TidyBeside(sys, Live);
    if (told) sys.msgbox.Notice({}, {});
    return held;
}

void TidyBeside(common::Services& sys, const std::string& Live) {
    ports::Files& files = sys.files;
    files.RemoveTemporaries(Live);
    try {
        for (const NumberedCopyFile& copy : ListNumberedCopies(sys, Live)) {
            if (!files.SameFile(copy.path, Live)) continue;
            try {
                files.RemoveExtraName(copy.path, Live);
            } catch (const vb::Error&) {
                // Left for the next command: one more name of the live data harms nothing.
            }
        }
    } catch (const vb::Error&) {
        // A folder that cannot be read is met again, and told, by the command's own steps.
    }
}

void Replacing::Hold(const std::string& Live) {
    if (!held_) held_ = TakeLock(sys_, Live, title_);
}

void Replacing::Keep(const std::string& Live) {
    result_.live = Live;
    Hold(Live);
    sys_.stops.StopPoint();
    live_.Rename(Live);
}

common::Flow Replacing::CopyOver(const std::string& Source) {
    return live_.CopyOver(Source) ? common::Flow::Next() : common::Flow::Leave();
}

void Replacing::Say(const std::string& Prompt, const std::string& Title) {
    // A stopped run ends at once: no box waits for an answer (a logout
    // would wait for it).
    if (sys_.stops.Requested()) sys_.msgbox.Notice(Prompt, Title);
    else sys_.msgbox.Show(Prompt, ports::vbOKOnly, Title);
}

void Replacing::Tell(const std::string& Prompt, const std::string& Title) {
    Say(Prompt, Title);
    // Done and told: a stopped run ends here, by its signal.
    if (live_.Replaced()) sys_.stops.EndIfRequested();
}

void Replacing::Refuse(const vb::Error& Why, int Line, const std::string& Prompt, const std::string& Title) {
    result_.ending = Result::Ending::Failed;
    result_.error = Why;
    result_.line = Line;
    Say(Prompt, Title);
}

bool Replacing::AskRetry(const vb::Error& error) {
    if (sys_.stops.Requested()) return false;
    const bool program = error.Kind() == vb::ErrorKind::HeldByProgram;
    return sys_.msgbox.Show(program ? kFileInUsePrompt : kRestoreRunningPrompt, ports::vbRetryCancel,
                            program ? kFileInUseTitle : kRestoreRunningTitle) == ports::vbRetry;
}

void Replacing::Failed(const vb::Error& error, int line, bool tell) {
    result_.ending = error.InUse() ? Result::Ending::InUse : Result::Ending::Failed;
    result_.error = error;
    result_.line = line;
    bool back = true;
    try {
        live_.Undo();
    } catch (const vb::Error&) {
        back = false;
    }
    result_.keptIn = live_.KeptIn();
    if (!tell && back) return;
    std::string prompt = lead_ + error.Description();
    if (result_.keptIn)
        prompt += "\r\n\r\nThe data that was in use before is kept in " + sys_.paths.Present(*result_.keptIn) + ".";
    else if (back && error.Kind() == vb::ErrorKind::CannotTell) prompt += ".\r\n\r\nNothing was changed.";
    Say(prompt, title_);
}

common::Resume Replacing::Fail(const vb::Error& error, int line) {
    if (error.InUse() && AskRetry(error)) return common::Resume::Retry;
    if (live_.Replaced()) {
        // The new data is in place. A line after the copy failed: nothing
        // to undo, the command is done. The copy itself could not be saved
        // by the disk: the command failed, with the old data in its copy.
        if (error.Kind() == vb::ErrorKind::NotSaved && !notSaved_) {
            notSaved_ = error;
            result_.line = line;
            std::string prompt = lead_ + error.Description();
            if (live_.Numbered())
                prompt += "\r\n\r\nThe data that was in use before is kept in " +
                          sys_.paths.Present(live_.Numbered()->path) + ".";
            Say(prompt, title_);
        }
        return common::Resume::Leave;
    }
    // A file in use that the user did not retry is told by the box they
    // answered; anything else in a message of its own.
    Failed(error, line, !error.InUse());
    return common::Resume::Leave;
}

Result Replacing::Finish() {
    Result result = result_;
    if (!live_.Path().empty()) result.live = live_.Path();
    if (live_.Replaced()) {
        result.ending = notSaved_ ? Result::Ending::Failed : Result::Ending::Done;
        result.kept = live_.Numbered();
        result.error = notSaved_;
        result.keptIn.reset();
        if (notSaved_ && live_.Numbered()) result.keptIn = live_.Numbered()->path;
    }
    // The last step is done: another command may go on, and a stop signal
    // noted meanwhile ends the process now.
    held_.reset();
    sys_.stops.EndIfRequested();
    noting_.reset();
    return result;
}

}  // namespace operations
