#include "cli/locate_data.h"

#include <memory>

#include "cli/console_commandline.h"
#include "catalogue/paths.h"
#include "linux/files.h"
#include "linux/shell.h"
#include "ports/shell.h"
#include "wine/windows_paths.h"

namespace app {

namespace {

using platform::DataMark;
using platform::PrefixChoice;
using Reason = platform::PrefixChoice::Reason;

}  // namespace

std::pair<std::string, std::string> XdgFolders(const platform::HostEnvironment& env) {
    const platform::LinuxShell shell("", env);
    return {shell.FolderPath(platform::CSIDL_PERSONAL).value_or(""),
            shell.FolderPath(platform::CSIDL_APPDATA).value_or("")};
}

namespace {

// The real services of a prefix: its registry's folders, its files.
platform::OpenPrefix RealServices(const platform::HostEnvironment& env) {
    return [env](const std::string& prefix) {
        // The file service keeps a reference to its paths: both live together.
        struct Files {
            explicit Files(const std::string& prefix) : paths(prefix), files(paths) {}
            platform::WinePaths paths;
            platform::LinuxFiles files;
        };
        auto held = std::make_shared<Files>(prefix);
        return platform::PrefixServices{std::make_shared<platform::LinuxShell>(prefix, env),
                                        std::shared_ptr<platform::Files>(held, &held->files)};
    };
}

}  // namespace

std::vector<DataMark> ServedApplicationData() {
    using namespace catalogue;
    const std::string below;  // the paths below their special folder
    return {
        {platform::CSIDL_PERSONAL, OptionDatabasePath(below), DataMark::kFile},
        {platform::CSIDL_PERSONAL, BusinessFirstDefaultPath(below), DataMark::kLiveDatabase},
        {platform::CSIDL_PERSONAL, BusinessSecondDefaultPath(below), DataMark::kLiveDatabase},
        {platform::CSIDL_PERSONAL, PersonalLivePath(below), DataMark::kLiveDatabase},
        {platform::CSIDL_APPDATA, BusinessBackupFolder(below), DataMark::kFolder},
        {platform::CSIDL_APPDATA, PersonalBackupFolder(below), DataMark::kFolder},
    };
}

PrefixChoice LocateData(const platform::HostEnvironment& env, std::ostream& log) {
    PrefixChoice choice = platform::ChoosePrefix(env, ServedApplicationData(), RealServices(env));
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
