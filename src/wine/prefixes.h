// Which Wine prefix the served application's data lives in. Most users do not
// keep a Windows program in ~/.wine but let a prefix manager make a prefix
// for it, each in its own place:
//
//   ~/.wine                                       Wine's own default
//   <data>/wineprefixes/*                         winetricks
//   ~/.PlayOnLinux/wineprefix/*                   PlayOnLinux
//   <data>/bottles/bottles/*                      Bottles
//   ~/.var/app/com.usebottles.bottles/data/bottles/bottles/*   Bottles (Flatpak)
//   the "prefix" of each Lutris game, then ~/Games/*          Lutris
//   ~/.cxoffice/*                                 CrossOver
//
// <data> is $XDG_DATA_HOME, else ~/.local/share. Lutris keeps one YAML file
// per game in <config>/lutris/games, or <data>/lutris/games where there is no
// <config>/lutris (<config> is $XDG_CONFIG_HOME, else ~/.config); the game's
// prefix is the key "prefix" of its "game" section.
//
// Everything here only reads files: no Wine program runs.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ports/environment.h"
#include "ports/files.h"
#include "ports/shell.h"

namespace wine {

// True when folder is a Wine prefix: it holds system.reg and drive_c.
bool IsWinePrefix(const std::string& folder);

// The Wine prefixes of this user, each once, in the order of the table above;
// folders in one place by name. Only folders that are prefixes are listed.
std::vector<std::string> CandidatePrefixes(const ports::HostEnvironment& env);

// Something that shows a prefix holds the served application's data: a file
// or a folder at a Windows path below one of the prefix's special folders,
// as that prefix's own registry places them.
struct DataMark {
    enum Kind {
        kFile,          // a file that Files::Dir finds
        kLiveDatabase,  // the same, and its date decides between prefixes
        kFolder,        // a folder
    };
    int folderId;      // CSIDL_PERSONAL or CSIDL_APPDATA
    std::string tail;  // below that folder, without a leading "\"
    Kind kind;
};

struct PrefixChoice {
    enum class Reason {
        kEnvironment,  // $WINEPREFIX is set; prefix is empty when it is no prefix
        kHoldsData,    // the prefix holds the data
        kDefault,      // no prefix holds the data: ~/.wine, as Wine would use
        kNone,         // no prefix holds the data and there is no ~/.wine
    };
    std::string prefix;  // the prefix folder; empty when there is none
    Reason reason = Reason::kNone;
    // Every prefix that was looked into, in order (empty for kEnvironment).
    std::vector<std::string> searched;
};

// The services of one prefix, as the prefix finder asks them: its special
// folders and the existence test of files at Windows paths inside it.
struct PrefixServices {
    std::shared_ptr<ports::Shell> shell;
    std::shared_ptr<ports::Files> files;
};
// Makes the services for a prefix folder (in production PosixShell and
// PosixFiles over that prefix; the program wires them, src/app).
using OpenPrefix = std::function<PrefixServices(const std::string& prefix)>;

// The prefix to use. $WINEPREFIX, when set, is used alone (as Wine does), and
// only when it is a prefix (WinePaths::FindPrefix). Otherwise the candidates
// that hold any of marks: ~/.wine when it is one of them, else the one whose
// newest live database was modified last (the first in order when that is a
// tie). When none holds them, ~/.wine if it is a prefix, else none.
// Each candidate is looked into through the services open gives for it.
PrefixChoice ChoosePrefix(const ports::HostEnvironment& env, const std::vector<DataMark>& marks, const OpenPrefix& open);

}  // namespace wine
