// The commands without a window: the catalogue printed (--list), the
// numbered copies of an edition (--versions), and Restore, Create Blank and
// Put Back run on the row that the one discovery of the run found. They run
// the same procedures as the window, on the same services, before any
// window system is touched; the exit status is what the command returned.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "app/commandline.h"
#include "operations/commands.h"
#include "ports/environment.h"
#include "records/source.h"

namespace cli {

struct Console {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    // Asks the user a question and reads the answer: false when there is no
    // terminal to ask on. Unset: stdin and stderr when stdin is a terminal.
    std::function<bool(const std::string& question, std::string& answer)> ask;
    // Where the reader child is (LibmdbEngine).
    std::string readerPath;
    // Where --show, --find and --compare read records, a Source for each
    // reader they run at once. Unset: through the reader child.
    records::SourceFactory records;
    // The notifier a scheduled --snapshot tells its problems through
    // (notices.h); empty: stderr alone.
    std::string notifierPath;
    // Opens the window with the Previous Versions of an edition
    // (--previous-versions); returns only when it cannot, with the status.
    std::function<int(const std::string& edition)> openWindow;
};

// 0 done; 1 failed, or No at a question; 75 in use.
int StatusOf(const operations::Result& result);

// Runs command for the user of env; returns the exit status.
int RunConsole(const app::ConsoleCommand& command, const ports::HostEnvironment& env, Console console);

}  // namespace cli
