// File services the procedures use: the existence test, the file date, copy
// and rename. Paths arrive in the form the procedures hold them: Windows paths
// built by concatenation ("C:\users\me\Documents\Varnock Rolvane\Data\bsrv.mdb").
// Implementations map them to the host (files_linux.cpp, through WinePaths).
// Every failure is thrown as vb::Error with the Visual Basic number.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "vb/datetime.h"

namespace platform {

// Told how far a copy has come: bytes done of bytes total. A copy reports
// between the chunks it copies, never going back, and ends at the total; a
// copy the file system does at once (a clone) reports only once. It is
// called on the thread that runs the copy.
using CopyProgress = std::function<void(uint64_t done, uint64_t total)>;

class Files {
public:
    virtual ~Files() = default;

    // The file's name (the last component) when a regular, non-hidden file
    // exists at Path, else the empty text. Folders, hidden and system files,
    // devices do not count. Never throws for a missing file or folder.
    virtual std::string Dir(const std::string& Path) = 0;

    // Last-modified date and time in local time. 53 when there is no file.
    virtual vb::DateTime FileDateTime(const std::string& Path) = 0;

    // Creates or overwrites Destination with a copy of Source; never leaves
    // Destination half-written (temporary file, flush, rename over it), keeps
    // the source's modification time. 53 missing source, 76 missing folder,
    // 70 held open by another process or access denied, 61 disk full,
    // 75/57 anything else. Progress, when given, is told how far it has come.
    virtual void FileCopy(const std::string& Source, const std::string& Destination,
                          const CopyProgress& Progress = {}) = 0;

    // Renames OldPath to NewPath. 58 when NewPath exists (it is never
    // replaced), 70 when OldPath is held open or access is denied, 53 when
    // OldPath is missing, 76 when a folder is missing.
    virtual void Name(const std::string& OldPath, const std::string& NewPath) = 0;
};

}  // namespace platform
