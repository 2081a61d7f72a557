#include "gui/data_location.h"

#include <QCoreApplication>
#include <algorithm>

#include "app/program.h"

namespace gui {

namespace {

using wine::PrefixChoice;
using Reason = wine::PrefixChoice::Reason;

QString Tr(const char* text) { return QCoreApplication::translate("gui::DataLocation", text); }

}  // namespace

QString EmptyCatalogueText(const PrefixChoice& choice, const ports::HostEnvironment& env) {
    const QString served = QString::fromUtf8(app::kServed);
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
        const auto [documents, appData] = app::XdgFolders(env);
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
           QStringLiteral("WINEPREFIX=/path/to/that/prefix %1").arg(QString::fromLatin1(app::kProgramName));
}

}  // namespace gui
