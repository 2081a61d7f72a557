#include "operations/setaside.h"

#include "operations/commands.h"

namespace operations {

bool SetAside::InPlace() const { return !form_.sys.files.Dir(path_).empty(); }

void SetAside::Rename(const std::string& Path) {
    path_ = Path;
    numbered_ = RenameDatabase(form_, Path);
}

void SetAside::CopyOver(const std::string& Source) {
    if (!numbered_ && InPlace()) {
        numbered_ = RenameDatabase(form_, path_);
        if (!numbered_ && InPlace()) throw vb::PermissionDenied();
    }
    form_.sys.files.FileCopy(Source, path_);
}

bool SetAside::PutBack() {
    if (!numbered_ || InPlace()) return true;
    try {
        form_.sys.files.Name(*numbered_, path_);
    } catch (const vb::Error&) {
        return false;
    }
    numbered_.reset();
    return true;
}

bool AskFileInUse(catalogue::Form1& form) {
    return form.sys.msgbox.Show(kFileInUsePrompt, platform::vbRetryCancel, kFileInUseTitle) ==
           platform::vbRetry;
}

}  // namespace operations
