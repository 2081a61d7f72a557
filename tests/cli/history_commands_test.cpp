// --snapshot and --history run as a script runs them: the program itself,
// in a Wine home written by mkmdb, one step after another on one store.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>

#include "support/qt_print.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include "app/history_versions.h"
#include "history/history_support.h"
#include "history/version_file.h"
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

    // Through another program (strace) with its arguments, when given.
    Ran Start(const QStringList& arguments, const QString& dataHome = {}, const QStringList& through = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WINEPREFIX", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            environment.remove(name);
        environment.insert("HOME", QString::fromStdString(home.Home()));
        environment.insert("USER", "ann");
        if (!dataHome.isEmpty()) environment.insert("XDG_DATA_HOME", dataHome);
        // A sanitized build's leak check cannot run under ptrace (strace).
        if (!through.isEmpty())
            environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setStandardInputFile(QProcess::nullDevice());
        if (through.isEmpty()) program.start(QStringLiteral(ROLVANE_PROGRAM_PATH), arguments);
        else program.start(through.first(), through.mid(1) + QStringList{QStringLiteral(ROLVANE_PROGRAM_PATH)} + arguments);
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

    // SQLite's integrity check of the whole store, indexes against their tables too.
    std::string IntegrityCheck() {
        sqlite3* db = nullptr;
        std::string first;
        if (sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
            sqlite3_exec(db, "PRAGMA integrity_check", [](void* to, int, char** values, char**) {
                *static_cast<std::string*>(to) += values[0] ? values[0] : "";
                return 0;
            }, &first, nullptr);
        sqlite3_close(db);
        return first;
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

// A snapshot killed at each of its writes, flushes and removals in turn
// (strace sends SIGKILL at the nth call) leaves a store that opens, passes
// its integrity check and gives back every version it holds byte for byte:
// the one before, and the new one whole or not at all; a run that ended
// and said it kept the version holds it. The next run takes it. The same
// of the thinning that follows a version kept: two versions of another
// database taken on one day three days ago, of which it keeps the newer.
TEST_F(History, ASnapshotKilledAtAnyWriteLeavesAWholeStore) {
    namespace fs = std::filesystem;
    if (QProcess::execute("strace", {"-o", "/dev/null", "true"}) != 0) GTEST_SKIP() << "strace cannot trace here";
    ASSERT_EQ(Start({"--snapshot", "personal"}).status, 0);
    const history::DatabaseRef other{"Business", "C:\\elsewhere\\bsrv.mdb"};
    const std::string older = history_test::File(3), newer = history_test::File(3, {1});
    {
        const std::time_t ago = std::time(nullptr) - 3 * 86400;
        std::tm noon{};
        localtime_r(&ago, &noon);
        noon.tm_hour = 12;
        noon.tm_min = noon.tm_sec = 0;
        const int64_t at = std::mktime(&noon);
        history::Store opened(fs::path(store).parent_path().string(), false);
        history_test::AddFile(opened, older, other, at);
        history_test::AddFile(opened, newer, other, at + 3600);
    }
    const std::string first = test_support::Read(live);
    e2e::WineHome::Roof(live, 5);
    const std::string second = test_support::Read(live);
    const fs::path folder = fs::path(store).parent_path(), saved = home.Home() + "/store-before";
    fs::copy(folder, saved, fs::copy_options::recursive);
    int killed = 0;
    for (const char* call : {"pwrite64", "fdatasync", "fsync", "unlink", "ftruncate"}) {
        for (int n = 1;; ++n) {
            fs::remove_all(folder);
            fs::copy(saved, folder, fs::copy_options::recursive);
            const QString inject = QString("inject=%1:signal=SIGKILL:when=%2").arg(call).arg(n);
            const Ran run = Start({"--snapshot", "personal"}, {}, {"strace", "-o", "/dev/null", "-e", inject});
            const std::string at = std::string(call) + " #" + std::to_string(n);
            {
                history::Store opened(folder.string(), false);  // rolls back what a killed run began
                EXPECT_EQ(IntegrityCheck(), "ok") << at;
                const history::Summary summary = opened.Summarize();
                ASSERT_EQ(summary.databases.size(), 2u) << at;
                const bool personalFirst = summary.databases[0].database.edition == "Personal";
                const std::vector<history::Version> versions =
                    opened.Versions(summary.databases[personalFirst ? 0 : 1].database);
                ASSERT_TRUE(versions.size() == 1 || versions.size() == 2) << at;
                for (const history::Version& v : versions)
                    EXPECT_EQ(history_test::Rebuilt(opened, v), v.number == 1 ? first : second) << at;
                const std::vector<history::Version> others = opened.Versions(other);
                ASSERT_TRUE(others.size() == 1 || others.size() == 2) << at;
                EXPECT_EQ(others[0].number, 2) << at;  // the newer is never the one thinned
                for (const history::Version& v : others)
                    EXPECT_EQ(history_test::Rebuilt(opened, v), v.number == 1 ? older : newer) << at;
                if (run.status == 0) {
                    EXPECT_TRUE(run.out.contains("Personal: version 2 kept (")) << at << run.out.toStdString();
                    EXPECT_EQ(versions.size(), 2u) << at;
                    EXPECT_EQ(others.size(), 1u) << at;
                }
            }
            if (run.status != -1) break;  // no nth call: the run ended by itself
            ++killed;
        }
    }
    EXPECT_GT(killed, 5);
    EXPECT_EQ(Start({"--snapshot", "personal"}).status, 0);
    EXPECT_EQ(Versions(), 2);
}

TEST_F(History, VersionsAreShownComparedAndPutBackByteForByte) {
    const std::string first = test_support::Read(live);
    ASSERT_EQ(Start({"--snapshot", "personal"}).status, 0);
    e2e::WineHome::Roof(live, 5);
    const std::string second = test_support::Read(live);
    ASSERT_EQ(Start({"--snapshot", "personal"}).status, 0);
    e2e::WineHome::Roof(live, 9);

    // --versions lists them beside the numbered copies, newest first.
    Ran run = Start({"--versions", "personal", "--json"});
    const QJsonArray listed = QJsonDocument::fromJson(run.out.toUtf8()).array();
    ASSERT_EQ(listed.size(), 2) << run.out.toStdString();
    EXPECT_EQ(listed[0].toObject()["kind"].toString(), "version");
    EXPECT_EQ(listed[0].toObject()["version"].toInt(), 2);
    EXPECT_EQ(listed[1].toObject()["records"].toInt(), 3);

    run = Start({"--show", "personal", "@1", "--csv"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.count('\n'), 1 + 3) << run.out.toStdString();
    run = Start({"--compare", "personal", "@2"});
    EXPECT_TRUE(run.out.contains("Only in current: 4 records")) << run.out.toStdString();

    run = Start({"--put-back", "personal", "@1", "--yes"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(test_support::Read(live), first);
    run = Start({"--versions", "personal"});
    EXPECT_TRUE(run.out.contains(QRegularExpression("\\nbsrv\\.1 .* set aside by Restore\\n@2 .* kept automatically\\n")))
        << run.out.toStdString();

    // A version whose page fails its hash is never put back.
    sqlite3* db = nullptr;
    sqlite3_open(store.c_str(), &db);
    sqlite3_exec(db, "UPDATE pages SET data = zeroblob(length(data)) WHERE id IN (SELECT max(id) FROM pages)", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
    run = Start({"--put-back", "personal", "@2", "--yes"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("Version 2 of the Personal edition is damaged")) << run.err.toStdString();
    EXPECT_EQ(test_support::Read(live), first);
    EXPECT_NE(second, first);
    // Nothing of either rebuild is left behind.
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(store).parent_path() / "tmp"));
}

TEST_F(History, FindTellsEachRecordsTimelineAndCheckAndFindTakeAVersion) {
    ASSERT_EQ(Start({"--snapshot", "personal"}).status, 0);  // @1: contacts 1 to 3
    e2e::WineHome::Roof(live, 5);
    ASSERT_EQ(Start({"--snapshot", "personal"}).status, 0);  // @2: 1 to 5
    e2e::WineHome::Roof(live, 2);                            // live: 1 and 2

    Ran run = Start({"--find", "personal", "contact", "--json"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    std::map<QString, QString> timeline;  // name: first, last, in live
    for (const QJsonValue& found : QJsonDocument::fromJson(run.out.toUtf8()).array())
        if (found["caption"] == "versions")
            timeline[found["record"]["Name"].toString()] =
                QString("%1 %2 %3").arg(found["first_version"].toInt()).arg(found["last_version"].toInt())
                    .arg(found["in_live"].toBool());
    const std::map<QString, QString> expected = {{"Contact 1", "1 2 1"}, {"Contact 2", "1 2 1"},
                                                 {"Contact 3", "1 2 0"}, {"Contact 4", "2 2 0"},
                                                 {"Contact 5", "2 2 0"}};
    EXPECT_EQ(timeline, expected) << run.out.toStdString();
    run = Start({"--find", "personal", "contact"});
    EXPECT_TRUE(run.out.contains(QRegularExpression("\\n@2 +@2 +no +4 +Contact 4 *\\n"))) << run.out.toStdString();

    run = Start({"--find", "personal", "contact", "@1", "--json"});
    EXPECT_EQ(QJsonDocument::fromJson(run.out.toUtf8()).array().size(), 3) << run.out.toStdString();
    run = Start({"--check", "personal", "@2"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("Personal version 2: good\n")) << run.out.toStdString();
    run = Start({"--check", "personal", "@7"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("There is no version @7 of the Personal edition")) << run.err.toStdString();
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(store).parent_path() / "tmp"));

    // A store that cannot be read: the search of the rest is printed, and is not all.
    sqlite3* db = nullptr;
    sqlite3_open(store.c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version=9", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    run = Start({"--find", "personal", "contact"});
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("(Current)")) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("The history store cannot be read; it is left as it is")) << run.err.toStdString();
}

TEST(VersionWhich, NamesANumberOrTheNewestAtOrBeforeAMinute) {
    const auto local = [](int d, int h, int mi, int s) {
        std::tm tm{};
        tm.tm_year = 126, tm.tm_mon = 5, tm.tm_mday = d, tm.tm_hour = h, tm.tm_min = mi, tm.tm_sec = s;
        tm.tm_isdst = -1;
        return int64_t{mktime(&tm)};
    };
    std::vector<history::Version> versions(3);  // newest first
    versions[0].number = 7, versions[0].taken = local(2, 9, 30, 10);
    versions[1].number = 4, versions[1].taken = local(1, 12, 0, 59);
    versions[2].number = 1, versions[2].taken = local(1, 8, 0, 0);
    const std::vector<std::pair<std::string, int64_t>> cases = {
        {"@4", 4}, {"@7", 7}, {"@5", 0}, {"@2026-06-01T12:00", 4}, {"@2026-06-01T11:59", 1},
        {"@2026-06-02T23:59", 7}, {"@2026-06-01T07:59", 0},
    };
    for (const auto& [which, number] : cases) {
        const auto found = app::FindVersion(versions, which);
        EXPECT_EQ(found ? found->number : 0, number) << which;
    }
    for (const char* bad : {"@0", "@", "@x", "@2026-02-31T10:00", "@2026-06-01 12:00", "@2026-06-01T24:00", "4"})
        EXPECT_FALSE(app::IsVersionWhich(bad)) << bad;
}

TEST_F(History, HistoryBeforeAnySnapshotNamesWhereTheStoreWillBe) {
    const Ran run = Start({"--history"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QString::fromStdString(store) + " (none yet")) << run.out.toStdString();
    EXPECT_FALSE(std::filesystem::exists(store));
}

}  // namespace
