// --snapshot and --history run as a script runs them: the program itself,
// in a Wine home written by mkmdb, one step after another on one store.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>

#include "support/qt_print.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include "support/file_bytes.h"
#include "support/holder.h"
#include "support/wine_home.h"

namespace {

struct Ran {
    int status;
    QString out, err;
};

class History : public ::testing::Test {
protected:
    void SetUp() override { e2e::WineHome::Roof(live, 3); }

    Ran Start(const QStringList& arguments, const QString& dataHome = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WINEPREFIX", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            environment.remove(name);
        environment.insert("HOME", QString::fromStdString(home.Home()));
        environment.insert("USER", "ann");
        if (!dataHome.isEmpty()) environment.insert("XDG_DATA_HOME", dataHome);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setStandardInputFile(QProcess::nullDevice());
        program.start(QStringLiteral(ROLVANE_PROGRAM_PATH), arguments);
        EXPECT_TRUE(program.waitForFinished(60000)) << "the program did not end";
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                QString::fromUtf8(program.readAllStandardOutput()), QString::fromUtf8(program.readAllStandardError())};
    }

    // How many versions --history --json counts for the Personal edition.
    int Versions() {
        const Ran run = Start({"--history", "personal", "--json"});
        const QJsonArray databases = QJsonDocument::fromJson(run.out.toUtf8()).object()["databases"].toArray();
        return databases.isEmpty() ? 0 : databases[0].toObject()["versions"].toInt();
    }

    e2e::WineHome home;
    const std::string live = home.C("users/ann/Documents/Varnock Rolvane/Data/bsrv.mdb");
    const std::string store = home.Home() + "/.local/share/restore-rolvane-data/history.db";
};

TEST_F(History, SnapshotsSayWhatTheyKeptInTheirStatus) {
    std::unique_ptr<test_support::Holder> holder;
    std::string storeBefore;
    struct Step {
        const char* name;
        std::function<void()> arrange;
        int status;
        const char* says;  // in stdout or stderr
        int versions;
        QString dataHome = {};
    };
    const std::vector<Step> steps = {
        {"the first", [] {}, 0, "Personal: version 1 kept (", 1},
        {"unchanged", [] {}, 0, "Personal: unchanged since its last version", 1},
        {"changed but held by Rolvane",
         [&] {
             e2e::WineHome::Roof(live, 4);
             holder = std::make_unique<test_support::Holder>(live, test_support::Hold::PosixWriteLock);
         },
         75, "is in use by another program; no version taken.", 1},
        {"let go", [&] { holder.reset(); }, 0, "Personal: version 2 kept (", 2},
        {"damaged",
         [&] {
             std::string bytes = test_support::Read(live);
             bytes.replace(4096 * 2, 700, std::string(700, '\xff'));
             test_support::Write(live, bytes);
         },
         1, "its version 3 is kept all the same, marked damaged.", 3},
        {"a store of a newer release",
         [&] {
             sqlite3* db = nullptr;
             sqlite3_open(store.c_str(), &db);
             sqlite3_exec(db, "PRAGMA user_version=9", nullptr, nullptr, nullptr);
             sqlite3_close(db);
             storeBefore = test_support::Read(store);
             e2e::WineHome::Roof(live, 5);
         },
         1, "was written by a newer release of this program; it is left as it is", 0},
        {"a store inside the prefix", [] {}, 1, "would lie inside the Wine prefix", 0,
         QString::fromStdString(home.C("users/ann/AppData/Local"))},
    };
    for (const Step& step : steps) {
        step.arrange();
        const Ran run = Start({"--snapshot"}, step.dataHome);
        EXPECT_EQ(run.status, step.status) << step.name << "\n" << run.err.toStdString();
        EXPECT_TRUE((run.out + run.err).contains(step.says)) << step.name << "\n" << (run.out + run.err).toStdString();
        if (step.versions) {
            EXPECT_EQ(Versions(), step.versions) << step.name;
        }
    }
    EXPECT_EQ(test_support::Read(store), storeBefore);
    EXPECT_FALSE(std::filesystem::exists(home.C("users/ann/AppData/Local/restore-rolvane-data")));
}

TEST_F(History, HistoryBeforeAnySnapshotNamesWhereTheStoreWillBe) {
    const Ran run = Start({"--history"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QString::fromStdString(store) + " (none yet")) << run.out.toStdString();
    EXPECT_FALSE(std::filesystem::exists(store));
}

}  // namespace
