// A Wine prefix in a temporary folder, as the served application's user has
// one, with the real platform services of the utility working inside it:
// PosixFiles, PosixShell, the libmdb engine, the POSIX locale. Message boxes
// and the process end stay scripted fakes.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "catalogue/form1.h"
#include "fakes/fakes.h"
#include "mkmdb/mkmdb.h"
#include "jet/libmdb_engine.h"
#include "posix/files.h"
#include "posix/folder_lock.h"
#include "posix/locale.h"
#include "posix/shell.h"
#include "posix/stop_on_signal.h"
#include "wine/windows_paths.h"

namespace e2e {

namespace fs = std::filesystem;

class WineHome {
public:
    // The home folder of the user ann, with a Wine prefix in ~/.wine unless
    // dotWine is false.
    explicit WineHome(bool dotWine = true) {
        std::string pattern = (fs::temp_directory_path() / "rolvane-e2e-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        prefix_ = root_ + "/.wine";
        if (dotWine) MakePrefix(prefix_);
    }

    // A Wine prefix as wineboot leaves it, at a host folder: the registry
    // files, drive_c with ann's profile, dosdevices/c:. userReg is the body
    // of user.reg after its header.
    static void MakePrefix(const std::string& prefix, const std::string& userReg = "") {
        fs::create_directories(prefix + "/dosdevices");
        fs::create_directories(prefix + "/drive_c/users/ann/Documents");
        fs::create_directories(prefix + "/drive_c/users/ann/AppData/Roaming");
        fs::create_directories(prefix + "/drive_c/Program Files (x86)");
        fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
        std::ofstream(prefix + "/system.reg") << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";
        std::ofstream(prefix + "/user.reg") << "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n" << userReg;
    }
    // Makes a prefix at a folder below the home; returns its host path.
    std::string AddPrefix(const std::string& relative, const std::string& userReg = "") const {
        MakePrefix(root_ + "/" + relative, userReg);
        return root_ + "/" + relative;
    }
    // A small file at a host path, its folders made: enough for the
    // existence test, not a database.
    static void Place(const std::string& hostPath, const std::string& content = "x") {
        fs::create_directories(fs::path(hostPath).parent_path());
        std::ofstream(hostPath, std::ios::binary) << content;
    }

    const std::string& Home() const { return root_; }
    // ann's environment in this home: no WINEPREFIX, no XDG folders set.
    ports::HostEnvironment Environment() const { return {root_, "ann", "", "", ""}; }
    ~WineHome() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    WineHome(const WineHome&) = delete;
    WineHome& operator=(const WineHome&) = delete;

    // The host path of a path under drive C:, given after "C:\" with "/".
    std::string C(const std::string& relative) const { return prefix_ + "/drive_c/" + relative; }

    // A database whose roof table has `rows` rows, at a host path.
    static void Roof(const std::string& hostPath, size_t rows) {
        fs::create_directories(fs::path(hostPath).parent_path());
        mkmdb::Table roof{"roof",
                          {{"ID", mkmdb::ColumnType::Long, 255}, {"Name", mkmdb::ColumnType::Text, 50}},
                          {},
                          rows,
                          [](size_t i, mkmdb::Row& row) {
                              row[0] = static_cast<int32_t>(i + 1);
                              row[1] = "Contact " + std::to_string(i + 1);
                          }};
        mkmdb::Write(hostPath, {roof});
    }
    // The Business option database; option 12 holds `folder`.
    static void Options(const std::string& hostPath, const std::string& folder) {
        fs::create_directories(fs::path(hostPath).parent_path());
        mkmdb::Table options{"stringoptions",
                             {{"optionnumber", mkmdb::ColumnType::Long, 255}, {"option", mkmdb::ColumnType::Text, 255}},
                             {{int32_t{1}, std::string("x")}, {int32_t{12}, folder}, {int32_t{20}, std::string("y")}},
                             0,
                             {}};
        mkmdb::Write(hostPath, {options});
    }
    // Sets a file's modification time to a local date and time.
    static void Touch(const std::string& hostPath, int y, int mo, int d, int h, int mi, int s) {
        std::tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = s;
        tm.tm_isdst = -1;
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = std::mktime(&tm);
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ASSERT_EQ(utimensat(AT_FDCWD, hostPath.c_str(), times, 0), 0);
    }

    const std::string& Prefix() const { return prefix_; }

private:
    std::string root_;
    std::string prefix_;
};

// The utility's window procedures on the real platform inside a WineHome.
// step: told before each file-system step of PosixFiles and of the
// folder's lock (see FileStep).
struct RealForm {
    explicit RealForm(const WineHome& home, posix::PosixFiles::StepHook step = {})
        : paths(home.Prefix()),
          files(paths, {}, step),
          shell(home.Prefix(), ports::HostEnvironment{home.Prefix() + "/..", "ann", home.Prefix(), "", ""}),
          locale("C"),
          lock(paths, {}, step),
          sys(files, shell, msgbox, process, locale, lock, stops, [this] {
              return std::make_unique<jet::LibmdbEngine>(
                  [this](const std::string& p) { return paths.ToHost(p); }, ROLVANE_READER_PATH);
          }) {}

    wine::WinePaths paths;
    posix::PosixFiles files;
    posix::PosixShell shell;
    posix::PosixLocale locale;
    posix::PosixFolderLock lock;
    posix::PosixStopSignals stops;
    fakes::ScriptedMessageBox msgbox;
    fakes::FakeProcess process;
    common::Services sys;
    fakes::FakeListView lv;
    fakes::FakeButton restore, makeBlank, cancel;
    catalogue::Form1 form{sys, lv, restore, makeBlank, cancel};
};

}  // namespace e2e
