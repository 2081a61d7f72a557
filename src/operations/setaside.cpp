#include "operations/setaside.h"

#include "common/services.h"

namespace operations {

bool SetAside::InPlace() const { return !form_.sys.files.Dir(path_).empty(); }

std::string MoveWarning(const std::string& Numbered, const vb::Error& Why) {
    return "Warning: A copy of the data currently in Rolvane cannot be made (" + Why.Description() +
           ").  The file will be moved to " + Numbered +
           " rather than copied, and until the new data is in place the old data will be found only there.  "
           "Do you want to continue?";
}

void SetAside::Keep() {
    why_.reset();
    numbered_ = RenameDatabase(form_, path_, &why_, [this](const std::string& Numbered, const vb::Error& Why) {
        // Only Yes lets it move: No, Esc and the close box keep it in place.
        declined_ = form_.sys.msgbox.Show(MoveWarning(Numbered, Why), ports::vbYesNo, kWarningTitle) !=
                    ports::vbYes;
        return !declined_;
    });
}

void SetAside::Rename(const std::string& Path) {
    path_ = Path;
    form_.sys.files.RemoveTemporaries(Path);
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
    form_.sys.files.FileCopy(Source, path_);
    replaced_ = true;
    return true;
}

void SetAside::Undo() {
    if (!numbered_ || replaced_) return;
    ports::Files& files = form_.sys.files;
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
        if (InPlace() || form_.sys.files.Dir(numbered_->path).empty()) return std::nullopt;
    } catch (const vb::Error&) {
        return std::nullopt;
    }
    return numbered_->path;
}

bool AskFileInUse(catalogue::Form1& form) {
    return form.sys.msgbox.Show(kFileInUsePrompt, ports::vbRetryCancel, kFileInUseTitle) ==
           ports::vbRetry;
}

common::Resume EndOrRetry(catalogue::Form1& form, SetAside& live, const vb::Error& error, const std::string& Lead,
                          const std::string& Title) {
    if (error.Number() == vb::kPermissionDenied && AskFileInUse(form)) return common::Resume::Retry;
    // A line after the copy failed: the new data is in place, nothing to undo.
    if (live.Replaced()) return common::Resume::Leave;
    bool back = true;
    try {
        live.Undo();
    } catch (const vb::Error&) {
        back = false;
    }
    if (error.Number() != vb::kPermissionDenied || !back) {
        std::string prompt = Lead + error.Description();
        if (const auto kept = live.KeptIn())
            prompt += "\r\n\r\nThe data that was in use before is kept in " + *kept + ".";
        form.sys.msgbox.Show(prompt, ports::vbOKOnly, Title);
    }
    return common::Resume::Leave;
}

}  // namespace operations
