// The real platform of one run, wired once for both front ends: the Wine
// prefix that holds the data (named on the log), its paths, the file and
// shell services inside it, the locale, the folder lock and stop signals
// of the commands, and the database engine. Each front
// end adds what is its own: the message box and the process (and the
// window a file service that runs long copies off its thread), then asks
// for the services the procedures run on.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "common/services.h"
#include "posix/files.h"
#include "posix/folder_lock.h"
#include "posix/locale.h"
#include "posix/shell.h"
#include "posix/stop_on_signal.h"
#include "ports/environment.h"
#include "ports/path_presenter.h"
#include "wine/prefixes.h"
#include "wine/windows_paths.h"

namespace app {

class Platform {
public:
    // Chooses the prefix for env and tells log which; readerPath: where the
    // database reader child is.
    Platform(const ports::HostEnvironment& env, std::ostream& log, std::string readerPath);
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    const wine::PrefixChoice& Location() const { return location_; }
    posix::PosixFiles& Files() { return files_; }

    // The path on this machine of a path as the procedures hold it.
    std::string ToHost(const std::string& path) const { return paths_.ToHost(path); }
    // The same, as a user would open it: absolute, through no symbolic link
    // (the prefix's dosdevices/c: is its drive_c) where the file exists.
    std::string HostPath(const std::string& path) const;

    // The services with this message box and process, the files named to
    // the user as paths presents them, and files (by default the prefix's
    // own). The engine and the check name files as paths does.
    common::Services Services(ports::MessageBox& msgbox, ports::Process& process, const ports::PathPresenter& paths,
                              ports::Files* files = nullptr);

    // A whole-file check of its own: the reader's check with the lock file
    // beside a database (app/lock_file_check.h), one reader child each; its
    // findings name files as paths presents them.
    std::unique_ptr<ports::FileCheck> MakeCheck(const ports::PathPresenter& paths = ports::kPathsAsHeld) const;

private:
    ports::HostEnvironment env_;
    wine::PrefixChoice location_;
    wine::WinePaths paths_;
    posix::PosixFiles files_;
    posix::PosixShell shell_;
    posix::PosixLocale locale_;
    posix::PosixFolderLock lock_;
    posix::PosixStopSignals stops_;
    std::string readerPath_;
};

}  // namespace app
