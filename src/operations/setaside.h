// The live database a command replaces, and the numbered copy it was set
// aside as. Both commands keep the old data as a numbered copy before they
// write, and put it back when they end without a complete copy in its place.
#pragma once

#include <optional>
#include <string>

#include "catalogue/form1.h"
#include "vb/error.h"

namespace operations {

inline constexpr const char* kFileInUsePrompt =
    "Unable to restore file- it is currently in use.  Exit Varnock Rolvane and try again.";
inline constexpr const char* kFileInUseTitle = "File in Use";
inline constexpr const char* kWarningTitle = "Restore Warning";

class SetAside {
public:
    explicit SetAside(catalogue::Form1& form) : form_(form) {}

    // Sets Path aside with RenameDatabase; a failed rename is silent.
    void Rename(const std::string& Path);

    // Copies Source over the live database, first setting the live database
    // aside if it is still in place (on a retry the served application may
    // have let go of it since). The copy never replaces data that has no
    // numbered copy: a live database that cannot be set aside fails with 70.
    void CopyOver(const std::string& Source);

    // When a numbered copy was made in this run and nothing stands at the
    // live path, moves the copy back. False when that move failed.
    bool PutBack();

    const std::optional<std::string>& Numbered() const { return numbered_; }

private:
    bool InPlace() const;

    catalogue::Form1& form_;
    std::string path_;
    std::optional<std::string> numbered_;
};

// The file-in-use dialog: true for Retry.
bool AskFileInUse(catalogue::Form1& form);

}  // namespace operations
