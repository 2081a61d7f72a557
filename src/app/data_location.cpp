#include "app/data_location.h"

#include <QCoreApplication>
#include <algorithm>

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

constexpr const char* kServed = "Varnock Rolvane";
constexpr const char* kProgram = "restore-rolvane-data";

QString Tr(const char* text) { return QCoreApplication::translate("app::DataLocation", text); }

// The documents and application-data folders of the user, where discovery
// looks when there is no Wine prefix.
std::pair<std::string, std::string> XdgFolders(const platform::HostEnvironment& env) {
    const platform::LinuxShell shell("", env);
    return {shell.FolderPath(platform::CSIDL_PERSONAL).value_or(""),
            shell.FolderPath(platform::CSIDL_APPDATA).value_or("")};
}

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
    log << kProgram << ": ";
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

QString EmptyCatalogueText(const PrefixChoice& choice, const platform::HostEnvironment& env) {
    const QString served = QString::fromUtf8(kServed);
    QString where;
    if (!choice.prefix.empty()) {
        where = Tr("No %1 databases or backups were found in the Wine prefix %2.")
                    .arg(served, QString::fromStdString(choice.prefix));
        const auto others = std::count_if(choice.searched.begin(), choice.searched.end(),
                                          [&](const std::string& prefix) { return prefix != choice.prefix; });
        if (choice.reason == Reason::kDefault && others == 1)
            where += QLatin1Char(' ') + Tr("The one other Wine prefix found holds none either.");
        else if (choice.reason == Reason::kDefault && others > 1)
            where += QLatin1Char(' ') + Tr("The %1 other Wine prefixes found hold none either.").arg(others);
    } else {
        const auto [documents, appData] = XdgFolders(env);
        where = choice.reason == Reason::kEnvironment
                    ? Tr("WINEPREFIX names %1, which is not a Wine prefix.").arg(QString::fromStdString(env.winePrefix))
                    : Tr("No Wine prefix was found.");
        where += QLatin1Char(' ') + Tr("No %1 databases or backups were found in %2 or %3.")
                                        .arg(served, QString::fromStdString(documents),
                                             QString::fromStdString(appData));
    }
    const QString how = choice.prefix.empty()
                            ? Tr("If %1 is installed in a Wine prefix, start this utility with:").arg(served)
                            : Tr("If %1 is installed in another Wine prefix, start this utility with:").arg(served);
    return where + QStringLiteral("\n\n") + how + QLatin1Char('\n') +
           QStringLiteral("WINEPREFIX=/path/to/that/prefix %1").arg(QString::fromLatin1(kProgram));
}

}  // namespace app
