#include "app/locate_data.h"

#include <memory>

#include "app/program.h"
#include "catalogue/paths.h"
#include "posix/files.h"
#include "posix/shell.h"
#include "ports/shell.h"
#include "wine/windows_paths.h"

namespace app {

namespace {

using wine::DataMark;
using wine::PrefixChoice;
using Reason = wine::PrefixChoice::Reason;

}  // namespace

std::pair<std::string, std::string> XdgFolders(const ports::HostEnvironment& env) {
    const posix::PosixShell shell("", env);
    return {shell.FolderPath(ports::CSIDL_PERSONAL).value_or(""),
            shell.FolderPath(ports::CSIDL_APPDATA).value_or("")};
}

namespace {

// The real services of a prefix: its registry's folders, its files.
wine::OpenPrefix RealServices(const ports::HostEnvironment& env) {
    return [env](const std::string& prefix) {
        // The file service keeps a reference to its paths: both live together.
        struct Files {
            explicit Files(const std::string& prefix) : paths(prefix), files(paths) {}
            wine::WinePaths paths;
            posix::PosixFiles files;
        };
        auto held = std::make_shared<Files>(prefix);
        return wine::PrefixServices{std::make_shared<posix::PosixShell>(prefix, env),
                                        std::shared_ptr<ports::Files>(held, &held->files)};
    };
}

}  // namespace

std::vector<DataMark> ServedApplicationData() {
    using namespace catalogue;
    const std::string below;  // the paths below their special folder
    return {
        {ports::CSIDL_PERSONAL, OptionDatabasePath(below), DataMark::kFile},
        {ports::CSIDL_PERSONAL, BusinessFirstDefaultPath(below), DataMark::kLiveDatabase},
        {ports::CSIDL_PERSONAL, BusinessSecondDefaultPath(below), DataMark::kLiveDatabase},
        {ports::CSIDL_PERSONAL, PersonalLivePath(below), DataMark::kLiveDatabase},
        {ports::CSIDL_APPDATA, BusinessBackupFolder(below), DataMark::kFolder},
        {ports::CSIDL_APPDATA, PersonalBackupFolder(below), DataMark::kFolder},
    };
}

PrefixChoice LocateData(const ports::HostEnvironment& env, std::ostream& log) {
    PrefixChoice choice = wine::ChoosePrefix(env, ServedApplicationData(), RealServices(env));
    log << kProgramName << ": ";
    switch (choice.reason) {
        case Reason::kEnvironment:
            if (!choice.prefix.empty()) {
                log << "using the Wine prefix " << choice.prefix << " (WINEPREFIX)";
            } else {
                const auto [documents, appData] = XdgFolders(env);
                log << "WINEPREFIX=" << env.winePrefix << " is not a Wine prefix; using no prefix: looking in "
                    << documents << " and " << appData;
            }
            break;
        case Reason::kHoldsData:
            log << "using the Wine prefix " << choice.prefix << ", which holds " << kServed << " data";
            break;
        case Reason::kDefault:
            log << "no Wine prefix holds " << kServed << " data (" << choice.searched.size()
                << " looked into); using the Wine prefix " << choice.prefix;
            break;
        case Reason::kNone: {
            const auto [documents, appData] = XdgFolders(env);
            log << "no Wine prefix found; using no prefix: looking in " << documents << " and " << appData;
            break;
        }
    }
    log << "\n";
    log.flush();
    return choice;
}

}  // namespace app
