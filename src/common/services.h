// The platform services one run of the utility works with, handed to every
// procedure. The database engine is created on first use and then kept for
// the rest of the process, as the one DBEngine of the program.
#pragma once

#include <functional>
#include <memory>

#include "ports/check.h"
#include "ports/database.h"
#include "ports/files.h"
#include "ports/folder_lock.h"
#include "ports/locale.h"
#include "ports/msgbox.h"
#include "ports/path_presenter.h"
#include "ports/process.h"
#include "ports/shell.h"
#include "ports/stop_signals.h"

namespace common {

struct Services {
    Services(ports::Files& files, ports::Shell& shell, ports::MessageBox& msgbox,
             ports::Process& process, ports::Locale& locale, ports::FolderLock& lock, ports::StopSignals& stops,
             std::function<std::unique_ptr<ports::DBEngine>()> makeEngine,
             const ports::PathPresenter& paths = ports::kPathsAsHeld)
        : files(files), shell(shell), msgbox(msgbox), process(process), locale(locale), lock(lock), stops(stops),
          makeEngine(std::move(makeEngine)), paths(paths) {}

    ports::Files& files;
    ports::Shell& shell;
    ports::MessageBox& msgbox;
    ports::Process& process;
    ports::Locale& locale;
    // What a command that replaces data holds from consent to its last
    // step: the folder's lock, and stop signals noted for its safe points.
    ports::FolderLock& lock;
    ports::StopSignals& stops;
    std::function<std::unique_ptr<ports::DBEngine>()> makeEngine;
    // How the messages name a file (the engine made by makeEngine names
    // files the same way in its errors).
    const ports::PathPresenter& paths;

    // The program's one engine, created by whichever procedure needs it first.
    ports::DBEngine& DBEngine() {
        if (!engine) engine = makeEngine();
        return *engine;
    }

    // The whole-file check (ports/check.h) that the commands run on their
    // source before they replace a live database with it, created on first
    // use as the engine is. Left unset (a test of something else), it finds
    // nothing in any file.
    std::function<std::unique_ptr<ports::FileCheck>()> makeCheck;
    ports::FileCheck& Check() {
        if (!check) check = makeCheck ? makeCheck() : std::make_unique<NoCheck>();
        return *check;
    }

private:
    struct NoCheck : ports::FileCheck {
        ports::CheckResult Check(const std::string&, const ports::CheckProgress&) override { return {}; }
    };
    std::unique_ptr<ports::DBEngine> engine;
    std::unique_ptr<ports::FileCheck> check;
};

}  // namespace common
