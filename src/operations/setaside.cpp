#include "operations/setaside.h"

#include "common/services.h"

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
    numbered_ = RenameDatabase(sys_, path_, &why_, [this](const std::string& Numbered, const vb::Error& Why) {
        // Only Yes lets it move: No, Esc and the close box keep it in place.
        declined_ = sys_.msgbox.Show(MoveWarning(Numbered, Why), ports::vbYesNo, kWarningTitle) !=
                    ports::vbYes;
        return !declined_;
    });
}

void SetAside::Rename(const std::string& Path) {
    path_ = Path;
    sys_.files.RemoveTemporaries(Path);
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
    sys_.files.FileCopy(Source, path_);
    replaced_ = true;
    return true;
}

void SetAside::Undo() {
    if (!numbered_ || replaced_) return;
    ports::Files& files = sys_.files;
    if (numbered_->how != Kept::Moved) {
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
    if (InPlace()) return;  // something stands at the live path: the copy stays
    files.Name(numbered_->path, path_);
    numbered_.reset();
}

std::optional<std::string> SetAside::KeptIn() const {
    if (!numbered_ || numbered_->how != Kept::Moved || replaced_) return std::nullopt;
    try {
        if (InPlace() || sys_.files.Dir(numbered_->path).empty()) return std::nullopt;
    } catch (const vb::Error&) {
        return std::nullopt;
    }
    return numbered_->path;
}

common::Flow Replacing::Consent(const std::string& Warning) {
    if (sys_.msgbox.Show(Warning, ports::vbYesNo, kWarningTitle) != ports::vbYes) return common::Flow::Leave();
    // Consent given: from here to Finish the run acts on what it finds.
    return common::Flow::Next();
}

common::Flow Replacing::CopyOver(const std::string& Source) {
    return live_.CopyOver(Source) ? common::Flow::Next() : common::Flow::Leave();
}

void Replacing::Tell(const std::string& Prompt, const std::string& Title) {
    sys_.msgbox.Show(Prompt, ports::vbOKOnly, Title);
}

void Replacing::Refuse(const vb::Error& Why, int Line, const std::string& Prompt, const std::string& Title) {
    result_.ending = Result::Ending::Failed;
    result_.error = Why;
    result_.line = Line;
    Tell(Prompt, Title);
}

bool Replacing::AskFileInUse() {
    return sys_.msgbox.Show(kFileInUsePrompt, ports::vbRetryCancel, kFileInUseTitle) == ports::vbRetry;
}

common::Resume Replacing::Fail(const vb::Error& error, int line) {
    const bool inUse = error.Number() == vb::kPermissionDenied;
    if (inUse && AskFileInUse()) return common::Resume::Retry;
    // A line after the copy failed: the new data is in place, nothing to undo.
    if (live_.Replaced()) return common::Resume::Leave;
    result_.ending = inUse ? Result::Ending::InUse : Result::Ending::Failed;
    result_.error = error;
    result_.line = line;
    bool back = true;
    try {
        live_.Undo();
    } catch (const vb::Error&) {
        back = false;
    }
    result_.keptIn = live_.KeptIn();
    if (!inUse || !back) {
        std::string prompt = lead_ + error.Description();
        if (result_.keptIn) prompt += "\r\n\r\nThe data that was in use before is kept in " + *result_.keptIn + ".";
        Tell(prompt, title_);
    }
    return common::Resume::Leave;
}

Result Replacing::Finish() const {
    Result result = result_;
    if (!live_.Path().empty()) result.live = live_.Path();
    if (live_.Replaced()) {
        result.ending = Result::Ending::Done;
        result.kept = live_.Numbered();
        result.error.reset();
        result.keptIn.reset();
    }
    return result;
}

}  // namespace operations
